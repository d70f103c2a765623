// gantrell-cli: the console client. Parses the command line, runs the same
// start-up as the windowed client with the command in place of the main
// window, and turns the outcome into an exit status (and, with --json, one
// JSON document on standard output).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/address_check.h"
#include "app/client_app.h"
#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/console_frontend.h"
#include "gantrell_version.h"
#include "platform/catalogue.h"
#include "platform/console.h"
#include "platform/end_request_watch.h"
#include "platform/folders.h"
#include "platform/open_file.h"
#include "platform/process.h"
#include "platform/standard_folders.h"
#include "platform/system_registry.h"

namespace gantrell::cli {
namespace {

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return "information";
    case MessageIcon::kQuestion:
      return "question";
    case MessageIcon::kWarning:
      return "warning";
    case MessageIcon::kError:
      return "error";
  }
  return "information";
}

const char* StartupName(StartupResult result) {
  switch (result) {
    case StartupResult::kEnded:
      return "ended";
    case StartupResult::kFailed:
      return "failed";
    case StartupResult::kCancelled:
      return "cancelled";
    case StartupResult::kHandedOff:
      return "handed-off";
  }
  return "failed";
}

// Reports bad usage on standard error and, with --json, as a JSON document
// on standard output. Nothing has been done.
int UsageError(const CliOptions& options, const std::string& message) {
  const std::string pointer = HelpPointer(options);
  const std::string line = Subst(Tr("gantrell-cli: %1\nTry '%2'.\n"), {message, pointer});
  std::fputs(line.c_str(), stderr);
  if (options.json) {
    JsonWriter json;
    json.BeginObject()
        .Member("command", options.command == "help" ? "" : options.command)
        .Member("error", message)
        .Member("help", pointer)
        .Key("messages")
        .BeginArray()
        .BeginObject()
        .Member("text", message)
        .Member("icon", "error")
        .Member("own", true)
        .EndObject()
        .EndArray()
        .Member("exit_status", kExitUsage)
        .EndObject();
    std::printf("%s\n", json.text().c_str());
  }
  return kExitUsage;
}

// A folder the run needs that cannot be used is found before any network
// work, naming the variable or option that chose it. Empty when all is well.
std::string CheckEnvironment(const CliOptions& options) {
  if (!options.data_dir.empty() && KindOfPath(options.data_dir) == PathKind::kOther) {
    return Subst(Tr("--data-dir %1 is not a folder"), {options.data_dir});
  }
  if (std::string problem = RuntimeFolderProblem(); !problem.empty())
    return problem;
  return {};
}

// The addresses of "add" that can be registered, joined by " * "; the
// others are reported. *refused is set when any was refused.
std::string AcceptedAddresses(const CliOptions& options, bool* refused) {
  std::string joined;
  for (const std::string& address : options.operands) {
    const std::string problem = AddressProblem(address);
    if (!problem.empty()) {
      const std::string line =
          Subst(Tr("gantrell-cli add: refused '%1': %2\n"), {address, problem});
      std::fputs(line.c_str(), stderr);
      *refused = true;
      continue;
    }
    joined += (joined.empty() ? "" : " * ") + address;
  }
  return joined;
}

void WriteRegistrations(JsonWriter& json, const std::vector<Registration>& registrations) {
  json.Key("registrations").BeginArray();
  for (const Registration& registration : registrations) {
    json.BeginObject()
        .Member("address", registration.address)
        .Member("result", OutcomeText(registration.outcome))
        .Member("name", registration.name)
        .EndObject();
  }
  json.EndArray();
}

