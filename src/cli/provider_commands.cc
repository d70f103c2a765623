// The commands about providers: check, providers, add, remove.
#include <cstdio>
#include <ctime>
#include <map>
#include <sstream>

#include "app/address_check.h"
#include "app/client_app.h"
#include "app/main_window_model.h"
#include "cli/commands.h"
#include "cli/console_frontend.h"
#include "model/built_in_providers.h"
#include "model/list_state.h"
#include "model/pruning.h"
#include "model/size_text.h"
#include "net/signature.h"
#include "platform/catalogue.h"

namespace gantrell::cli {
namespace {

constexpr int kDue = 1;  // the fetcher's mark of a provider it fetched
constexpr int kFirstUserProvider = 5;
constexpr int kFirstListedProvider = 4;  // entries before it publish keys only
constexpr const char* kRoles[kBuiltInProviderCount] = {
    TrNoop("authority entry master"), TrNoop("authority entry signone"),
    TrNoop("authority entry signtwo"), TrNoop("authority entry signthree"),
    TrNoop("Gantrell's own updates")};

bool Fetched(const CProvider& provider) {
  return provider.m_nVerifyState == kDue;
}

const char* KeyKindName(KeyKind kind) {
  switch (kind) {
    case KeyKind::kRsa:
      return "rsa";
    case KeyKind::kEd25519:
      return "ed25519";
    case KeyKind::kNone:
      break;
  }
  return "";
}

// The key the provider's signatures are checked with: "Ed25519",
// "RSA 2048 / SHA-1", or "-" when it has none.
std::string KeyColumn(const CProvider& provider) {
  const std::string text = KeyDescription(provider.PublicKeyKind(), provider.PublicKeyBits());
  return text.empty() ? "-" : text;
}

const char* FailureName(HttpFailure failure) {
  switch (failure) {
    case HttpFailure::kNone:
      return "";
    case HttpFailure::kRefused:
      return "refused";
    case HttpFailure::kHostNotFound:
      return "host-not-found";
    case HttpFailure::kTimedOut:
      return "timed-out";
    case HttpFailure::kTls:
      return "tls";
    case HttpFailure::kCertificate:
      return "certificate";
    case HttpFailure::kInsecureRedirect:
      return "insecure-redirect";
    case HttpFailure::kOther:
      return "other";
  }
  return "other";
}

std::string DateTimeText(Time time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr)
    return std::to_string(time);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

// Pending items per provider.
std::map<const CProvider*, std::int64_t> PendingByProvider(CClientApp& app) {
  std::map<const CProvider*, std::int64_t> counts;
  for (const CUpdateItem* item : FillPendingList(app))
    ++counts[item->m_pGroup->m_pProvider];
  return counts;
}

void WriteProvider(JsonWriter& json, const CClientApp& app, int index, bool offline,
                   const std::int64_t* pending) {
  const CProvider& provider = *app.GetProvider(index);
  const TransferOutcome& last = provider.m_lastTransfer;
  json.BeginObject()
      .Member("address", provider.m_strAddress)
      .Member("name", provider.m_strKeyName)
      .Member("built_in", index < kBuiltInProviderCount)
      .Member("verified", provider.m_bVerified)
      .Member("key", KeyDescription(provider.PublicKeyKind(), provider.PublicKeyBits()))
      .Member("key_kind", KeyKindName(provider.PublicKeyKind()))
      .Member("key_bits", static_cast<std::int64_t>(provider.PublicKeyBits()))
      .Member("fetched", Fetched(provider))
      .Member("failed", FetchFailed(app, index))
      .Member("status", Fetched(provider) ? provider.m_nFetchStatus : -1)
      .Member("status_text", FetchStatusText(app, index, offline))
      .Member("reason", FetchProblem(app, index))
      .Member("next_check", static_cast<std::int64_t>(provider.m_timeNextCheck))
      .Member("next_check_text", DateTimeText(provider.m_timeNextCheck));
  if (pending != nullptr)
    json.Member("new_items", *pending);
  if (Fetched(provider) && !last.url.empty()) {
    json.Key("last_transfer")
        .BeginObject()
        .Member("url", last.url)
        .Member("http_status", last.http.status)
        .Member("transport_error", FailureName(last.http.failure))
        .Member("error", last.http.error)
        .Member("failed", last.Failed())
        .EndObject();
  } else {
    json.Key("last_transfer").Null();
  }
  json.EndObject();
}

// The provider table of "check" and "providers"; the exit status.
int ShowProviders(CommandContext& context, bool with_count) {
  const CClientApp& app = context.app;
  const bool offline = context.options.offline;
  bool any_failed = false;
  for (int i = 0; i < app.GetProviderCount(); ++i)
    any_failed |= FetchFailed(app, i);
  const std::size_t pending = with_count ? FillPendingList(context.app).size() : 0;
  std::map<const CProvider*, std::int64_t> per_provider;
  if (with_count)
    per_provider = PendingByProvider(context.app);
  const std::string count = CountText(pending);
  if (context.options.json) {
    context.json.Key("providers").BeginArray();
    for (int i = 0; i < app.GetProviderCount(); ++i) {
      const std::int64_t news = per_provider[app.GetProvider(i)];
      WriteProvider(context.json, app, i, offline, with_count ? &news : nullptr);
    }
    context.json.EndArray();
    if (with_count) {
      context.json.Member("pending", static_cast<std::int64_t>(pending))
          .Member("count_text", count);
    }
  } else {
    std::vector<std::vector<std::string>> rows;
    if (with_count) {
      rows.push_back({Tr("ADDRESS"), Tr("NAME"), Tr("VERIFIED"), Tr("NEW"), Tr("STATUS")});
    } else {
      rows.push_back({Tr("ADDRESS"), Tr("NAME"), Tr("VERIFIED"), Tr("KEY"), Tr("STATUS")});
    }
    for (int i = 0; i < app.GetProviderCount(); ++i) {
      const CProvider& provider = *app.GetProvider(i);
      std::vector<std::string> row = {provider.m_strAddress, ProviderLabel(app, i),
                                      provider.m_bVerified ? Tr("yes") : Tr("no")};
      if (with_count)
        row.push_back(i < kFirstListedProvider ? "-" : std::to_string(per_provider[&provider]));
      else
        row.push_back(KeyColumn(provider));
      row.push_back(FetchStatusText(app, i, offline));
      rows.push_back(std::move(row));
    }
    PrintTable(rows);
    if (with_count)
      std::printf("%s\n", count.c_str());
  }
  return any_failed ? kExitFailure : kExitOk;
}

}  // namespace

bool FetchFailed(const CClientApp& app, int index) {
  return !FetchProblem(app, index).empty();
}

std::string TransferReason(const TransferOutcome& outcome) {
  const HttpOutcome& http = outcome.http;
  switch (http.failure) {
    case HttpFailure::kRefused:
      return Subst(Tr("%1: the connection was refused"), {outcome.url});
    case HttpFailure::kHostNotFound:
      return Subst(Tr("%1: the server's name is not known"), {outcome.url});
    case HttpFailure::kTimedOut:
      return Subst(Tr("%1: timed out waiting for the server"), {outcome.url});
    case HttpFailure::kTls:
      return http.error.empty() ? Subst(Tr("%1: the secure connection (TLS) failed"), {outcome.url})
                                : Subst(Tr("%1: the secure connection (TLS) failed (%2)"),
                                        {outcome.url, http.error});
    case HttpFailure::kCertificate:
      return outcome.url + ": " +
             (http.error.empty() ? Tr("the server's certificate is not trusted") : http.error);
    case HttpFailure::kInsecureRedirect:
      return outcome.url + ": " +
             (http.error.empty() ? Tr("a redirect to an address that is not https was refused")
                                 : http.error);
    case HttpFailure::kOther:
      return outcome.url + ": " + (http.error.empty() ? Tr("the transfer failed") : http.error);
    case HttpFailure::kNone:
      break;
  }
  if (http.status >= 400)
    return Subst(Tr("%1 answered %2"), {outcome.url, HttpStatusText(http.status)});
  return {};
}

std::string HttpStatusText(int status) {
  static const std::map<int, const char*> kReasons = {{400, "Bad Request"},
                                                      {401, "Unauthorized"},
                                                      {403, "Forbidden"},
                                                      {404, "Not Found"},
                                                      {405, "Method Not Allowed"},
                                                      {408, "Request Timeout"},
                                                      {410, "Gone"},
                                                      {429, "Too Many Requests"},
                                                      {500, "Internal Server Error"},
                                                      {501, "Not Implemented"},
                                                      {502, "Bad Gateway"},
                                                      {503, "Service Unavailable"},
                                                      {504, "Gateway Timeout"}};
  const auto found = kReasons.find(status);
  return std::to_string(status) + (found != kReasons.end() ? std::string(" ") + found->second : "");
}

std::string FetchProblem(const CClientApp& app, int index) {
  const CProvider& provider = *app.GetProvider(index);
  if (!Fetched(provider))
    return {};
  if (provider.m_nFetchStatus == 1 || provider.m_nFetchStatus == 2)
    return Tr("the fetch did not finish");
  const std::string reason = TransferReason(provider.m_lastTransfer);
  if (!reason.empty())
    return reason;
  if (index < kAuthorityEntryCount && provider.m_nFetchStatus == 0 && !provider.HasPublicKey())
    return Subst(Tr("%1 holds no key record"), {provider.m_lastTransfer.url});
  if (provider.m_nFetchStatus != 0) {
    std::string text = FetchStatusText(app, index, false);
    const std::string failed = Tr("failed: %1");
    const std::string prefix = failed.substr(0, failed.find("%1"));
    return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
  }
  return {};
}

std::string ProviderLabel(const CClientApp& app, int index) {
  const CProvider& provider = *app.GetProvider(index);
  if (!provider.m_strKeyName.empty())
    return provider.m_strKeyName;
  if (index < kBuiltInProviderCount)
    return Subst(Tr("(%1)"), {Tr(kRoles[index])});
  return Tr("(no name)");
}

std::string FetchStatusText(const CClientApp& app, int index, bool offline) {
  const CProvider& provider = *app.GetProvider(index);
  if (!Fetched(provider)) {
    if (offline)
      return Tr("not checked (offline)");
    return Subst(Tr("not due (next check %1)"), {DateTimeText(provider.m_timeNextCheck)});
  }
  // What the transfers saw explains a failure better than the code.
  if (const std::string reason = TransferReason(provider.m_lastTransfer); !reason.empty()) {
    if (index < kAuthorityEntryCount && !provider.HasPublicKey())
      return Subst(Tr("no key: %1"), {reason});
    return Subst(Tr("failed: %1"), {reason});
  }
  if (index < kAuthorityEntryCount && provider.m_nFetchStatus == 0 && !provider.HasPublicKey())
    return Subst(Tr("no key: %1"),
                 {Subst(Tr("%1 holds no key record"), {provider.m_lastTransfer.url})});
  // Codes 9 to 11 mean one thing before the update list verified and
  // another in the licence checks that follow it.
  const bool list_verified = provider.m_bTransferFlag;
  switch (provider.m_nFetchStatus) {
    case 0:
      if (index < kAuthorityEntryCount)
        return Tr("key checked");
      return list_verified ? Tr("update list verified") : Tr("checked");
    case 1:
    case 2:
      return Tr("unfinished");
    case 5:
      return Tr("failed: its new key is not proven by a chain of signatures");
    case 6:
      return Tr("failed: its key chain has more than nine links");
    case 7:
      return Tr("failed: public.dat is not a key record");
    case 9:
      return list_verified ? Tr("failed: the licence signature does not verify")
                           : Tr("failed: the update list signature does not verify");
    case 10:
      return list_verified
                 ? Tr("failed: key not valid (made in the future, or licensed by a wrong entry)")
                 : Tr("failed: cannot connect to the server");
    case 11:
      return list_verified ? Tr("failed: the licensing authority has no key")
                           : Tr("failed: reading from the server failed");
    case 12:
      return Tr("failed: closing the connection failed");
    case 13:
      // A replayed older list: the provider keeps what it had.
      return OlderListText(provider);
    default:
      return Subst(Tr("failed: %1"),
                   {Subst(Tr("error %1"), {std::to_string(provider.m_nFetchStatus)})});
  }
}

std::string DateText(const std::string& stored) {
  std::istringstream in(stored);
  int day = 0, month = 0, year = 0;
  if (!(in >> day >> month >> year))
    return stored;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

std::string TableSize(std::int64_t bytes) {
  if (bytes >= 0 && bytes < 1024)
    return std::to_string(bytes) + " B";
  std::string text = FormatSizeText(bytes);
  const std::string label = Tr("Size: %1K");
  const std::string_view kLabel = std::string_view(label).substr(0, label.find("%1"));
  if (text.rfind(kLabel, 0) == 0)
    text.erase(0, kLabel.size());
  return text;
}

void PrintTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    if (widths.size() < row.size())
      widths.resize(row.size(), 0);
    for (std::size_t c = 0; c < row.size(); ++c)
      widths[c] = std::max(widths[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size())
        line += std::string(widths[c] - row[c].size() + 2, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    std::printf("%s\n", line.c_str());
  }
}

int RunCheck(CommandContext& context) {
  return ShowProviders(context, true);
}

int RunProviders(CommandContext& context) {
  return ShowProviders(context, false);
}

int RunAdd(CommandContext& context) {
  int status = kExitOk;
  struct Failed {
    std::string address, result, reason;
  };
  std::vector<Failed> failed;
  if (context.options.json)
    context.json.Key("added").BeginArray();
  for (const std::string& address : context.options.operands) {
    // Addresses refused before start-up have no registration.
    const Registration* found = nullptr;
    for (const Registration& registration : context.registrations) {
      if (registration.address == address)
        found = &registration;
    }
    const std::string result = found ? OutcomeText(found->outcome) : "refused";
    const bool ok = found != nullptr && (found->outcome == Registration::Outcome::kAdded ||
                                         found->outcome == Registration::Outcome::kKnown);
    if (!ok) {
      status = kExitFailure;
      // A refused address was reported before start-up, a failed one by
      // the registration itself.
      failed.push_back(
          {address, result,
           found ? context.frontend.RegistrationProblem(address) : AddressProblem(address)});
      continue;
    }
    if (found->outcome == Registration::Outcome::kKnown)
      context.frontend.Note(Subst(Tr("%1 is already registered (%2)."), {address, found->name}));
    if (context.options.json) {
      context.json.BeginObject()
          .Member("address", address)
          .Member("result", result)
          .Member("name", found->name)
          .EndObject();
    }
  }
  if (context.options.json) {
    context.json.EndArray().Key("failed").BeginArray();
    for (const Failed& entry : failed) {
      context.json.BeginObject()
          .Member("address", entry.address)
          .Member("result", entry.result)
          .Member("reason", entry.reason)
          .EndObject();
    }
    context.json.EndArray();
  }
  return status;
}

int RunRemove(CommandContext& context) {
  CClientApp& app = context.app;
  const std::string& address = context.options.operands[0];
  int index = -1;
  for (int i = 0; i < app.GetProviderCount(); ++i) {
    if (app.GetProvider(i)->m_strAddress == address)
      index = i;
  }
  if (index < 0) {
    context.frontend.Note(Subst(
        Tr("No provider has the address '%1' ('gantrell-cli providers' lists them)."), {address}));
    return kExitFailure;
  }
  if (index < kFirstUserProvider) {
    app.Message(Tr("This provider cannot be deleted."), MessageIcon::kInformation);
    return kExitFailure;
  }
  CProvider& provider = *app.GetProvider(index);
  const std::string name = provider.m_strKeyName;
  const MessageAnswer answer = app.frontend()->ShowMessage(
      Subst(Tr("This will permenantly remove the provider \n\"%1\" from your update list. \n Do "
               "you really want to remove this provider?"),
            {name}),
      MessageIcon::kQuestion, MessageButtons::kYesNo);
  if (answer != MessageAnswer::kYes) {
    context.frontend.Note(Tr("Nothing was removed."));
    if (context.options.json)
      context.json.Key("removed").Null();
    return kExitFailure;
  }

  int files = 0;
  for (int g = 0; g < provider.GetGroupCount(); ++g) {
    const CUpdateGroup& group = *provider.GetGroup(g);
    for (int i = 0; i < group.GetItemCount(); ++i)
      files += group.GetItem(i)->m_nFileStamp != -1;
  }
  RemoveDownloadedFiles(provider,
                        [&app](const CUpdateItem& item) { return app.ExistingItemSavePath(item); });
  app.m_providers.erase(app.m_providers.begin() + index);

  if (context.options.json) {
    context.json.Key("removed")
        .BeginObject()
        .Member("address", address)
        .Member("name", name)
        .Member("files_deleted", files)
        .EndObject();
  } else {
    std::printf("%s\n", Subst(TrN("Removed %1 (%2) and %3 downloaded file.",
                                  "Removed %1 (%2) and %3 downloaded files.", files),
                              {name, address, std::to_string(files)})
                            .c_str());
  }
  return kExitOk;
}

}  // namespace gantrell::cli
