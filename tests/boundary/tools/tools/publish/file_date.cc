// A tool source that asks the system for a file's date itself.
#include <ctime>

#include <sys/stat.h>

long FileDate(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 ? static_cast<long>(info.st_mtime) : -1;
}
