#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string_view>
#include <vector>

#include "cli/suggest.h"
#include "model/store_format.h"
#include "platform/catalogue.h"

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
    {"check", "check [--force]",
     TrNoop("fetch the update lists that are due and count what is new"),
     TrNoop("Fetches the update lists of the providers whose next check is due (every\n"
            "provider with --force), then prints for each provider what happened and\n"
            "how many items are new.\n"),
     0, 0, false},
    {"list", "list", TrNoop("list the items waiting to be downloaded"),
     TrNoop("Prints every item that is new and suitable for this machine: its name,\n"
            "its provider, its size and its date.\n"),
     0, 0, false},
    {"add", "add URL...", TrNoop("subscribe to update providers"),
     TrNoop("Registers each provider: its update list is fetched and verified at once\n"
            "and the provider is kept only when that succeeds. A URL must be an\n"
            "absolute http:// or https:// address ending in \"/\". When another\n"
            "instance is running, the addresses are handed to it instead.\n"),
     1, kMany, false},
    {"remove", "remove URL", TrNoop("unsubscribe from a provider and delete its downloaded files"),
     TrNoop("Removes the provider with exactly this address, with every file\n"
            "downloaded from it, after a Yes/No question (--yes answers it). The\n"
            "built-in entries cannot be removed.\n"),
     1, 1, false},
    {"providers", "providers", TrNoop("list the providers"),
     TrNoop("Prints each provider's address, name, whether it is verified, and what\n"
            "the fetch of this run did with it.\n"),
     0, 0, false},
    {"files", "files [PROVIDER | ACTION ...]",
     TrNoop("list, open, copy or delete the downloaded files"),
     TrNoop("  gantrell-cli files [PROVIDER | --just-downloaded]\n"
            "  gantrell-cli files open ITEM | copy ITEM DEST | delete ITEM\n\n"
            "Without arguments, prints every item whose file is on disk: its name, its\n"
            "provider, the file's path, its size and whether it suits this machine.\n"
            "PROVIDER (a name or an address) lists only that provider's files;\n"
            "--just-downloaded lists the files downloaded in this run, as the file\n"
            "manager's \"Just Downloaded\" does.\n"
            "  open ITEM        hand the file to the desktop's application for it\n"
            "  copy ITEM DEST   copy the file to DEST (a file, or a folder to copy into);\n"
            "                   a file already at DEST is replaced only on Yes\n"
            "  delete ITEM      move the file to the trash, after a question (--yes\n"
            "                   answers it); without a trash, a second question deletes\n"
            "                   it for good\n"
            "ITEM is an item's name, or \"NAME from PROVIDER\" where names repeat.\n"),
     0, 3, false},
    {"download", "download [ITEM...] [--all]",
     TrNoop("download new items, verify them and file them"),
     TrNoop("Downloads every item waiting to be downloaded, or only the items named,\n"
            "or with --all every item the providers publish. Each file is verified\n"
            "against its provider's signature before it is kept; the files written\n"
            "are listed at the end. Ctrl-C cancels.\n"),
     0, kMany, true},
#include "cli/config_command_table.inc"
    {"help", "help [COMMAND]", TrNoop("describe the commands"),
     TrNoop("Prints the general help, or the help of one command.\n"), 0, 1, false},
};

// What follows the options in every help.
constexpr std::string_view kHelpNotes = TrNoop(
    "Questions are asked on the terminal; without a terminal and without --yes\n"
    "or --no they are answered No, except \"Subscribe to updates from ADDRESS?\"\n"
    "for an address handed over by another instance, which then waits for a\n"
    "start that can ask. Messages go to standard error. Ctrl-C\n"
    "cancels a fetch or a download; a second Ctrl-C ends the program at once.\n"
    "\n"
    "Exit status, the same for every command:\n"
    "  0  success\n"
    "  1  the command ran and something failed: a provider not fetched, an item\n"
    "     not downloaded, an address not set up, the store or the output not\n"
    "     written, a cancel\n"
    "  2  bad usage (a malformed address included); nothing was done\n"
    "  3  another instance is running (addresses given to 'add' are handed to it,\n"
    "     and it shows what became of them)\n");

