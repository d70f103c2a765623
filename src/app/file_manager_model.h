// What the "File Manager" shows and does, without a window: the provider
// choice, the files of the chosen provider or of this session, the texts
// of a selection, and opening, copying and deleting the selected file. The
// windowed client's dialog maps its widgets onto CFileManagerModel; the
// console's "files" commands use the free functions.
//
// Interface thread only: the model is not locked, and the items listed are
// borrowed from the provider tree, so a list is rebuilt after any change to
// the tree (a fetch, a registration, a removal).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/catalogue.h"
#include "platform/file_copy.h"

namespace gantrell {

class CClientApp;
class CProvider;
class CUpdateItem;
class ShellOpen;
class Trash;

inline constexpr const char* kJustDownloadedEntry = TrNoop("Just Downloaded");
inline constexpr const char* kNotIntendedText =
    TrNoop("This item is not intended for this machine");
// The first provider the provider choice offers (the client's own update
// provider), and the first one whose files of this session are listed
// (the authority entries after the first one may carry files too).
inline constexpr int kFirstFileSourceProvider = 4;
inline constexpr int kFirstJustDownloadedProvider = 1;

// One entry of the provider choice: a provider, or "Just Downloaded"
// (provider null).
struct FileSource {
  std::string label;
  CProvider* provider = nullptr;
};

// One entry of the files list.
struct FileEntry {
  std::string text;  // the item's name; with " from " and the provider's name for this session's
  CUpdateItem* item = nullptr;
};

// The texts shown for the selected file.
struct FileTexts {
  std::string description;
  std::string size;
  std::string suitability;  // kNotIntendedText or empty
  bool operator==(const FileTexts&) const = default;
};

// What the save dialog of a copy offers: the default extension (from the
// last "." of the file's name, with the dot; empty without one), the
// initial file name (after the last "/", on Windows "/" or "\"), and the
// one filter, "Existing type (*EXT)" with the pattern "*EXT".
struct CopyOffer {
  std::string extension;
  std::string file_name;
  std::string filter_description;
  std::string filter_pattern;
  // The filter as description and pattern joined by "|".
  std::string FilterText() const { return filter_description + "|" + filter_pattern; }
};

// The provider choice: every provider from kFirstFileSourceProvider on, in
// order, by name, then "Just Downloaded".
std::vector<FileSource> ListFileSources(const CClientApp& app);

// The files of `source` (null: nothing). A provider lists each item whose
// file is on disk (m_nFileStamp not -1), groups and items in order, by the
// item's name; "Just Downloaded" lists every item downloaded in this
// session (m_bJustDownloaded) of the providers from
// kFirstJustDownloadedProvider on, as "NAME from PROVIDER".
std::vector<FileEntry> ListFiles(const CClientApp& app, const FileSource* source);

// The texts for `item` (null: all empty): its description, its size text,
// and kNotIntendedText when it carries a condition that does not hold here.
FileTexts DescribeFile(const CClientApp& app, const CUpdateItem* item);
// Whether the item suits this machine: no condition, or one that holds.
bool IsSuitable(const CClientApp& app, const CUpdateItem& item);

// Asks the shell to open the item's file (its effective save path) in its
// folder, with the parameters of ShellOpenParameters. False when the item
// has no path or the shell could not be asked.
bool OpenFile(CClientApp& app, ShellOpen& shell, CUpdateItem& item);

// The save dialog's offer for a copy of the file at `path`.
CopyOffer MakeCopyOffer(const std::string& path);

// The question a delete asks when the file has no trash to go to.
std::string DeleteForGoodQuestion(const std::string& path);
// The question the console asks before a delete ("files delete" without
// --yes).
std::string MoveToTrashQuestion(const std::string& path);

// How a delete ended.
struct DeleteResult {
  enum class Outcome {
    kTrashed,  // the file is in the trash
    kDeleted,  // there was no trash; the user said Yes and it is gone
    kMissing,  // no file was there; the item no longer records one
    kKept,     // the user said No; nothing changed
  };
  Outcome outcome = Outcome::kKept;
  std::string path;   // the file's path (its effective save path)
  std::string trash;  // kTrashed: the trash folder that took it (may be empty)
  std::string why;    // kDeleted, kKept: why the trash could not take it
};

// Deletes the item's downloaded file: into `trash` (borrowed; null: none)
// without a question when it takes the file, else only after
// DeleteForGoodQuestion is answered Yes (No is the default). With
// `ask_first`, MoveToTrashQuestion is asked before anything happens (No
// keeps the file). Unless the file is kept, the item is marked as having
// no file and as not downloaded in this session, and the folders of a
// default path go once empty, as with any removal.
DeleteResult DeleteDownloadedFile(CClientApp& app, CUpdateItem& item, Trash* trash,
                                  bool ask_first = false);

// "NAME from PROVIDER", as a failure names a file.
std::string FileLabel(const CUpdateItem& item);

// The dialog's state: the provider choice with its selection, the files of
// the chosen entry with theirs, and the texts.
class CFileManagerModel {
 public:
  // All are borrowed and must outlive the model; `trash` may be null (no
  // trash: a delete asks first).
  CFileManagerModel(CClientApp& app, ShellOpen& shell, Trash* trash = nullptr);

  // The initialisation: lists the providers, selects "Just Downloaded" and
  // lists its files.
  void Init();

  const std::vector<FileSource>& Sources() const { return m_sources; }
  int SelectedSource() const { return m_nSource; }
  // Selects entry `index` of the provider choice (-1 or out of range:
  // none) and lists its files; no file is selected then.
  void SelectSource(int index);

  const std::vector<FileEntry>& Files() const { return m_files; }
  int SelectedFile() const { return m_nFile; }
  // Selects file `index` and shows its texts; -1 (or out of range) cancels
  // the selection and empties them.
  void SelectFile(int index);

  const FileTexts& Texts() const { return m_texts; }

  // Opens the selected file; nothing without a provider entry and a file
  // selected. False, with the message to show in *problem (may be null),
  // when the file has no place, is missing or the desktop cannot open it.
  bool OpenSelected(std::string* problem = nullptr);
  // The offer of the save dialog for the selected file; false (no dialog)
  // when nothing is selected or the file has no path.
  bool OfferCopyOfSelected(CopyOffer* offer);
  // Copies the selected file to `destination` (what the save dialog
  // returned); false when nothing is selected or the copy failed, with
  // the message to show in *problem (may be null) for a failed copy.
  bool CopySelectedTo(const std::string& destination, std::string* problem = nullptr);
  // Deletes the selected file as DeleteDownloadedFile does (into the
  // trash, else after a question); unless it was kept, drops its entry and
  // empties the texts. Nothing selected: kKept with an empty path.
  DeleteResult DeleteSelected();

 private:
  CUpdateItem* SelectedItem() const;

  CClientApp& m_app;
  ShellOpen& m_shell;
  Trash* m_pTrash;
  std::vector<FileSource> m_sources;
  int m_nSource = -1;
  std::vector<FileEntry> m_files;
  int m_nFile = -1;
  FileTexts m_texts;
};

}  // namespace gantrell
