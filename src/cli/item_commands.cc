// The commands about items: list, download.
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "cli/commands.h"
#include "cli/config_commands.h"
#include "cli/console_frontend.h"
#include "model/size_text.h"
#include "platform/catalogue.h"

namespace gantrell::cli {
namespace {

constexpr int kFirstListedProvider = 4;
constexpr std::int32_t kNoStamp = -2;  // no "TIME" published yet

const CProvider& ProviderOf(const CUpdateItem& item) {
  return *item.m_pGroup->m_pProvider;
}

template <typename Visit>
void ForEachListedItem(CClientApp& app, Visit visit) {
  for (int p = kFirstListedProvider; p < app.GetProviderCount(); ++p) {
    CProvider& provider = *app.GetProvider(p);
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      CUpdateGroup& group = *provider.GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i)
        visit(provider, *group.GetItem(i));
    }
  }
}

void WriteItem(JsonWriter& json, const CUpdateItem& item) {
  json.Member("item", item.m_strName)
      .Member("group", item.m_pGroup->m_strName)
      .Member("provider", ProviderOf(item).m_strKeyName)
      .Member("provider_address", ProviderOf(item).m_strAddress);
}

// The items named on the command line, from verified providers; false
// (after saying which) when a name matches none or several. An unsuitable
// item is downloaded only after Yes.
bool FindNamedItems(CommandContext& context, ItemList* items) {
  return ResolveItems(context, context.options.operands, ItemUse::kDownload, items);
}

}  // namespace

int RunList(CommandContext& context) {
  const ItemList items = FillPendingList(context.app);
  if (context.options.json) {
    context.json.Key("items").BeginArray();
    for (const CUpdateItem* item : items) {
      context.json.BeginObject();
      WriteItem(context.json, *item);
      context.json.Member("size", static_cast<std::int64_t>(item->m_nLength))
          .Member("size_text", FormatSizeText(item->m_nLength))
          .Member("date", DateText(item->m_strDate))
          .Member("description", item->m_strDescription)
          .EndObject();
    }
    context.json.EndArray().Member("count_text", CountText(items.size()));
    return kExitOk;
  }
  if (!items.empty()) {
    std::vector<std::vector<std::string>> rows = {
        {Tr("ITEM"), Tr("PROVIDER"), Tr("SIZE"), Tr("DATE")}};
    for (const CUpdateItem* item : items) {
      rows.push_back({item->m_strName, ProviderOf(*item).m_strKeyName, TableSize(item->m_nLength),
                      DateText(item->m_strDate)});
    }
    PrintTable(rows);
  }
  std::printf("%s\n", CountText(items.size()).c_str());
  return kExitOk;
}

int RunDownload(CommandContext& context) {
  CClientApp& app = context.app;
  ItemList items;
  if (context.options.all) {
    ForEachListedItem(app, [&](CProvider& provider, CUpdateItem& item) {
      if (provider.m_bVerified && item.m_nOffered == 1 && item.m_nStamp != kNoStamp) {
        items.push_back(&item);
      }
    });
  } else if (!context.options.operands.empty()) {
    // A misspelt name downloads nothing rather than part of what was asked.
    if (!FindNamedItems(context, &items))
      return kExitFailure;
  } else {
    items = SelectedForDownload(context);
  }
  const std::vector<ItemKey> keys = KeysOf(items);

  bool cancelled = false;
  if (!items.empty()) {
    std::int64_t total = 0;
    for (const CUpdateItem* item : items)
      total += item->m_nLength;
    context.frontend.Note(
        Subst(TrN("Downloading %1 item (%2)", "Downloading %1 items (%2)", items.size()),
              {std::to_string(items.size()), TableSize(total)}));
    // The lists of providers not fetched in this run are fetched before
    // their items are downloaded; the wait line says so.
    std::set<const CProvider*> unfetched;
    for (const CUpdateItem* item : items) {
      if (ProviderOf(*item).m_bListParsed == 0)
        unfetched.insert(&ProviderOf(*item));
    }
    if (!unfetched.empty()) {
      context.frontend.SetWaitPurpose(
          Subst(TrN("fetching the lists of %1 provider before downloading",
                    "fetching the lists of %1 providers before downloading", unfetched.size()),
                {std::to_string(unfetched.size())}));
    }
    // The fetch before the download may prune items, so the list is not
    // looked at again afterwards: what stays selected is what failed.
    const int ran = DownloadListed(app, items);
    context.frontend.SetWaitPurpose({});
    if (ran != 1) {
      context.frontend.Note(Tr("Cancelled: nothing was downloaded."));
      cancelled = true;
    } else {
      cancelled = context.frontend.last_download_cancelled();
    }
    ForgetDownloaded(context, keys);
  }
  const std::vector<std::string> written = context.frontend.last_written();
  const ItemList failed = items.empty() ? ItemList{} : FillFromSelection(app);

  if (context.options.json) {
    context.json.Key("written").BeginArray();
    for (const std::string& path : written)
      context.json.String(path);
    context.json.EndArray().Key("not_downloaded").BeginArray();
    for (const CUpdateItem* item : failed) {
      context.json.BeginObject();
      WriteItem(context.json, *item);
      context.json.EndObject();
    }
    context.json.EndArray().Member("cancelled", cancelled);
  } else if (items.empty()) {
    std::printf("%s\n", CountText(0).c_str());
  } else {
    if (!written.empty())
      std::printf("%s\n", Tr("Files written:").c_str());
    for (const std::string& path : written)
      std::printf("  %s\n", path.c_str());
    if (!failed.empty())
      std::printf("%s\n", Tr("Not downloaded:").c_str());
    for (const CUpdateItem* item : failed) {
      std::printf(
          "  %s\n",
          Subst(Tr("%1 from %2"), {item->m_strName, ProviderOf(*item).m_strKeyName}).c_str());
    }
  }
  return failed.empty() && !cancelled ? kExitOk : kExitFailure;
}

}  // namespace gantrell::cli
