// The commands of gantrell-publish and what they share: exit codes, option
// parsing, messages. Each command lives in its own file and is listed in
// main.cc.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gantrell::publish {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

inline constexpr std::string_view kProgramName = "gantrell-publish";

// The closing lines of every command's help.
inline constexpr std::string_view kExitStatusHelp =
    "Exit status: 0 success, 1 failure (nothing or only complete files written),\n"
    "2 bad usage (nothing written).\n";

struct Command {
  std::string_view name;
  std::string_view summary;
  // Runs the command with the arguments that follow its name; returns the
  // exit status.
  int (*run)(const std::vector<std::string>& args);
};

int RunKeygen(const std::vector<std::string>& args);
int RunSign(const std::vector<std::string>& args);
int RunLicense(const std::vector<std::string>& args);
int RunRotate(const std::vector<std::string>& args);
int RunSite(const std::vector<std::string>& args);

// Options of one command: "--name value", "--name=value" or a flag
// "--name"; "-h" stands for "--help"; "--" ends the options.
struct KnownOption {
  std::string_view name;  // without the leading "--"
  bool takes_value;
};

class ParsedArgs {
 public:
  // Returns false with *error for an unknown option, a missing value, a
  // value given to a flag, or an option given twice.
  bool Parse(const std::vector<std::string>& args, const std::vector<KnownOption>& known_options,
             std::string* error);

  bool Has(std::string_view name) const;
  // The option's value, or `fallback` when it was not given.
  std::string Value(std::string_view name, std::string_view fallback = {}) const;
  const std::vector<std::string>& Positional() const { return m_positional; }

 private:
  std::vector<std::pair<std::string, std::string>> m_options;
  std::vector<std::string> m_positional;
};

// Prints "gantrell-publish <command>: <message>" and a pointer to --help on
// standard error; returns kExitUsage.
int UsageError(std::string_view command, std::string_view message);

// Prints "gantrell-publish <command>: <message>" on standard error; returns
// kExitFailure.
int Failure(std::string_view command, std::string_view message);

// Prints "gantrell-publish <command>: warning: <message>" on standard error.
void Warn(std::string_view command, std::string_view message);

// Parses a decimal whole number in [low, high]; false for anything else.
bool ParseNumber(std::string_view text, int low, int high, int* value);

}  // namespace gantrell::publish
