// "files": the downloaded files as the file manager lists them (per
// provider, every provider, or this run's), and opening, copying and
// deleting one of them.
#include <cstdio>
#include <filesystem>

#include "app/client_app.h"
#include "app/file_manager_model.h"
#include "cli/commands.h"
#include "cli/console_frontend.h"
#include "model/size_text.h"
#include "platform/catalogue.h"
#include "platform/file_move.h"
#include "platform/open_file.h"
#include "platform/shell_open.h"
#include "platform/trash.h"

namespace gantrell::cli {
namespace {

namespace fs = std::filesystem;

struct ListedFile {
  FileEntry entry;
  CProvider* provider;
};

const CProvider& ProviderOf(const CUpdateItem& item) {
  return *item.m_pGroup->m_pProvider;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::exists(PathFromUtf8(path), error);
}

// The provider entry named `name` (its name or its address), or null.
const FileSource* FindSource(const std::vector<FileSource>& sources, const std::string& name) {
  for (const FileSource& source : sources) {
    if (source.provider != nullptr &&
        (source.provider->m_strKeyName == name || source.provider->m_strAddress == name)) {
      return &source;
    }
  }
  return nullptr;
}

// Every file on disk that the file manager can show (a provider's, or one
// of this run's), each once.
std::vector<CUpdateItem*> FilesOnDisk(CClientApp& app) {
  std::vector<CUpdateItem*> items;
  for (int p = kFirstJustDownloadedProvider; p < app.GetProviderCount(); ++p) {
    CProvider& provider = *app.GetProvider(p);
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      CUpdateGroup& group = *provider.GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i) {
        CUpdateItem* item = group.GetItem(i);
        if (item->m_nFileStamp != -1 || item->m_bJustDownloaded)
          items.push_back(item);
      }
    }
  }
  return items;
}

std::string FromText(const CUpdateItem& item) {
  return Subst(Tr("%1 from %2"), {item.m_strName, ProviderOf(item).m_strKeyName});
}

// The one downloaded file named `name`: an item's name, or "NAME from
// PROVIDER" as the list of this run shows it. Says why and returns null
// when none or several match.
CUpdateItem* FindFile(CommandContext& context, const std::string& name) {
  std::vector<CUpdateItem*> matches;
  for (CUpdateItem* item : FilesOnDisk(context.app)) {
    if (item->m_strName == name || FromText(*item) == name)
      matches.push_back(item);
  }
  if (matches.size() == 1)
    return matches[0];
  if (matches.empty()) {
    context.frontend.Note(
        Subst(Tr("No downloaded file named '%1' ('gantrell-cli files' lists them)."), {name}));
    return nullptr;
  }
  std::string names;
  for (const CUpdateItem* item : matches)
    names += (names.empty() ? "'" : ", '") + FromText(*item) + "'";
  context.frontend.Note(
      Subst(Tr("'%1' names several downloaded files: %2; give one of these."), {name, names}));
  return nullptr;
}

void WriteFile(JsonWriter& json, CClientApp& app, const FileEntry& entry) {
  const CUpdateItem& item = *entry.item;
  const std::string path = app.EffectiveSavePath(*entry.item);
  const FileTexts texts = DescribeFile(app, &item);
  json.BeginObject()
      .Member("item", item.m_strName)
      .Member("group", item.m_pGroup->m_strName)
      .Member("provider", ProviderOf(item).m_strKeyName)
      .Member("provider_address", ProviderOf(item).m_strAddress)
      .Member("entry", entry.text)
      .Member("path", path)
      .Member("exists", Exists(path))
      .Member("size", static_cast<std::int64_t>(item.m_nLength))
      .Member("size_text", texts.size)
      .Member("description", texts.description)
      .Member("suitable", texts.suitability.empty())
      .Member("suitability", texts.suitability)
      .EndObject();
}

