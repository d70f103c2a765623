// What the "Choose Filename" dialog does with an item's save path: the
// caption, the proposal for the platform's save dialog, and OK and "Set to
// default", which move a downloaded file to its new place. The windowed
// dialog and the console's "move" share it; nothing here needs a window.
//
// Questions and notices go through the application's frontend. Interface
// thread only.
#pragma once

#include <string>

namespace gantrell {

class CClientApp;
class CUpdateItem;

// "Choose location for item " followed by the item's name.
std::string SaveLocationCaption(const CUpdateItem& item);

// What "Browse" offers the platform's save dialog, from the item's
// download location: the extension (from the last "." of its file name
// on, empty without one), the proposed file name (after the last "\" or "/", empty without
// one) and the filter "Existing type (*ext)" with its pattern "*ext".
struct SaveDialogProposal {
  std::string extension;
  std::string file_name;
  std::string filter_label;
  std::string filter_pattern;
};
SaveDialogProposal ProposeSaveDialog(const CUpdateItem& item);

// How OK ended.
enum class MoveOutcome {
  kUnchanged,  // the new place is where the file already is: close
  kDone,       // the path was taken, and the file moved if it existed: close
  kDeclined,   // the user would not overwrite the file there: stay open
  kFailed,     // the destination could not be written or the copy failed
               // (the message was shown; the item and its file are as
               // they were): stay open
};

// OK with `new_path` (empty: the default location). The destination is the
// new path or the item's default save path; the source its custom save
// path or the default one. When a file is at the source it is copied to
// the destination in blocks of 512 bytes (after asking "File already exists
// at ...  Overwrite?" when one is there) and removed; the item's
// m_strSavePath then takes `new_path`.
MoveOutcome MoveSaveLocation(CClientApp& app, CUpdateItem& item, const std::string& new_path);

// "Set to default": OK with an empty path, whatever the field holds.
inline MoveOutcome SetSaveLocationToDefault(CClientApp& app, CUpdateItem& item) {
  return MoveSaveLocation(app, item, std::string());
}

}  // namespace gantrell