const CommandInfo* FindCommand(std::string_view name) {
  for (const CommandInfo& info : kCommands) {
    if (info.name == name)
      return &info;
  }
  return nullptr;
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

namespace {

// The options every command takes, as CLI11 declares them. The values are
// checked after the parse, where the messages name what is wrong.
struct Parser {
  CLI::App app{"", std::string(kProgram)};
  std::vector<std::string> words;  // the command and its operands
  std::string data_dir;
  std::string provider;
  std::string timeout;
  CLI::Option* json;
  CLI::Option* offline;
  CLI::Option* force;
  CLI::Option* all;
  CLI::Option* just_downloaded;
  CLI::Option* to_default;
  CLI::Option* help;
  CLI::Option* version;
  CLI::Option* yes;
  CLI::Option* no;
  CLI::Option* data_dir_option;
  CLI::Option* provider_option;
  CLI::Option* timeout_option;
  CLI::Option* words_option;

  // A flag takes no value: "--json=false" is refused, not read.
  CLI::Option* Flag(const std::string& names, const std::string& description) {
    return app.add_flag(names)->description(description)->disable_flag_override();
  }

  Parser() {
    app.set_help_flag();
    app.allow_extras();
    const std::string group = Tr("Options (any command)");
    data_dir_option =
        app.add_option("--data-dir", data_dir,
                       Tr("keep the provider store in DIR instead of the usual folder"))
            ->type_name("DIR")
            ->group(group);
    offline = Flag("--offline", Tr("skip the fetch of due update lists at start-up"))->group(group);
    force = Flag("--force", Tr("fetch every provider's update list, due or not"))->group(group);
    json = Flag("--json", Tr("print the result as one JSON document on standard output"))
               ->group(group);
    yes = Flag("-y,--yes", Tr("answer Yes to every question"))->group(group);
    no = Flag("-n,--no", Tr("answer No to every question"))->group(group);
    timeout_option = app.add_option("--timeout", timeout,
                                    Tr("give up on a server that does not answer for SECONDS "
                                       "(default 60; 30 to connect)"))
                         ->type_name("SECONDS")
                         ->group(group);
    help = Flag("-h,--help", Tr("describe the command"))->group(group);
    version = Flag("--version", Tr("print the version"))->group(group);
    // The options of some commands; the parse takes them anywhere and the
    // checks below refuse them where they do not belong.
    const std::string command_group = Tr("Options of some commands");
    all = Flag("--all", Tr("download: every item the providers publish"))->group(command_group);
    just_downloaded = Flag("--just-downloaded", Tr("files: the files downloaded in this run"))
                          ->group(command_group);
    provider_option = app.add_option("--provider", provider,
                                     Tr("select, unselect, ignore, move: the provider "
                                        "offering the item"))
                          ->type_name("URL")
                          ->group(command_group);
    to_default = Flag("--default", Tr("move: back to the download folder"))->group(command_group);
    // Positionals may stand between options; "--" ends the options.
    words_option = app.add_option("words", words)->group("");
  }
};

// The message for what CLI11 refused: a value option given without its
// value, or a flag given one.
std::string ParseErrorMessage(const Parser& parser, const std::string& what) {
  if (const std::size_t end = what.find(" was given a disallowed flag override");
      end != std::string::npos) {
    return Subst(Tr("--%1 takes no value"), {what.substr(0, end)});
  }
  if (what.rfind(parser.data_dir_option->get_name(), 0) == 0)
    return Tr("--data-dir needs a folder");
  if (what.rfind(parser.provider_option->get_name(), 0) == 0)
    return Tr("--provider needs a provider address");
  if (what.rfind(parser.timeout_option->get_name(), 0) == 0)
    return Subst(Tr("--timeout needs a whole number of seconds (1 or more), not '%1'"), {""});
  return what;
}

}  // namespace

bool ParseCliArguments(const std::vector<std::string>& args, CliOptions* options,
                       std::string* error) {
  Parser parser;
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    parser.app.parse(reversed);
  } catch (const CLI::ParseError& failure) {
    // The words taken before the parse stopped name the command whose
    // help the error points at.
    const CLI::results_t& taken = parser.words_option->results();
    if (!taken.empty() && IsCommand(taken[0]))
      options->command = taken[0];
    *error = ParseErrorMessage(parser, failure.what());
    return false;
  }
  if (!parser.words.empty() && IsCommand(parser.words[0]))
    options->command = parser.words[0];
  for (const std::string& extra : parser.app.remaining()) {
    // CLI11 notes where "--" ended the options among what it did not take.
    if (extra == "--")
      continue;
    *error = Subst(Tr("unknown option '%1'"), {extra});
    return false;
  }
  options->json = parser.json->count() > 0;
  options->offline = parser.offline->count() > 0;
  options->force = parser.force->count() > 0;
  options->all = parser.all->count() > 0;
  options->just_downloaded = parser.just_downloaded->count() > 0;
  options->to_default = parser.to_default->count() > 0;
  options->help = parser.help->count() > 0;
  options->version = parser.version->count() > 0;
  // Short options combine ("-yn"); these two cannot.
  if (parser.yes->count() > 0 && parser.no->count() > 0) {
    *error = Tr("--yes and --no exclude each other");
    return false;
  }
  options->answer = parser.yes->count() > 0  ? Answer::kYes
                    : parser.no->count() > 0 ? Answer::kNo
                                             : Answer::kAsk;
  if (parser.data_dir_option->count() > 0) {
    if (parser.data_dir.empty()) {
      *error = Tr("--data-dir needs a folder");
      return false;
    }
    options->data_dir = parser.data_dir;
  }
  if (parser.provider_option->count() > 0) {
    if (parser.provider.empty()) {
      *error = Tr("--provider needs a provider address");
      return false;
    }
    options->provider = parser.provider;
  }
  if (parser.timeout_option->count() > 0) {
    const std::string& value = parser.timeout;
    int seconds = 0;
    bool digits = !value.empty() && value.size() <= 6;
    for (char c : value) {
      digits = digits && c >= '0' && c <= '9';
      if (digits)
        seconds = seconds * 10 + (c - '0');
    }
    if (!digits || seconds < 1) {
      *error =
          Subst(Tr("--timeout needs a whole number of seconds (1 or more), not '%1'"), {value});
      return false;
    }
    options->timeout_seconds = seconds;
  }
  const bool saw_command = !parser.words.empty();
  if (saw_command) {
    const std::string& name = parser.words[0];
    if (!IsCommand(name)) {
      std::vector<std::string> names;
      for (const CommandInfo& info : kCommands)
        names.emplace_back(info.name);
      const std::string nearest = NearestName(name, names);
      *error = nearest.empty()
                   ? Subst(Tr("unknown command '%1'"), {name})
                   : Subst(Tr("unknown command '%1' (did you mean '%2'?)"), {name, nearest});
      return false;
    }
    options->command = name;
    options->operands.assign(parser.words.begin() + 1, parser.words.end());
  }

  if (!saw_command) {
    options->command = "help";
    if (!options->help && !options->version) {
      // A bare "gantrell-cli" or "gantrell-cli --json": a command is needed.
      options->no_arguments = args.empty();
      *error = args.empty() ? Tr("no command given") : Tr("no command given with the options");
      return false;
    }
  }
  if (options->help || options->version)
    return true;
  const CommandInfo& info = *FindCommand(options->command);
  if (options->all && !info.takes_all) {
    *error = Subst(Tr("--all belongs to 'download', not to '%1'"), {options->command});
    return false;
  }
  if (options->all && !options->operands.empty()) {
    *error = Tr("download: give item names or --all, not both");
    return false;
  }
  if (!CheckConfigOptions(*options, info.takes_provider, error))
    return false;
  const std::size_t count = options->operands.size();
  if (count < info.min_operands) {
    *error = Subst(Tr("%1: missing %2"), {info.name, !info.missing.empty()   ? Tr(info.missing)
                                                     : info.name == "remove" ? "URL"
                                                                             : "URL..."});
    return false;
  }
  if (count > info.max_operands) {
    *error = Subst(Tr("%1: unexpected argument '%2'"),
                   {info.name, options->operands[info.max_operands]});
    return false;
  }
  if (options->just_downloaded && info.name != "files") {
    *error = Subst(Tr("--just-downloaded belongs to 'files', not to '%1'"), {options->command});
    return false;
  }
  if (info.name == "files" && !CheckFilesOperands(*options, error))
    return false;
  if (info.name == "help" && count == 1 && !IsCommand(options->operands[0])) {
    *error = Subst(Tr("help: unknown command '%1'"), {options->operands[0]});
    return false;
  }
  return true;
}

