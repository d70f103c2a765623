#include "cli/cli_options.h"

#include <algorithm>

#include "cli/suggest.h"

namespace gantrell::cli {
namespace {

struct CommandInfo {
  std::string_view name;
  std::string_view usage;    // after "gantrell-cli "
  std::string_view summary;  // one line for the general help
  std::string_view details;  // the command's own help, after its usage
  std::size_t min_operands;
  std::size_t max_operands;
  bool takes_all;                 // --all
  std::string_view missing = {};  // what a missing operand is called
  bool takes_provider = false;    // --provider
};

constexpr std::size_t kMany = static_cast<std::size_t>(-1);

constexpr CommandInfo kCommands[] = {
    {"check", "check [--force]", "fetch the update lists that are due and count what is new",
     "Fetches the update lists of the providers whose next check is due (every\n"
     "provider with --force), then prints for each provider what happened and\n"
     "how many items are new.\n",
     0, 0, false},
    {"list", "list", "list the items waiting to be downloaded",
     "Prints every item that is new and suitable for this machine: its name,\n"
     "its provider, its size and its date.\n",
     0, 0, false},
    {"add", "add URL...", "subscribe to update providers",
     "Registers each provider: its update list is fetched and verified at once\n"
     "and the provider is kept only when that succeeds. A URL must be an\n"
     "absolute http:// or https:// address ending in \"/\". When another\n"
     "instance is running, the addresses are handed to it instead.\n",
     1, kMany, false},
    {"remove", "remove URL", "unsubscribe from a provider and delete its downloaded files",
     "Removes the provider with exactly this address, with every file\n"
     "downloaded from it, after a Yes/No question (--yes answers it). The\n"
     "built-in entries cannot be removed.\n",
     1, 1, false},
    {"providers", "providers", "list the providers",
     "Prints each provider's address, name, whether it is verified, and what\n"
     "the fetch of this run did with it.\n",
     0, 0, false},
    {"files", "files [PROVIDER | ACTION ...]", "list, open, copy or delete the downloaded files",
     "  gantrell-cli files [PROVIDER | --just-downloaded]\n"
     "  gantrell-cli files open ITEM | copy ITEM DEST | delete ITEM\n\n"
     "Without arguments, prints every item whose file is on disk: its name, its\n"
     "provider, the file's path, its size and whether it suits this machine.\n"
     "PROVIDER (a name or an address) lists only that provider's files;\n"
     "--just-downloaded lists the files downloaded in this run, as the file\n"
     "manager's \"Just Downloaded\" does.\n"
     "  open ITEM        hand the file to the desktop's application for it\n"
     "  copy ITEM DEST   copy the file to DEST (a file, or a folder to copy into)\n"
     "  delete ITEM      delete the file, without a question\n"
     "ITEM is an item's name, or \"NAME from PROVIDER\" where names repeat.\n",
     0, 3, false},
    {"download", "download [ITEM...] [--all]", "download new items, verify them and file them",
     "Downloads every item waiting to be downloaded, or only the items named,\n"
     "or with --all every item the providers publish. Each file is verified\n"
     "against its provider's signature before it is kept; the files written\n"
     "are listed at the end. Ctrl-C cancels.\n",
     0, kMany, true},
#include "cli/config_command_table.inc"
    {"help", "help [COMMAND]", "describe the commands",
     "Prints the general help, or the help of one command.\n", 0, 1, false},
};

constexpr std::string_view kGlobalOptions =
    "Options (any command):\n"
    "  --data-dir DIR  keep the provider store in DIR instead of the usual folder\n"
    "  --offline       skip the fetch of due update lists at start-up\n"
    "  --force         fetch every provider's update list, due or not\n"
    "  --json          print the result as one JSON document on standard output\n"
    "  --yes, -y       answer Yes to every question\n"
    "  --no, -n        answer No to every question\n"
    "  --timeout SECONDS  give up on a server that does not answer for SECONDS\n"
    "                  (default 60; 30 to connect)\n"
    "  --help, -h      describe the command\n"
    "  --version       print the version\n"
    "\n"
    "Questions are asked on the terminal; without a terminal and without --yes\n"
    "or --no they are answered No. Messages go to standard error. Ctrl-C\n"
    "cancels a fetch or a download; a second Ctrl-C ends the program at once.\n"
    "\n"
    "Exit status, the same for every command:\n"
    "  0  success\n"
    "  1  the command ran and something failed: a provider not fetched, an item\n"
    "     not downloaded, an address not set up, the store or the output not\n"
    "     written, a cancel\n"
    "  2  bad usage (a malformed address included); nothing was done\n"
    "  3  another instance is running (addresses given to 'add' are handed to it,\n"
    "     and it shows what became of them)\n";

const CommandInfo* FindCommand(std::string_view name) {
  for (const CommandInfo& info : kCommands) {
    if (info.name == name)
      return &info;
  }
  return nullptr;
}

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_' || c == '[' || c == ']';
}

}  // namespace

