#include "app/file_manager_model.h"

#include "app/client_app.h"
#include "model/pruning.h"
#include "model/size_text.h"
#include "platform/atomic_file.h"
#include "platform/catalogue.h"
#include "platform/file_move.h"
#include "platform/shell_open.h"
#include "platform/trash.h"

namespace gantrell {

std::vector<FileSource> ListFileSources(const CClientApp& app) {
  std::vector<FileSource> sources;
  for (int p = kFirstFileSourceProvider; p < app.GetProviderCount(); ++p) {
    CProvider* provider = app.GetProvider(p);
    sources.push_back({provider->m_strKeyName, provider});
  }
  sources.push_back({Tr(kJustDownloadedEntry), nullptr});
  return sources;
}

std::vector<FileEntry> ListFiles(const CClientApp& app, const FileSource* source) {
  std::vector<FileEntry> files;
  if (source == nullptr)
    return files;
  auto list_provider = [&](CProvider& provider, bool just_downloaded) {
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      CUpdateGroup& group = *provider.GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i) {
        CUpdateItem& item = *group.GetItem(i);
        if (just_downloaded && item.m_bJustDownloaded) {
          files.push_back(
              {Subst(Tr("%1 from %2"), {item.m_strName, provider.m_strKeyName}), &item});
        } else if (!just_downloaded && item.m_nFileStamp != -1) {
          files.push_back({item.m_strName, &item});
        }
      }
    }
  };
  if (source->provider != nullptr) {
    list_provider(*source->provider, false);
  } else {
    for (int p = kFirstJustDownloadedProvider; p < app.GetProviderCount(); ++p)
      list_provider(*app.GetProvider(p), true);
  }
  return files;
}

bool IsSuitable(const CClientApp& app, const CUpdateItem& item) {
  return item.m_pCondition == nullptr || item.m_pCondition->Evaluate(app.conditions());
}

FileTexts DescribeFile(const CClientApp& app, const CUpdateItem* item) {
  if (item == nullptr)
    return {};
  return {item->m_strDescription, FormatSizeText(item->m_nLength),
          IsSuitable(app, *item) ? std::string() : Tr(kNotIntendedText)};
}

bool OpenFile(CClientApp& app, ShellOpen& shell, CUpdateItem& item) {
  const std::string path = app.EffectiveSavePath(item);
  if (path.empty())
    return false;
  return OpenThroughShell(shell, path);
}

CopyOffer MakeCopyOffer(const std::string& path) {
  CopyOffer offer;
  // Only a "." in the file's name starts an extension: download folders
  // often lie below hidden ones ("~/.local"), and an extension holding a
  // folder would make a filter that shows nothing and a suffix that leads
  // into a folder.
  const std::size_t slash = LastPathSeparator(path);
  const std::size_t dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    offer.extension = path.substr(dot);
  if (slash != std::string::npos)
    offer.file_name = path.substr(slash + 1);
  offer.filter_description = Subst(Tr("Existing type (*%1)"), {offer.extension});
  offer.filter_pattern = "*" + offer.extension;
  return offer;
}

std::string DeleteForGoodQuestion(const std::string& path) {
  return Subst(Tr("There is no trash to move %1 to. Delete it for good?"), {path});
}

std::string MoveToTrashQuestion(const std::string& path) {
  return Subst(Tr("Move %1 to the trash?"), {path});
}

std::string FileLabel(const CUpdateItem& item) {
  const CProvider* provider = item.m_pGroup != nullptr ? item.m_pGroup->m_pProvider : nullptr;
  return Subst(Tr("%1 from %2"),
               {item.m_strName, provider != nullptr ? provider->m_strKeyName : ""});
}

