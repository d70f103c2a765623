// The per-user folders of a desktop session. On Windows they are the known
// folders of the user's profile (standard_folders_win32.cc); elsewhere they are
// chosen by the XDG base directory rules: an environment variable names the folder when it holds an absolute
// path; an empty or relative value is ignored and the default under the home
// folder is used instead.
#pragma once

#include <string>

namespace gantrell {

// The home folder: $HOME when absolute, else the account's home folder from
// the user database. Empty when neither is known.
std::string HomeFolder();

// Settings: $XDG_CONFIG_HOME, else <home>/.config. Empty without a home.
std::string ConfigHome();

// Data files: $XDG_DATA_HOME, else <home>/.local/share. Empty without a home.
std::string DataHome();

// Sockets, locks and other files that live only as long as the session:
// $XDG_RUNTIME_DIR, else "/tmp/gantrell-<user id>", created with mode 0700.
// The fallback folder is only used when it is a real folder (not a link)
// owned by this user and closed to everybody else, since another user could
// have created it first. Returns the folder, or an empty text with the reason
// in *error (which may be null).
std::string RuntimeDir(std::string* error = nullptr);

// Creates `folder` with mode 0700 when missing. Returns true when it is then
// a real folder (not a link) owned by this user that nobody else may enter;
// otherwise false with the reason in *error (which may be null).
bool EnsurePrivateFolder(const std::string& folder, std::string* error);

// Why the runtime folder chosen from the environment cannot be used, naming
// the variable that chose it; empty when it can (or none was chosen). The
// console client checks this before any network work.
std::string RuntimeFolderProblem();

}  // namespace gantrell