std::string HelpPointer(const CliOptions& options) {
  if (options.command.empty() || options.command == "help")
    return "gantrell-cli --help";
  return "gantrell-cli " + options.command + " --help";
}

bool IsCommand(std::string_view name) {
  return FindCommand(name) != nullptr;
}

bool ParseCliArguments(const std::vector<std::string>& args, CliOptions* options,
                       std::string* error) {
  bool options_ended = false;
  bool saw_command = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool is_option = !options_ended && arg.size() > 1 && arg[0] == '-';
    if (!is_option) {
      if (!saw_command) {
        if (!IsCommand(arg)) {
          std::vector<std::string> names;
          for (const CommandInfo& info : kCommands)
            names.emplace_back(info.name);
          const std::string nearest = NearestName(arg, names);
          *error = "unknown command '" + arg + "'" +
                   (nearest.empty() ? "" : " (did you mean '" + nearest + "'?)");
          return false;
        }
        options->command = arg;
        saw_command = true;
      } else {
        options->operands.push_back(arg);
      }
      continue;
    }
    // Short options may be combined ("-yn"): each letter counts alone.
    if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-') {
      std::vector<std::string> split;
      for (std::size_t c = 1; c < arg.size(); ++c)
        split.push_back(std::string("-") + arg[c]);
      std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
      std::vector<std::string> expanded(args.begin(), args.begin() + static_cast<long>(i));
      expanded.insert(expanded.end(), split.begin(), split.end());
      expanded.insert(expanded.end(), rest.begin(), rest.end());
      *options = CliOptions{};
      return ParseCliArguments(expanded, options, error);
    }
    if (arg == "--") {
      options_ended = true;
    } else if (arg == "--version") {
      options->version = true;
    } else if (arg == "--timeout" || arg.rfind("--timeout=", 0) == 0) {
      std::string value;
      if (arg == "--timeout") {
        value = i + 1 < args.size() ? args[++i] : "";
      } else {
        value = arg.substr(sizeof("--timeout=") - 1);
      }
      int seconds = 0;
      bool digits = !value.empty() && value.size() <= 6;
      for (char c : value) {
        digits = digits && c >= '0' && c <= '9';
        if (digits)
          seconds = seconds * 10 + (c - '0');
      }
      if (!digits || seconds < 1) {
        *error = "--timeout needs a whole number of seconds (1 or more), not '" + value + "'";
        return false;
      }
      options->timeout_seconds = seconds;
    } else if (arg == "--json") {
      options->json = true;
    } else if (arg == "--offline") {
      options->offline = true;
    } else if (arg == "--force") {
      options->force = true;
    } else if (arg == "--all") {
      options->all = true;
    } else if (arg == "--just-downloaded") {
      options->just_downloaded = true;
    } else if (arg == "--default") {
      options->to_default = true;
    } else if (arg == "--provider" || arg.rfind("--provider=", 0) == 0) {
      options->provider = arg == "--provider" ? (i + 1 < args.size() ? args[++i] : "")
                                              : arg.substr(sizeof("--provider=") - 1);
      if (options->provider.empty()) {
        *error = "--provider needs a provider address";
        return false;
      }
    } else if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--yes" || arg == "-y" || arg == "--no" || arg == "-n") {
      const Answer answer = arg[arg.size() - 1] == 's' || arg == "-y" ? Answer::kYes : Answer::kNo;
      if (options->answer != Answer::kAsk && options->answer != answer) {
        *error = "--yes and --no exclude each other";
        return false;
      }
      options->answer = answer;
    } else if (arg == "--data-dir" || arg.rfind("--data-dir=", 0) == 0) {
      if (arg == "--data-dir") {
        if (i + 1 >= args.size()) {
          *error = "--data-dir needs a folder";
          return false;
        }
        options->data_dir = args[++i];
      } else {
        options->data_dir = arg.substr(sizeof("--data-dir=") - 1);
      }
      if (options->data_dir.empty()) {
        *error = "--data-dir needs a folder";
        return false;
      }
    } else {
      *error = "unknown option '" + arg + "'";
      return false;
    }
  }

  if (!saw_command) {
    options->command = "help";
    if (!options->help && !options->version) {
      // A bare "gantrell-cli" or "gantrell-cli --json": a command is needed.
      options->no_arguments = args.empty();
      *error = args.empty() ? "no command given" : "no command given with the options";
      return false;
    }
  }
  if (options->help || options->version)
    return true;
  const CommandInfo& info = *FindCommand(options->command);
  if (options->all && !info.takes_all) {
    *error = "--all belongs to 'download', not to '" + options->command + "'";
    return false;
  }
  if (options->all && !options->operands.empty()) {
    *error = "download: give item names or --all, not both";
    return false;
  }
  if (!CheckConfigOptions(*options, info.takes_provider, error))
    return false;
  const std::size_t count = options->operands.size();
  if (count < info.min_operands) {
    *error = std::string(info.name) + ": missing " +
             (!info.missing.empty()   ? std::string(info.missing)
              : info.name == "remove" ? "URL"
                                      : "URL...");
    return false;
  }
  if (count > info.max_operands) {
    *error = std::string(info.name) + ": unexpected argument '" +
             options->operands[info.max_operands] + "'";
    return false;
  }
  if (options->just_downloaded && info.name != "files") {
    *error = "--just-downloaded belongs to 'files', not to '" + options->command + "'";
    return false;
  }
  if (info.name == "files" && !CheckFilesOperands(*options, error))
    return false;
  if (info.name == "help" && count == 1 && !IsCommand(options->operands[0])) {
    *error = "help: unknown command '" + options->operands[0] + "'";
    return false;
  }
  return true;
}

