// The console client's command line: one command, its operands and the
// options, which may stand anywhere ("--" ends them). CLI11 reads it
// ("--opt=value", combined short flags, "--"); the checks that follow give
// the messages. Also the help texts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gantrell::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitOtherInstance = 3;  // another instance is running

inline constexpr std::string_view kProgram = "gantrell-cli";

// How a Yes/No question is answered.
enum class Answer { kAsk, kYes, kNo };

struct CliOptions {
  std::string command;                // "help" when none was given
  std::vector<std::string> operands;  // what follows the command
  std::string data_dir;               // --data-dir
  bool json = false;                  // --json
  bool offline = false;               // --offline
  bool force = false;                 // --force
  bool all = false;                   // --all (download)
  bool just_downloaded = false;       // --just-downloaded (files)
  bool help = false;                  // --help, -h
  bool version = false;               // --version
  int timeout_seconds = 0;            // --timeout SECONDS; 0: the defaults
  bool no_arguments = false;          // nothing at all was given
  Answer answer = Answer::kAsk;       // --yes / --no
  std::string provider;               // --provider ADDRESS (items by name)
  bool to_default = false;            // --default (move)
};

// The checks of --provider and --default and of the operands of the
// configuration commands (config_commands.cc).
bool CheckConfigOptions(const CliOptions& options, bool takes_provider, std::string* error);

// Parses the arguments after the program name. Returns false with *error
// for an unknown command or option, a missing option value, --yes with
// --no, an option the command does not take, or a wrong number of
// operands. `help` and `--help` always parse.
bool ParseCliArguments(const std::vector<std::string>& args, CliOptions* options,
                       std::string* error);

// Checks the operands of "files" (a provider, or "open ITEM", "copy ITEM
// DEST", "delete ITEM"); false with *error when they do not fit.
bool CheckFilesOperands(const CliOptions& options, std::string* error);

// The help a usage error points at: "gantrell-cli download --help", or the
// general one when there is no command.
std::string HelpPointer(const CliOptions& options);

// Whether `name` is a command ("help" included).
bool IsCommand(std::string_view name);

// The general help, or the help of one command (false for an unknown one).
std::string GeneralHelp();
bool CommandHelp(std::string_view command, std::string* text);

}  // namespace gantrell::cli
