// gantrell-cli: the console client. Parses the command line, runs the same
// start-up as the windowed client with the command in place of the main
// window, and turns the outcome into an exit status (and, with --json, one
// JSON document on standard output).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/client_app.h"
#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/console_frontend.h"
#include "gantrell_version.h"
#include "platform/os_version_registry.h"
#include "platform/registry_file.h"

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

int UsageError(const std::string& message) {
  std::fprintf(stderr, "gantrell-cli: %s\nTry 'gantrell-cli --help'.\n", message.c_str());
  return kExitUsage;
}

// The addresses of "add" that can be registered, joined by " * "; the
// others are reported. *refused is set when any was refused.
std::string AcceptedAddresses(const CliOptions& options, bool* refused) {
  std::string joined;
  for (const std::string& address : options.operands) {
    const std::string problem = CheckAddressArgument(address);
    if (!problem.empty()) {
      std::fprintf(stderr, "gantrell-cli add: refused '%s': %s\n", address.c_str(),
                   problem.c_str());
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
  if (!ParseCliArguments(args, &options, &error))
    return UsageError(error);
  if (options.command == "help" || options.help) {
    std::string text;
    const std::string topic = options.command == "help" && !options.operands.empty()
                                  ? options.operands[0]
                                  : options.command;
    CommandHelp(topic, &text);
    std::fputs(text.c_str(), stdout);
    return kExitOk;
  }

  JsonWriter json;
  json.BeginObject().Member("command", options.command);
  bool refused = false;
  std::string offered;
  if (options.command == "add") {
    offered = AcceptedAddresses(options, &refused);
    if (offered.empty()) {
      // Nothing to register: no start-up, nothing touched.
      if (options.json) {
        json.Member("startup", "not-run").Key("registrations").BeginArray().EndArray();
        json.Key("messages").BeginArray().EndArray().Member("exit_status", kExitFailure);
        std::printf("%s\n", json.EndObject().text().c_str());
      }
      return kExitFailure;
    }
  }

  FileRegistry registry;
  RegistryOsVersion os_version(registry);
  CClientApp app(registry, os_version);
  app.m_options.offline = options.offline;
  app.m_options.force_fetch = options.force;
  app.m_options.offered_providers = offered;
  if (!options.data_dir.empty()) {
    std::error_code fs_error;
    const std::filesystem::path absolute = std::filesystem::absolute(options.data_dir, fs_error);
    app.m_options.data_folder = fs_error ? options.data_dir : absolute.lexically_normal().string();
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
    frontend.Note("warning: the settings cannot be read: " + problems);
  }
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
      frontend.Note("Cancelled: nothing was changed.");
      break;
    case StartupResult::kHandedOff:
      if (options.command == "add") {
        frontend.Note(
            "Another Gantrell instance is running: the addresses were handed to it "
            "(or wait for its next start).");
        status = kExitOk;
      } else {
        frontend.Note("Another Gantrell instance is running; try again when it has finished.");
      }
      break;
  }
  // A store that could not be written loses the run's changes.
  if (result == StartupResult::kEnded && frontend.command_ran() &&
      frontend.ErrorShownAfter(frontend.messages_at_command_end())) {
    status = kExitFailure;
  }
  if (refused)
    status = kExitFailure;

  if (options.json) {
    json.Member("startup", StartupName(result));
    WriteRegistrations(json, registrations);
    json.Key("messages").BeginArray();
    for (const ConsoleFrontend::Shown& shown : frontend.messages()) {
      json.BeginObject()
          .Member("text", shown.text)
          .Member("icon", IconName(shown.icon))
          .EndObject();
    }
    json.EndArray().Member("exit_status", status).EndObject();
    std::printf("%s\n", json.text().c_str());
  }
  return status;
}

}  // namespace
}  // namespace gantrell::cli

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("gantrell-cli %s\n", gantrell::kVersion);
    return 0;
  }
  return gantrell::cli::Run(std::vector<std::string>(argv + 1, argv + argc));
}