std::string GeneralHelp() {
  std::string text =
      "Usage: gantrell-cli COMMAND [OPTIONS] [ARGUMENTS]\n\n"
      "The console client of Gantrell: the same providers, settings and store\n"
      "as the windowed client, for servers, scripts and terminals. Every\n"
      "command first fetches the update lists that are due, and registers\n"
      "provider addresses handed over by other instances.\n\nCommands:\n";
  std::size_t width = 0;
  for (const CommandInfo& info : kCommands)
    width = std::max(width, info.usage.size());
  for (const CommandInfo& info : kCommands) {
    text += "  " + std::string(info.usage) + std::string(width + 2 - info.usage.size(), ' ') +
            std::string(info.summary) + "\n";
  }
  text += "\n'gantrell-cli help COMMAND' or 'gantrell-cli COMMAND --help' describes a command.\n\n";
  return text + std::string(kGlobalOptions);
}

bool CommandHelp(std::string_view command, std::string* text) {
  const CommandInfo* info = FindCommand(command);
  if (info == nullptr)
    return false;
  if (info->name == "help") {
    *text = GeneralHelp();
    return true;
  }
  *text = "Usage: gantrell-cli " + std::string(info->usage) + " [OPTIONS]\n\n" +
          std::string(info->details) + "\n" + std::string(kGlobalOptions);
  return true;
}

std::string CheckAddressArgument(const std::string& address) {
  std::string_view rest = address;
  if (rest.rfind("http://", 0) == 0) {
    rest.remove_prefix(7);
  } else if (rest.rfind("https://", 0) == 0) {
    rest.remove_prefix(8);
  } else {
    return "it does not start with http:// or https://";
  }
  for (char c : address) {
    // Blanks would split the address where several are handed over
    // together (" * "), and quotes and control characters have no place in
    // an address.
    if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == 0x7f) {
      return "it holds a blank, a quote or a control character";
    }
  }
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos)
    return "it names no folder (add a closing \"/\")";
  std::string_view host = rest.substr(0, slash);
  if (host.find('@') != std::string_view::npos)
    return "it holds a user name";
  if (const std::size_t colon = host.rfind(':');
      colon != std::string_view::npos && host.find(']') == std::string_view::npos) {
    const std::string_view port = host.substr(colon + 1);
    int value = 0;
    for (char c : port) {
      if (c < '0' || c > '9' || value > 65535)
        return "its port is not a number from 1 to 65535";
      value = value * 10 + (c - '0');
    }
    if (port.empty() || value == 0 || value > 65535)
      return "its port is not a number from 1 to 65535";
    host = host.substr(0, colon);
  }
  if (host.empty())
    return "it names no server";
  if (!std::all_of(host.begin(), host.end(), IsHostCharacter))
    return "its server name is not valid";
  if (address.find_first_of("?#") != std::string::npos)
    return "it holds a query or a fragment";
  if (address.back() != '/')
    return "it does not end with \"/\"";
  return {};
}

}  // namespace gantrell::cli