DeleteResult DeleteDownloadedFile(CClientApp& app, CUpdateItem& item, Trash* trash,
                                  bool ask_first) {
  DeleteResult result;
  result.path = app.EffectiveSavePath(item);
  auto ask = [&](const std::string& question) {
    Frontend* frontend = app.frontend();
    return frontend != nullptr &&
           frontend->ShowMessage(question, MessageIcon::kQuestion,
                                 MessageButtons::kYesNoDefaultNo) == MessageAnswer::kYes;
  };
  const bool there = PathExists(result.path);
  if (there && ask_first && !ask(MoveToTrashQuestion(result.path)))
    return result;
  if (!there) {
    result.outcome = DeleteResult::Outcome::kMissing;
  } else if (trash != nullptr && trash->MoveToTrash(result.path, &result.trash, &result.why)) {
    result.outcome = DeleteResult::Outcome::kTrashed;
  } else {
    if (trash == nullptr)
      result.why = Tr("there is no trash");
    if (!ask(DeleteForGoodQuestion(result.path)))
      return result;
    result.outcome = DeleteResult::Outcome::kDeleted;
  }
  // The removal of downloaded files also takes the empty folders of a
  // default path, from the location's deepest up to the number folder (a
  // file already in the trash is simply not there to delete).
  RemoveDownloadedFile(item, [&](const CUpdateItem& of) { return app.GetItemSavePath(of); });
  item.m_nFileStamp = -1;
  item.m_bJustDownloaded = false;
  app.SaveChanges();
  return result;
}

CFileManagerModel::CFileManagerModel(CClientApp& app, ShellOpen& shell, Trash* trash)
    : m_app(app), m_shell(shell), m_pTrash(trash) {}

void CFileManagerModel::Init() {
  m_sources = ListFileSources(m_app);
  SelectSource(static_cast<int>(m_sources.size()) - 1);
}

void CFileManagerModel::SelectSource(int index) {
  m_nSource = index >= 0 && index < static_cast<int>(m_sources.size()) ? index : -1;
  m_files = ListFiles(m_app, m_nSource < 0 ? nullptr : &m_sources[m_nSource]);
  m_nFile = -1;
  m_texts = {};
}

void CFileManagerModel::SelectFile(int index) {
  m_nFile = index >= 0 && index < static_cast<int>(m_files.size()) ? index : -1;
  m_texts = DescribeFile(m_app, SelectedItem());
}

CUpdateItem* CFileManagerModel::SelectedItem() const {
  if (m_nSource < 0 || m_nFile < 0)
    return nullptr;
  return m_files[m_nFile].item;
}

bool CFileManagerModel::OpenSelected(std::string* problem) {
  CUpdateItem* item = SelectedItem();
  if (item == nullptr)
    return false;
  const std::string path = m_app.EffectiveSavePath(*item);
  std::string why;
  if (path.empty())
    why = Tr("it has no place: the download folder is not set or gone");
  else if (!PathExists(path))
    why = Subst(Tr("the file is missing: %1"), {path});
  else if (!OpenThroughShell(m_shell, path))
    why = Subst(Tr("the desktop has no program to open %1"), {path});
  if (why.empty())
    return true;
  if (problem != nullptr)
    *problem = Subst(Tr("Cannot open '%1': %2"), {FileLabel(*item), why});
  return false;
}

bool CFileManagerModel::OfferCopyOfSelected(CopyOffer* offer) {
  CUpdateItem* item = SelectedItem();
  if (item == nullptr)
    return false;
  const std::string path = m_app.EffectiveSavePath(*item);
  if (path.empty())
    return false;
  *offer = MakeCopyOffer(path);
  return true;
}

bool CFileManagerModel::CopySelectedTo(const std::string& destination, std::string* problem) {
  CUpdateItem* item = SelectedItem();
  if (item == nullptr)
    return false;
  const std::string path = m_app.EffectiveSavePath(*item);
  std::string error = Tr("it has no place: the download folder is not set or gone");
  if (!path.empty() && CopyFileInBlocks(path, destination, &error))
    return true;
  if (problem != nullptr)
    *problem = Subst(Tr("Cannot copy '%1': %2"), {FileLabel(*item), error});
  return false;
}

DeleteResult CFileManagerModel::DeleteSelected() {
  CUpdateItem* item = SelectedItem();
  if (item == nullptr)
    return {};
  const DeleteResult result = DeleteDownloadedFile(m_app, *item, m_pTrash);
  if (result.outcome == DeleteResult::Outcome::kKept)
    return result;
  m_files.erase(m_files.begin() + m_nFile);
  m_nFile = -1;
  m_texts = {};
  return result;
}

}  // namespace gantrell