int Run(const std::vector<std::string>& args) {
  CliOptions options;
  std::string error;
  if (!ParseCliArguments(args, &options, &error)) {
    // Keep --json for the error document even when the parse stopped early.
    for (const std::string& arg : args) {
      if (arg == "--")
        break;
      options.json |= arg == "--json";
    }
    if (options.no_arguments) {
      std::fputs(Tr("Usage: gantrell-cli COMMAND [OPTIONS] [ARGUMENTS]\n"
                    "Try 'gantrell-cli --help' for the commands.\n")
                     .c_str(),
                 stderr);
      return kExitUsage;
    }
    return UsageError(options, error);
  }
  if (options.version) {
    std::printf("gantrell-cli %s\n", kVersion);  // untranslated
    return kExitOk;
  }
  if (options.command == "help" || options.help) {
    std::string text;
    const std::string topic = options.command == "help" && !options.operands.empty()
                                  ? options.operands[0]
                                  : options.command;
    CommandHelp(topic, &text);
    std::fputs(text.c_str(), stdout);
    return kExitOk;
  }

  // A malformed address is bad usage: nothing is registered, not even the
  // good ones given with it.
  std::string offered;
  if (options.command == "add") {
    bool refused = false;
    offered = AcceptedAddresses(options, &refused);
    if (refused)
      return UsageError(options, Tr("add: give absolute http:// or https:// folder addresses"));
  }
  if (const std::string problem = CheckEnvironment(options); !problem.empty()) {
    std::fputs(Subst(Tr("gantrell-cli: %1\n"), {problem}).c_str(), stderr);
    if (options.json) {
      JsonWriter json;
      json.BeginObject()
          .Member("command", options.command)
          .Member("error", problem)
          .Key("messages")
          .BeginArray()
          .BeginObject()
          .Member("text", problem)
          .Member("icon", "error")
          .Member("own", true)
          .EndObject()
          .EndArray()
          .Member("exit_status", kExitFailure)
          .EndObject();
      std::printf("%s\n", json.text().c_str());
    }
    return kExitFailure;
  }

  JsonWriter json;
  json.BeginObject().Member("command", options.command);

  const std::unique_ptr<Registry> system_registry = MakeSystemRegistry();
  Registry& registry = *system_registry;
  const std::unique_ptr<OsVersion> os_version = MakeSystemOsVersion(registry);
  CClientApp app(registry, *os_version);
  app.m_options.offline = options.offline;
  app.m_options.force_fetch = options.force;
  app.m_options.offered_providers = offered;
  if (options.timeout_seconds > 0) {
    const std::chrono::seconds timeout(options.timeout_seconds);
    app.m_options.http.connect_timeout =
        std::min<std::chrono::milliseconds>(app.m_options.http.connect_timeout, timeout);
    app.m_options.http.idle_timeout = timeout;
    app.m_options.http.request_timeout = timeout;
    app.m_options.http.low_speed_time = timeout;
  }
  if (!options.data_dir.empty()) {
    std::error_code fs_error;
    const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(options.data_dir), fs_error);
    app.m_options.data_folder = fs_error ? options.data_dir : Utf8FromPath(absolute.lexically_normal());
  }

  std::vector<Registration> registrations;
  ConsoleFrontend* frontend_ptr = nullptr;
  ConsoleFrontend frontend(options.answer, [&](CClientApp& running) {
    CommandContext context{running, *frontend_ptr, options, json, {}};
    const int status = RunCommand(context);
    registrations = std::move(context.registrations);
    return status;
  });
  frontend_ptr = &frontend;
  app.SetFrontend(&frontend);

  if (const std::string problems = registry.Diagnostics(); !problems.empty()) {
    frontend.Note(Subst(Tr("warning: the settings cannot be read: %1"), {problems}));
  }
  // A logout or a service manager stopping the run (SIGTERM), or the
  // terminal going away (SIGHUP), cancels what runs; the store is then
  // written as after any command.
  const std::unique_ptr<EndRequestWatch> end_watch =
      EndRequestWatch::Start([&app] { app.RequestEnd(); }, nullptr);
  const StartupResult result = app.InitInstance({});
  int status = kExitFailure;
  switch (result) {
    case StartupResult::kEnded: {
      status = frontend.command_ran() ? frontend.exit_status() : kExitOk;
      break;
    }
    case StartupResult::kFailed:
      break;
    case StartupResult::kCancelled:
      frontend.Note(Tr("Cancelled: nothing was changed."));
      break;
    case StartupResult::kHandedOff:
      // The running instance registers the addresses and shows the result
      // in its own window or terminal; this one cannot know it.
      if (options.command == "add") {
        frontend.Note(
            Tr("another Gantrell instance is running: the addresses were handed to it, and it "
               "will show whether they were set up"),
            MessageIcon::kWarning);
      } else {
        frontend.Note(Tr("another Gantrell instance is running; try again when it has finished"),
                      MessageIcon::kWarning);
      }
      status = kExitOtherInstance;
      break;
  }
  // A store that could not be written loses the run's changes.
  if (result == StartupResult::kEnded && frontend.command_ran() &&
      frontend.ErrorShownAfter(frontend.messages_at_command_end())) {
    status = kExitFailure;
  }

  if (options.json) {
    json.Member("startup", StartupName(result));
    WriteRegistrations(json, registrations);
    json.Key("messages").BeginArray();
    for (const ConsoleFrontend::Shown& shown : frontend.messages()) {
      json.BeginObject()
          .Member("text", shown.text)
          .Member("icon", IconName(shown.icon))
          .Member("own", shown.own)
          .EndObject();
    }
    json.EndArray().Member("exit_status", status).EndObject();
    std::printf("%s\n", json.text().c_str());
  }
  // Results that did not reach standard output are a failure.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const std::string line =
        Subst(Tr("gantrell-cli: cannot write the results to standard output: %1\n"),
              {std::strerror(errno)});
    std::fputs(line.c_str(), stderr);
    if (status == kExitOk)
      status = kExitFailure;
  }
  return status;
}

}  // namespace
}  // namespace gantrell::cli

int main(int argc, char** argv) {
  gantrell::InstallUserCatalogue("gantrell");
  gantrell::UseUtf8Console();
  const int status = gantrell::cli::Run(gantrell::ProgramArguments(argc, argv));
  // Help and usage texts are checked too.
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return status == gantrell::cli::kExitOk ? gantrell::cli::kExitFailure : status;
  return status;
}
