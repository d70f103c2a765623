// The commands about providers: check, providers, add, remove.
#include <cstdio>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "cli/commands.h"
#include "cli/console_frontend.h"
#include "model/built_in_providers.h"
#include "model/pruning.h"

namespace gantrell::cli {
namespace {

constexpr int kDue = 1;  // the fetcher's mark of a provider it fetched
constexpr int kFirstUserProvider = 5;
constexpr const char* kRoles[kBuiltInProviderCount] = {
    "authority entry master", "authority entry signone", "authority entry signtwo",
    "authority entry signthree", "Gantrell's own updates"};

bool Fetched(const CProvider& provider) {
  return provider.m_nVerifyState == kDue;
}

void WriteProvider(JsonWriter& json, const CClientApp& app, int index, bool offline) {
  const CProvider& provider = *app.GetProvider(index);
  json.BeginObject()
      .Member("address", provider.m_strAddress)
      .Member("name", provider.m_strKeyName)
      .Member("built_in", index < kBuiltInProviderCount)
      .Member("verified", provider.m_bVerified)
      .Member("fetched", Fetched(provider))
      .Member("status", Fetched(provider) ? provider.m_nFetchStatus : -1)
      .Member("status_text", FetchStatusText(app, index, offline))
      .EndObject();
}

// The provider table of "check" and "providers"; the exit status.
int ShowProviders(CommandContext& context, bool with_count) {
  const CClientApp& app = context.app;
  const bool offline = context.options.offline;
  bool any_failed = false;
  for (int i = 0; i < app.GetProviderCount(); ++i)
    any_failed |= FetchFailed(*app.GetProvider(i));
  const std::size_t pending = with_count ? FillPendingList(context.app).size() : 0;
  const std::string count = CountText(pending);
  if (context.options.json) {
    context.json.Key("providers").BeginArray();
    for (int i = 0; i < app.GetProviderCount(); ++i)
      WriteProvider(context.json, app, i, offline);
    context.json.EndArray();
    if (with_count) {
      context.json.Member("pending", static_cast<std::int64_t>(pending))
          .Member("count_text", count);
    }
  } else {
    std::vector<std::vector<std::string>> rows = {{"ADDRESS", "NAME", "VERIFIED", "STATUS"}};
    for (int i = 0; i < app.GetProviderCount(); ++i) {
      const CProvider& provider = *app.GetProvider(i);
      rows.push_back({provider.m_strAddress, ProviderLabel(app, i),
                      provider.m_bVerified ? "yes" : "no", FetchStatusText(app, i, offline)});
    }
    PrintTable(rows);
    if (with_count)
      std::printf("%s\n", count.c_str());
  }
  return any_failed ? kExitFailure : kExitOk;
}

}  // namespace

bool FetchFailed(const CProvider& provider) {
  return Fetched(provider) && provider.m_nFetchStatus != 0;
}

std::string ProviderLabel(const CClientApp& app, int index) {
  const CProvider& provider = *app.GetProvider(index);
  if (!provider.m_strKeyName.empty())
    return provider.m_strKeyName;
  if (index < kBuiltInProviderCount)
    return std::string("(") + kRoles[index] + ")";
  return "(no name)";
}

std::string FetchStatusText(const CClientApp& app, int index, bool offline) {
  const CProvider& provider = *app.GetProvider(index);
  if (!Fetched(provider)) {
    if (offline)
      return "not checked (offline)";
    return "not due";
  }
  // Codes 9 to 11 mean one thing before the update list verified and
  // another in the licence checks that follow it.
  const bool list_verified = provider.m_bTransferFlag;
  switch (provider.m_nFetchStatus) {
    case 0:
      if (index < kAuthorityEntryCount)
        return "key checked";
      return list_verified ? "update list verified" : "checked";
    case 1:
    case 2:
      return "unfinished";
    case 5:
      return "failed: its new key is not proven by a chain of signatures";
    case 6:
      return "failed: its key chain has more than nine links";
    case 7:
      return "failed: public.dat is not a key record";
    case 9:
      return list_verified ? "failed: the licence signature does not verify"
                           : "failed: the update list signature does not verify";
    case 10:
      return list_verified
                 ? "failed: key not valid (made in the future, or licensed by a wrong entry)"
                 : "failed: cannot connect to the server";
    case 11:
      return list_verified ? "failed: the licensing authority has no key"
                           : "failed: reading from the server failed";
    case 12:
      return "failed: closing the connection failed";
    default:
      return "failed: error " + std::to_string(provider.m_nFetchStatus);
  }
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
  std::vector<std::vector<std::string>> rows;
  if (context.options.json)
    context.json.Key("added").BeginArray();
  for (const std::string& address : context.options.operands) {
    // Addresses refused before start-up have no registration.
    const Registration* found = nullptr;
    for (const Registration& registration : context.registrations) {
      if (registration.address == address)
        found = &registration;
    }
    std::string result = found ? OutcomeText(found->outcome) : "refused";
    const bool ok = found != nullptr && (found->outcome == Registration::Outcome::kAdded ||
                                         found->outcome == Registration::Outcome::kKnown);
    if (!ok)
      status = kExitFailure;
    if (context.options.json) {
      context.json.BeginObject()
          .Member("address", address)
          .Member("result", result)
          .Member("name", found ? found->name : "")
          .Member("ok", ok)
          .EndObject();
    } else {
      rows.push_back({address, result, found ? found->name : ""});
    }
  }
  if (context.options.json) {
    context.json.EndArray();
  } else {
    PrintTable(rows);
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
    context.frontend.Note("No provider has the address '" + address +
                          "' ('gantrell-cli providers' lists them).");
    return kExitFailure;
  }
  if (index < kFirstUserProvider) {
    app.Message("This provider cannot be deleted.", MessageIcon::kInformation);
    return kExitFailure;
  }
  CProvider& provider = *app.GetProvider(index);
  const std::string name = provider.m_strKeyName;
  const MessageAnswer answer = app.frontend()->ShowMessage(
      "This will permenantly remove the provider \n\"" + name +
          "\" from your update list. \n Do you really want to remove this provider?",
      MessageIcon::kQuestion, MessageButtons::kYesNo);
  if (answer != MessageAnswer::kYes) {
    context.frontend.Note("Nothing was removed.");
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
    std::printf("Removed %s (%s) and %d downloaded file%s.\n", name.c_str(), address.c_str(), files,
                files == 1 ? "" : "s");
  }
  return kExitOk;
}

}  // namespace gantrell::cli
