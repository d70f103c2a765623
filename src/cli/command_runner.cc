// The console's main window: hand-offs from other instances, the
// registration of offered addresses, and the choice of the command.
#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "cli/commands.h"
#include "cli/config_commands.h"
#include "cli/console_frontend.h"
#include "platform/catalogue.h"
#include "platform/single_instance.h"

namespace gantrell::cli {
namespace {

constexpr std::string_view kSeparator = " * ";
constexpr const char* kWindowTitle = "Gantrell";

// Addresses that later instances hand over while the command runs. The
// hand-off text is read as soon as the notice arrives; what it holds stays
// in "newprov" until its registration ends.
class HandOffInbox {
 public:
  explicit HandOffInbox(CClientApp& app) : m_app(app) {
    std::string error;
    m_listener = HandOffListener::Open(
        kWindowTitle, [this] { Receive(); }, &error);
  }

  // The text received since the last call, each address followed by " * ".
  std::string Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_received, {});
  }

 private:
  void Receive() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ReceiveHandedOffProviders(m_app, &m_received);
  }

  CClientApp& m_app;
  std::mutex m_mutex;
  std::string m_received;
  std::unique_ptr<HandOffListener> m_listener;  // last: stops before the rest goes
};

bool IsRegistered(const CClientApp& app, const std::string& address, std::string* name) {
  for (int i = 0; i < app.GetProviderCount(); ++i) {
    const CProvider& provider = *app.GetProvider(i);
    if (provider.m_strAddress == address) {
      *name = provider.m_strKeyName;
      return provider.m_bVerified;
    }
  }
  return false;
}

bool IsKnown(const CClientApp& app, const std::string& address) {
  for (int i = 0; i < app.GetProviderCount(); ++i) {
    if (app.GetProvider(i)->m_strAddress == address)
      return true;
  }
  return false;
}

// Registers every address in *pending and whatever the inbox receives
// meanwhile, each address once per run (*attempted). A cancelled
// registration ends the loop; false then.
bool RegisterAll(CommandContext& context, HandOffInbox& inbox, std::string* pending,
                 std::set<std::string>* attempted) {
  for (;;) {
    *pending += inbox.Take();
    const std::size_t at = pending->find(kSeparator);
    if (at == std::string::npos)
      break;
    const std::string address = pending->substr(0, at);
    pending->erase(0, at + kSeparator.size());
    // An empty address registers nothing; one tried in this run already (a
    // hand-off read again while it was registered) is not tried again.
    if (address.empty() || !attempted->insert(address).second)
      continue;
    Registration registration{address, Registration::Outcome::kKnown, {}};
    const bool known = IsKnown(context.app, address);
    if (!known)
      context.frontend.SetWaitPurpose(Subst(Tr("registering %1"), {address}));
    // The addresses given to "add" were typed by the user; every other one
    // came from a file or another instance and is asked about first.
    const bool typed = context.options.command == "add" &&
                       std::find(context.options.operands.begin(),
                                 context.options.operands.end(),
                                 address) != context.options.operands.end();
    int registered = 1;
    if (typed) {
      registered = context.app.RegisterProvider(address);
    } else {
      switch (context.app.OfferProvider(address)) {
        case OfferOutcome::kRegistered:
          break;
        case OfferOutcome::kCancelled:
          registered = 2;
          break;
        case OfferOutcome::kRefused:
          registration.outcome = Registration::Outcome::kRefused;
          break;
        case OfferOutcome::kDeclined:
          registration.outcome = Registration::Outcome::kDeclined;
          break;
        case OfferOutcome::kKept:
          registration.outcome = Registration::Outcome::kKept;
          break;
      }
    }
    context.frontend.SetWaitPurpose({});
    if (registration.outcome != Registration::Outcome::kKnown) {
      context.registrations.push_back(registration);
      continue;
    }
    if (registered == 2) {
      registration.outcome = Registration::Outcome::kCancelled;
      context.registrations.push_back(registration);
      pending->clear();
      return false;
    }
    const bool verified = IsRegistered(context.app, address, &registration.name);
    if (!verified) {
      registration.outcome = Registration::Outcome::kFailed;
    } else if (!known) {
      registration.outcome = Registration::Outcome::kAdded;
    }
    context.registrations.push_back(registration);
  }
  pending->clear();
  return true;
}

int Dispatch(CommandContext& context) {
  const std::string& command = context.options.command;
  if (command == "check")
    return RunCheck(context);
  if (command == "providers")
    return RunProviders(context);
  if (command == "add")
    return RunAdd(context);
  if (command == "remove")
    return RunRemove(context);
  if (command == "list")
    return RunList(context);
  if (command == "files")
    return RunFiles(context);
  if (command == "download")
    return RunDownload(context);
  if (int status; DispatchConfigCommand(context, &status))
    return status;
  return kExitUsage;
}

}  // namespace

int RunCommand(CommandContext& context) {
  // The channel opens before "newprov" is read again, so that a hand-off
  // comes in through one or the other.
  HandOffInbox inbox(context.app);
  std::string pending = TakeHandedOffProviders(context.app);
  std::set<std::string> attempted;
  const bool registered = RegisterAll(context, inbox, &pending, &attempted);

  // A registration cancelled with Ctrl-C stops the run; "add" still says
  // what became of each address.
  if (!registered && context.options.command != "add")
    return kExitFailure;
  int status = Dispatch(context);
  // Addresses handed over while the command ran are registered before the
  // store is written.
  if (!RegisterAll(context, inbox, &pending, &attempted))
    status = kExitFailure;
  // A provider that could not be fetched is a failure of every command,
  // said once, in one line.
  if (ReportUnfetched(context) && status == kExitOk)
    status = kExitFailure;
  return status;
}

bool ReportUnfetched(CommandContext& context) {
  const CClientApp& app = context.app;
  std::string line;
  int count = 0;
  if (context.options.json)
    context.json.Key("not_fetched").BeginArray();
  for (int i = 0; i < app.GetProviderCount(); ++i) {
    const std::string problem = FetchProblem(app, i);
    if (problem.empty())
      continue;
    ++count;
    line += (line.empty() ? "" : "; ") + ProviderLabel(app, i) + ": " + problem;
    if (context.options.json) {
      const CProvider& provider = *app.GetProvider(i);
      context.json.BeginObject()
          .Member("address", provider.m_strAddress)
          .Member("name", provider.m_strKeyName)
          .Member("status", provider.m_nFetchStatus)
          .Member("status_text", FetchStatusText(app, i, false))
          .Member("reason", problem)
          .EndObject();
    }
  }
  if (context.options.json)
    context.json.EndArray();
  if (count > 0) {
    context.frontend.Note(Subst(TrN("%1 provider could not be fetched: %2",
                                    "%1 providers could not be fetched: %2", count),
                                {std::to_string(count), line}),
                          MessageIcon::kWarning);
  }
  return count > 0;
}

std::string OutcomeText(Registration::Outcome outcome) {
  switch (outcome) {
    case Registration::Outcome::kAdded:
      return "added";
    case Registration::Outcome::kKnown:
      return "already registered";
    case Registration::Outcome::kFailed:
      return "not set up";
    case Registration::Outcome::kCancelled:
      return "cancelled";
    case Registration::Outcome::kRefused:
      return "refused";
    case Registration::Outcome::kDeclined:
      return "declined";
    case Registration::Outcome::kKept:
      return "kept for a later start";
  }
  return "unknown";
}

}  // namespace gantrell::cli
