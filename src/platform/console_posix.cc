#include "platform/console.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace gantrell {
namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    done += static_cast<std::size_t>(n);
  }
}

// Reads up to a line break; false when the input ended before any.
bool ReadLine(int fd, std::string* line) {
  line->clear();
  for (;;) {
    char c;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    if (c == '\n')
      return true;
    if (c != '\r')
      *line += c;
  }
}

}  // namespace

ConsoleAnswer AskOnConsole(const std::string& prompt, std::string* line) {
  if (::isatty(STDIN_FILENO)) {
    WriteAll(STDERR_FILENO, prompt);
    return ReadLine(STDIN_FILENO, line) ? ConsoleAnswer::kLine : ConsoleAnswer::kEnded;
  }
  const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0)
    return ConsoleAnswer::kNoConsole;
  WriteAll(tty, prompt);
  const bool got = ReadLine(tty, line);
  ::close(tty);
  return got ? ConsoleAnswer::kLine : ConsoleAnswer::kEnded;
}

int ConsoleWidth() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    return size.ws_col;
  return 80;
}

bool StderrIsConsole() {
  return ::isatty(STDERR_FILENO) != 0;
}

void UseUtf8Console() {}

}  // namespace gantrell
