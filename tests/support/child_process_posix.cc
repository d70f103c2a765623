#include "support/child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace gantrell::testing {

int RunProgram(const std::vector<std::string>& argv, const std::string& working_folder,
               const std::string& out_file, const std::string& err_file) {
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0)
    return -1;
  if (child == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0 || ::chdir(working_folder.c_str()) != 0)
      ::_exit(127);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int raw = 0;
  if (::waitpid(child, &raw, 0) != child || !WIFEXITED(raw))
    return -1;
  return WEXITSTATUS(raw);
}

}  // namespace gantrell::testing