namespace {

// The options' part of every help, as CLI11 lays it out, then the notes.
// Help is laid out for a terminal of this many columns, the usual one.
constexpr std::size_t kHelpWidth = 80;
// The first column of a command or option list is at most this wide; a
// longer entry has its description on the next line.
constexpr std::size_t kHelpNameWidth = 28;

// The columns `text` takes on a terminal: its UTF-8 characters (a
// translation has letters of more than one byte).
std::size_t Columns(std::string_view text) {
  std::size_t columns = 0;
  for (char c : text)
    columns += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  return columns;
}

// `text` broken at blanks into lines of at most `width` characters (a word
// longer than that stands alone on its line).
std::vector<std::string> WrapWords(std::string_view text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = text.find_first_not_of(' ', at);
    if (start == std::string_view::npos)
      break;
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos)
      end = text.size();
    const std::string_view word = text.substr(start, end - start);
    if (!line.empty() && Columns(line) + 1 + Columns(word) > width) {
      lines.push_back(std::move(line));
      line.clear();
    }
    if (!line.empty())
      line += ' ';
    line += word;
    at = end;
  }
  if (!line.empty())
    lines.push_back(std::move(line));
  return lines;
}

// One entry of a two-column list: "  name  description", the description
// wrapped to kHelpWidth and aligned after a name column of `column`
// characters, or starting on a line of its own when the name is longer.
std::string HelpRow(std::string_view name, std::string_view description, std::size_t column) {
  const std::string indent(2 + column + 2, ' ');
  std::string text = "  " + std::string(name);
  const std::vector<std::string> lines = WrapWords(description, kHelpWidth - indent.size());
  if (name.size() > column) {
    text += '\n';
    for (const std::string& line : lines)
      text += indent + line + '\n';
    return text;
  }
  text += std::string(column - name.size() + 2, ' ');
  for (std::size_t i = 0; i < lines.size(); ++i)
    text += (i == 0 ? std::string() : indent) + lines[i] + '\n';
  if (lines.empty())
    text += '\n';
  return text;
}

