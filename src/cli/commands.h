// The console client's commands. Each runs in place of the main window,
// after the start-up sequence (store loaded, due lists fetched, revocations
// applied, keys checked) and before the store is written back. A command
// prints its result on standard output, or adds its members to the JSON
// document with --json, and returns the exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/json_writer.h"

#include "model/provider.h"

namespace gantrell {
class CClientApp;
}  // namespace gantrell

namespace gantrell::cli {

class ConsoleFrontend;

// What became of one address offered for registration.
struct Registration {
  // kRefused, kDeclined and kKept only for addresses offered from outside:
  // not a provider address, the user said No, or nobody could answer.
  enum class Outcome { kAdded, kKnown, kFailed, kCancelled, kRefused, kDeclined, kKept };
  std::string address;
  Outcome outcome;
  std::string name;  // the provider's name when it is registered
};

struct CommandContext {
  CClientApp& app;
  ConsoleFrontend& frontend;
  const CliOptions& options;
  JsonWriter& json;  // the open result object
  // Every address registered in this run: those given to "add" and those
  // handed over by other instances.
  std::vector<Registration> registrations;
};

// The main window of the console: registers the addresses handed over
// (at start-up and, while the command runs, by later instances), then runs
// the command.
int RunCommand(CommandContext& context);

// Says in one line on standard error (and under "not_fetched" with --json)
// which providers this run could not fetch, and why; true when any.
bool ReportUnfetched(CommandContext& context);

int RunCheck(CommandContext& context);
int RunProviders(CommandContext& context);
int RunAdd(CommandContext& context);
int RunRemove(CommandContext& context);
int RunList(CommandContext& context);
int RunFiles(CommandContext& context);
int RunDownload(CommandContext& context);

// What this run's fetch did with the provider at `index`, in words.
std::string FetchStatusText(const CClientApp& app, int index, bool offline);
// Whether this run's fetch tried the provider and failed: a failure code,
// a transfer that failed or answered with an HTTP error, or an authority
// entry left without a key.
bool FetchFailed(const CClientApp& app, int index);
// Why this run's fetch of the provider failed, in words ("http://…/public.dat
// answered 404 Not Found"); empty when it was not fetched or succeeded.
std::string FetchProblem(const CClientApp& app, int index);
// Why a transfer failed, naming its address; empty when it did not.
std::string TransferReason(const TransferOutcome& outcome);
// "404 Not Found".
std::string HttpStatusText(int status);
// The provider's name, or its role when it publishes none.
std::string ProviderLabel(const CClientApp& app, int index);
std::string OutcomeText(Registration::Outcome outcome);

// An item's size for a table: the size text without its "Size: " label,
// or the exact bytes ("512 B") under 1 KiB.
std::string TableSize(std::int64_t bytes);

// "2004-02-29" for an item's stored date "29 2 2004"; the stored text
// when it holds no date.
std::string DateText(const std::string& stored);

// Prints rows as columns separated by two blanks on standard output; the
// last column is not padded.
void PrintTable(const std::vector<std::vector<std::string>>& rows);

}  // namespace gantrell::cli
