// The desktop's trash: deleted files go there, where the desktop's file
// manager lists them and can put them back. The windowed client uses Qt's
// (ui/qt_trash.h), the console client the freedesktop.org trash below;
// tests put a fake in their place.
#pragma once

#include <memory>
#include <string>

namespace gantrell {

class Trash {
 public:
  virtual ~Trash() = default;

  // Moves the file at `path` into the trash. True with the trash folder
  // that took it in *where (may be null; empty when the backend does not
  // say); false, with nothing changed and the reason in *error (may be
  // null), when there is no trash for that file.
  virtual bool MoveToTrash(const std::string& path, std::string* where, std::string* error) = 0;
};

// The freedesktop.org trash: the home trash ($XDG_DATA_HOME/Trash) for
// files on its file system, else the trash at the top of the file's own
// file system (".Trash/UID" when the administrator made ".Trash" with its
// sticky bit, else ".Trash-UID", made when missing). Each file goes to
// "files/NAME" with its record "info/NAME.trashinfo" (the original path
// and the time of deletion), NAME being the file's name or, when taken,
// the name with ".2", ".3" and on. A file is never copied across file
// systems: without a trash on its own it stays where it is.
class FreedesktopTrash : public Trash {
 public:
  // `home_trash` empty: DataHome() + "/Trash".
  explicit FreedesktopTrash(std::string home_trash = {});

  bool MoveToTrash(const std::string& path, std::string* where, std::string* error) override;

 private:
  std::string m_strHomeTrash;
};

// The user's trash on this system (the freedesktop.org home trash on
// Linux).
std::unique_ptr<Trash> MakeSystemTrash();

}  // namespace gantrell