std::string OptionsHelp() {
  const Parser parser;
  // Each group of options under its heading, in the order the parser
  // declares them; the positional words have no group and are not shown.
  std::vector<std::string> groups;
  std::vector<std::string> texts;
  for (const CLI::Option* option : parser.app.get_options()) {
    const std::string& group = option->get_group();
    if (group.empty())
      continue;
    auto found = std::find(groups.begin(), groups.end(), group);
    if (found == groups.end()) {
      groups.push_back(group);
      texts.emplace_back();
      found = groups.end() - 1;
    }
    std::string name = option->get_name(false, true);
    if (!option->get_type_name().empty())
      name += " " + option->get_type_name();
    texts[static_cast<std::size_t>(found - groups.begin())] +=
        HelpRow(name, option->get_description(), kHelpNameWidth);
  }
  std::string text;
  for (std::size_t i = 0; i < groups.size(); ++i)
    text += groups[i] + ":\n" + texts[i] + "\n";
  return text + Tr(kHelpNotes);
}

}  // namespace

std::string GeneralHelp() {
  std::string text =
      Tr("Usage: gantrell-cli COMMAND [OPTIONS] [ARGUMENTS]\n\n"
         "The console client of Gantrell: the same providers, settings and store\n"
         "as the windowed client, for servers, scripts and terminals. Every\n"
         "command first fetches the update lists that are due, and registers\n"
         "provider addresses handed over by other instances.\n\nCommands:\n");
  for (const CommandInfo& info : kCommands)
    text += HelpRow(info.usage, Tr(info.summary), kHelpNameWidth);
  text +=
      Tr("\n'gantrell-cli help COMMAND' or 'gantrell-cli COMMAND --help' describes\n"
         "a command.\n\n");
  return text + OptionsHelp();
}

bool CommandHelp(std::string_view command, std::string* text) {
  const CommandInfo* info = FindCommand(command);
  if (info == nullptr)
    return false;
  if (info->name == "help") {
    *text = GeneralHelp();
    return true;
  }
  *text = Subst(Tr("Usage: gantrell-cli %1 [OPTIONS]\n\n"), {info->usage}) + Tr(info->details) +
          "\n" + OptionsHelp();
  return true;
}

}  // namespace gantrell::cli
