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
  kDone,       // the file moved to the new place, which the item took: close
  kPathOnly,   // the item had no file there to move (never downloaded, or
               // its file was gone, which the item now records and a
               // message says): only the path changed: close
  kDeclined,   // the user would not overwrite the file there: stay open
  kFailed,     // the path is unusable, the destination could not be
               // written or the copy failed (the message was shown; the
               // item and its file are as they were): stay open
};

// The path a typed text means: empty for an empty text (the default
// location); a relative one taken against the current directory; a folder
// gets the file name of the item's location appended; "." and ".." parts
// and doubled separators resolved. Empty when it cannot be made absolute.
// Both clients store only what this returns, so that a path means the same
// file whichever folder the program is started in later.
std::string ResolveSavePath(const CUpdateItem& item, const std::string& typed);

// OK with the typed `typed_path` (empty: the default location), resolved
// by ResolveSavePath. The destination is that path or the item's default
// save path; the source its custom save path or the default one. Only the
// item's own file (m_nFileStamp not -1, a regular file at the source)
// moves; a file that is at the destination is never replaced, and a path
// to one never taken, without "File already exists at ... Overwrite?"
// answered Yes (No is the default). The move is a rename on one file
// system; across file systems the file is copied beside the destination,
// flushed and renamed into place before the source is removed, so a
// failure at any point keeps the file where it was. A record whose file is
// missing loses it (m_nFileStamp -1). After a change the store is written
// (when one was loaded).
MoveOutcome MoveSaveLocation(CClientApp& app, CUpdateItem& item, const std::string& typed_path);

// "Set to default": OK with an empty path, whatever the field holds.
inline MoveOutcome SetSaveLocationToDefault(CClientApp& app, CUpdateItem& item) {
  return MoveSaveLocation(app, item, std::string());
}

}  // namespace gantrell