int ListFilesOf(CommandContext& context) {
  CClientApp& app = context.app;
  const std::vector<FileSource> sources = ListFileSources(app);
  std::vector<FileEntry> files;
  std::string source_label = "all providers";
  if (context.options.just_downloaded) {
    source_label = kJustDownloadedEntry;
    files = ListFiles(app, &sources.back());
  } else if (!context.options.operands.empty()) {
    const FileSource* source = FindSource(sources, context.options.operands[0]);
    if (source == nullptr) {
      context.frontend.Note(
          Subst(Tr("No provider named '%1' ('gantrell-cli providers' lists them)."),
                {context.options.operands[0]}));
      return kExitFailure;
    }
    source_label = source->label;
    files = ListFiles(app, source);
  } else {
    for (const FileSource& source : sources) {
      if (source.provider == nullptr)
        continue;
      const std::vector<FileEntry> more = ListFiles(app, &source);
      files.insert(files.end(), more.begin(), more.end());
    }
  }

  if (context.options.json) {
    context.json.Member("source", source_label).Key("files").BeginArray();
    for (const FileEntry& entry : files)
      WriteFile(context.json, app, entry);
    context.json.EndArray();
    return kExitOk;
  }
  if (files.empty()) {
    std::printf("%s\n", context.options.just_downloaded
                            ? Tr("No files were downloaded in this run.").c_str()
                            : Tr("No downloaded files.").c_str());
    return kExitOk;
  }
  std::vector<std::vector<std::string>> rows = {
      {Tr("ITEM"), Tr("PROVIDER"), Tr("PATH"), Tr("SIZE"), Tr("SUITABLE")}};
  for (const FileEntry& entry : files) {
    const std::string path = app.EffectiveSavePath(*entry.item);
    rows.push_back({entry.item->m_strName, ProviderOf(*entry.item).m_strKeyName,
                    path.empty()   ? Tr("(no place: the download folder is not set or gone)")
                    : Exists(path) ? path
                                   : Subst(Tr("%1 (missing)"), {path}),
                    TableSize(entry.item->m_nLength),
                    IsSuitable(app, *entry.item) ? Tr("yes") : Tr("no")});
  }
  PrintTable(rows);
  return kExitOk;
}

// The path of the file to act on; empty (after saying why) when it is not
// on disk.
std::string PathOnDisk(CommandContext& context, CUpdateItem& item) {
  const std::string path = context.app.EffectiveSavePath(item);
  if (path.empty()) {
    context.frontend.Note(
        Subst(Tr("The file of '%1' has no place: the download folder is not set or gone."),
              {FromText(item)}));
    return {};
  }
  if (!Exists(path)) {
    context.frontend.Note(Subst(Tr("The file of '%1' is missing: %2"), {FromText(item), path}));
    return {};
  }
  return path;
}

int OpenCommand(CommandContext& context, CUpdateItem& item) {
  const std::string path = PathOnDisk(context, item);
  if (path.empty())
    return kExitFailure;
  std::string error;
  if (!OpenWithSystemShell(path, ShellOpenWorkingFolder(path), ShellOpenParameters(path),
                           &error)) {
    context.frontend.Note(Subst(Tr("Cannot open '%1': %2"), {FromText(item), error}));
    return kExitFailure;
  }
  if (context.options.json)
    context.json.Member("opened", path);
  else
    std::printf("%s\n", Subst(Tr("Opened %1"), {path}).c_str());
  return kExitOk;
}

int CopyCommand(CommandContext& context, CUpdateItem& item, const std::string& destination) {
  const std::string path = PathOnDisk(context, item);
  if (path.empty())
    return kExitFailure;
  std::error_code fs_error;
  fs::path target_path = fs::absolute(PathFromUtf8(destination), fs_error);
  if (fs_error)
    target_path = PathFromUtf8(destination);
  // Into a folder, the copy keeps the file's name, as cp does.
  if (fs::is_directory(target_path, fs_error))
    target_path /= PathFromUtf8(MakeCopyOffer(path).file_name);
  const std::string target = Utf8FromPath(target_path);
  // A file of the user's there is replaced only on Yes.
  if (PathExists(target) && !IsSameFile(path, target) &&
      context.app.frontend()->ShowMessage(
          Subst(Tr("File already exists at %1. Overwrite?"), {target}),
          MessageIcon::kQuestion, MessageButtons::kYesNoDefaultNo) != MessageAnswer::kYes) {
    context.frontend.Note(Tr("Nothing was copied."));
    return kExitFailure;
  }
  std::string error;
  if (!CopyFileInBlocks(path, target, &error)) {
    context.frontend.Note(Subst(Tr("Cannot copy '%1': %2"), {FromText(item), error}));
    return kExitFailure;
  }
  if (context.options.json)
    context.json.Member("copied", path).Member("to", target);
  else
    std::printf("%s\n", Subst(Tr("Copied %1 to %2"), {path, target}).c_str());
  return kExitOk;
}

