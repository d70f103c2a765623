#include "platform/shell_open_xdg.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/catalogue.h"

namespace gantrell {
namespace {

// The launcher's full path: `name` itself when it holds a "/", else the
// first executable of that name on PATH; empty when there is none.
std::string FindLauncher(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
  while (true) {
    const std::size_t colon = rest.find(':');
    // An empty entry stands for the current folder.
    const std::string_view folder = rest.substr(0, colon);
    const std::string candidate =
        (folder.empty() ? std::string(".") : std::string(folder)) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (colon == std::string_view::npos)
      return {};
    rest.remove_prefix(colon + 1);
  }
}

void Report(int fd, int error) {
  ssize_t ignored = ::write(fd, &error, sizeof error);
  (void)ignored;
}

}  // namespace

XdgShellOpen::XdgShellOpen(std::string launcher) : m_strLauncher(std::move(launcher)) {}

bool XdgShellOpen::Open(const std::string& path, const std::string& working_folder,
                        const std::string& parameters) {
  return Open(path, working_folder, parameters, nullptr);
}

bool XdgShellOpen::Open(const std::string& path, const std::string& working_folder,
                        const std::string& /*parameters*/, std::string* error) {
  const std::string launcher = FindLauncher(m_strLauncher);
  if (launcher.empty()) {
    if (error != nullptr)
      *error = Subst(Tr("cannot find %1 to open %2"), {m_strLauncher, path});
    return false;
  }
  // A path that starts with "-" would be read as an option.
  const std::string argument = !path.empty() && path[0] == '-' ? "./" + path : path;
  // Everything the children need is made before fork: after it, in a
  // process that may have other threads, only plain system calls are safe.
  std::vector<char*> argv = {const_cast<char*>(launcher.c_str()),
                             const_cast<char*>(argument.c_str()), nullptr};
  const char* folder = working_folder.empty() ? nullptr : working_folder.c_str();

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    if (error != nullptr)
      *error = Subst(Tr("cannot start %1: %2"), {launcher, std::strerror(errno)});
    return false;
  }
  // The launcher is started by a short-lived middle process, so that it is
  // nobody's child here: nothing has to wait for it, and it leaves no
  // zombie behind however long it runs.
  const pid_t middle = ::fork();
  if (middle == 0) {
    ::close(report[0]);
    const pid_t launched = ::fork();
    if (launched == 0) {
      ::setsid();
      const int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
      }
      if (folder != nullptr && ::chdir(folder) != 0) {
        // The file can still be opened from wherever this started.
      }
      ::execv(argv[0], argv.data());
      Report(report[1], errno);
      ::_exit(127);
    }
    if (launched < 0)
      Report(report[1], errno);
    ::_exit(0);
  }
  ::close(report[1]);
  int failure = 0;
  if (middle < 0) {
    failure = errno;
  } else {
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes when the launcher's exec succeeded; before that, a
    // failure to start it arrives as its errno.
    ssize_t got;
    while ((got = ::read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    if (got != static_cast<ssize_t>(sizeof failure))
      failure = 0;
  }
  ::close(report[0]);
  if (failure != 0) {
    if (error != nullptr)
      *error = Subst(Tr("cannot start %1: %2"), {launcher, std::strerror(failure)});
    return false;
  }
  return true;
}

bool OpenWithSystemShell(const std::string& path, const std::string& working_folder,
                         const std::string& parameters, std::string* error) {
  return XdgShellOpen().Open(path, working_folder, parameters, error);
}

}  // namespace gantrell
