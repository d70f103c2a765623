#include "app/save_location_move.h"

#include <filesystem>

#include "app/client_app.h"
#include "model/store_format.h"
#include "platform/catalogue.h"
#include "platform/file_move.h"
#include "platform/open_file.h"

namespace gantrell {
namespace {

// The store keeps every change that moved a file at once: a crash before
// the end of the run would otherwise leave it pointing at the old place.
// A failure is not shown here: the save at the end of the run tries again
// and reports it.
void SaveAfterMove(CClientApp& app) {
  app.SaveChanges();
}

// "File already exists at ...  Overwrite?", No unless the user says Yes.
bool MayOverwrite(CClientApp& app, const std::string& destination) {
  Frontend* frontend = app.frontend();
  return frontend != nullptr &&
         frontend->ShowMessage(Subst(Tr("File already exists at %1. Overwrite?"), {destination}),
                               MessageIcon::kQuestion,
                               MessageButtons::kYesNoDefaultNo) == MessageAnswer::kYes;
}

}  // namespace

std::string SaveLocationCaption(const CUpdateItem& item) {
  return Subst(Tr("Choose location for item %1"), {item.m_strName});
}

SaveDialogProposal ProposeSaveDialog(const CUpdateItem& item) {
  SaveDialogProposal proposal;
  const std::string& location = item.m_strLocation;
  // Locations name their folders with either separator. A "." in a folder
  // name ("v1.2/tool") is no extension: as one it would become a filter
  // and a suffix holding a folder.
  const std::size_t slash = location.find_last_of("\\/");
  if (const std::size_t dot = location.rfind('.');
      dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    proposal.extension = location.substr(dot);
  }
  if (slash != std::string::npos && slash + 1 < location.size())
    proposal.file_name = location.substr(slash + 1);
  proposal.filter_label = Subst(Tr("Existing type (*%1)"), {proposal.extension});
  proposal.filter_pattern = "*" + proposal.extension;
  return proposal;
}

std::string ResolveSavePath(const CUpdateItem& item, const std::string& typed) {
  namespace fs = std::filesystem;
  if (typed.empty())
    return {};
  std::error_code error;
  fs::path target = fs::absolute(PathFromUtf8(typed), error);
  if (error)
    return {};
  // A folder takes the file under the name its location gives it.
  if (fs::is_directory(target, error)) {
    const std::string name = ProposeSaveDialog(item).file_name;
    target /= PathFromUtf8(
        name.empty() ? (item.m_strLocation.empty() ? item.m_strName : item.m_strLocation) : name);
  }
  // With "/" on Windows too, as every path the program makes itself has
  // it: the default path typed in must compare equal to itself.
  const std::u8string normal = target.lexically_normal().generic_u8string();
  return std::string(normal.begin(), normal.end());
}

MoveOutcome MoveSaveLocation(CClientApp& app, CUpdateItem& item, const std::string& typed_path) {
  const std::string new_path = ResolveSavePath(item, typed_path);
  if (!typed_path.empty() && new_path.empty()) {
    app.Message(Subst(Tr("Cannot use the path '%1'."), {typed_path}), MessageIcon::kError);
    return MoveOutcome::kFailed;
  }
  // The store would give a longer path back cut short, and the item would
  // lose track of its file.
  if (new_path.size() > kStoredSavePathLimit) {
    app.Message(Subst(Tr("The path is too long: a location may have at most %1 characters."),
                      {std::to_string(kStoredSavePathLimit)}),
                MessageIcon::kError);
    return MoveOutcome::kFailed;
  }
  const std::string default_path =
      new_path.empty() || item.m_strSavePath.empty() ? app.GetItemSavePath(item) : std::string();
  const std::string destination = new_path.empty() ? default_path : new_path;
  const std::string source = item.m_strSavePath.empty() ? default_path : item.m_strSavePath;
  if (destination == source)
    return MoveOutcome::kUnchanged;

  // Only the item's own download moves: a file the record does not know
  // of is somebody else's.
  const bool has_file = item.m_nFileStamp != -1 && IsRegularFile(source);
  // Two spellings of one file (a link to its folder, say): only the path
  // changes.
  if (has_file && IsSameFile(source, destination)) {
    item.m_strSavePath = new_path;
    SaveAfterMove(app);
    return MoveOutcome::kDone;
  }
  if (destination.empty()) {
    app.Message(Tr("Canot write to specified location"), MessageIcon::kError);
    return MoveOutcome::kFailed;
  }
  // A file already there is taken only on Yes, whether this move would
  // replace it now or the next download would.
  bool replace = PathExists(destination);
  if (replace && !MayOverwrite(app, destination))
    return MoveOutcome::kDeclined;

  if (!has_file) {
    if (item.m_nFileStamp != -1) {
      // The record named a file that is gone: it no longer has one.
      item.m_nFileStamp = -1;
      item.m_bJustDownloaded = false;
      app.Message(
          Subst(Tr("The file of %1 is not at %2: nothing was moved."), {item.m_strName, source}),
          MessageIcon::kInformation);
    }
    item.m_strSavePath = new_path;
    SaveAfterMove(app);
    return MoveOutcome::kPathOnly;
  }

  std::string error;
  MoveResult moved = MoveFileDurably(source, destination, replace, &error);
  // Something came to the destination after the look above.
  if (moved == MoveResult::kExists) {
    if (!MayOverwrite(app, destination))
      return MoveOutcome::kDeclined;
    moved = MoveFileDurably(source, destination, true, &error);
  }
  if (moved != MoveResult::kMoved) {
    // A failed read is said as "Cannot read SOURCE: why", in the language
    // the move reported it in.
    const std::string read_failed = Subst(Tr("Cannot read %1: %2"), {source, ""});
    app.Message(error.rfind(read_failed, 0) == 0 ? Tr("Unable to copy file.")
                                                 : Tr("Canot write to specified location"),
                MessageIcon::kError);
    return MoveOutcome::kFailed;
  }
  item.m_strSavePath = new_path;
  SaveAfterMove(app);
  return MoveOutcome::kDone;
}

}  // namespace gantrell