int DeleteCommand(CommandContext& context, CUpdateItem& item) {
  // Asked first unless --yes: the file goes to the trash, or, where there
  // is none, after a second question for good.
  const std::unique_ptr<Trash> trash = MakeSystemTrash();
  const DeleteResult result = DeleteDownloadedFile(context.app, item, trash.get(), true);
  using Outcome = DeleteResult::Outcome;
  if (result.outcome == Outcome::kKept) {
    context.frontend.Note(Tr("Nothing was deleted."));
    return kExitFailure;
  }
  if (context.options.json) {
    context.json.Member("deleted", result.path)
        .Member("result", result.outcome == Outcome::kTrashed   ? "trashed"
                          : result.outcome == Outcome::kDeleted ? "deleted"
                                                                : "missing")
        .Member("trash", result.trash);
  } else if (result.outcome == Outcome::kTrashed) {
    std::printf("%s\n",
                Subst(Tr("Moved %1 to the trash (%2)"), {result.path, result.trash}).c_str());
  } else if (result.outcome == Outcome::kDeleted) {
    std::printf("%s\n", Subst(Tr("Deleted %1 for good (%2)"), {result.path, result.why}).c_str());
  } else {
    std::printf("%s\n",
                Subst(Tr("%1 was already gone; it is no longer listed"), {result.path}).c_str());
  }
  return kExitOk;
}

bool IsFileAction(const std::string& word) {
  return word == "open" || word == "copy" || word == "delete";
}

}  // namespace

bool CheckFilesOperands(const CliOptions& options, std::string* error) {
  const std::vector<std::string>& operands = options.operands;
  if (operands.empty())
    return true;
  if (!IsFileAction(operands[0])) {
    if (options.just_downloaded) {
      *error = Tr("files: give a provider or --just-downloaded, not both");
      return false;
    }
    if (operands.size() > 1) {
      *error = Subst(Tr("files: unexpected argument '%1'"), {operands[1]});
      return false;
    }
    return true;
  }
  const std::size_t wanted = operands[0] == "copy" ? 3 : 2;
  if (options.just_downloaded) {
    *error = Subst(Tr("files %1: --just-downloaded belongs to the listing"), {operands[0]});
    return false;
  }
  if (operands.size() < wanted) {
    *error =
        Subst(Tr("files %1: missing %2"), {operands[0], operands.size() < 2 ? "ITEM" : "DEST"});
    return false;
  }
  if (operands.size() > wanted) {
    *error = Subst(Tr("files %1: unexpected argument '%2'"), {operands[0], operands[wanted]});
    return false;
  }
  return true;
}

int RunFiles(CommandContext& context) {
  const std::vector<std::string>& operands = context.options.operands;
  if (operands.empty() || !IsFileAction(operands[0]))
    return ListFilesOf(context);
  CUpdateItem* item = FindFile(context, operands[1]);
  if (item == nullptr)
    return kExitFailure;
  if (context.options.json) {
    context.json.Member("action", operands[0])
        .Member("item", item->m_strName)
        .Member("provider", ProviderOf(*item).m_strKeyName);
  }
  if (operands[0] == "open")
    return OpenCommand(context, *item);
  if (operands[0] == "copy")
    return CopyCommand(context, *item, operands[2]);
  return DeleteCommand(context, *item);
}

}  // namespace gantrell::cli
