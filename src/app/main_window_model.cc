#include "app/main_window_model.h"

#include <cstdio>
#include <sstream>
#include <string_view>
#include <utility>

#include "app/client_app.h"
#include "app/hand_off.h"
#include "model/size_text.h"
#include "net/download_job.h"
#include "platform/catalogue.h"

namespace gantrell {
namespace {

constexpr int kFirstListedProvider = 4;

template <typename Visit>
void ForEachItem(CClientApp& app, Visit visit) {
  for (int p = kFirstListedProvider; p < app.GetProviderCount(); ++p) {
    CProvider& provider = *app.GetProvider(p);
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      CUpdateGroup& group = *provider.GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i)
        visit(provider, group, *group.GetItem(i));
    }
  }
}

// Adds `address` and " * " to the pending text unless it waits there
// already.
void AppendPending(std::string* pending, const std::string& address) {
  if (HoldsAddress(*pending, address))
    return;
  *pending += address;
  *pending += kAddressSeparator;
}

}  // namespace

ItemList FillPendingList(CClientApp& app) {
  ItemList listed;
  ForEachItem(app, [&](CProvider& provider, CUpdateGroup& group, CUpdateItem& item) {
    if (!provider.m_bVerified || group.m_bScan != 1)
      return;
    item.m_bSelected = false;
    if (app.IsItemPending(item)) {
      listed.push_back(&item);
      item.m_bSelected = true;
    }
  });
  return listed;
}

PendingSummary SummarizePending(CClientApp& app) {
  PendingSummary summary;
  const CProvider* last = nullptr;
  ForEachItem(app, [&](CProvider& provider, CUpdateGroup& group, CUpdateItem& item) {
    if (!provider.m_bVerified || group.m_bScan != 1 || !app.IsItemPending(item))
      return;
    ++summary.items;
    if (&provider != last)
      summary.providers.push_back(provider.m_strKeyName);
    last = &provider;
  });
  return summary;
}

ItemList FillFromSelection(CClientApp& app) {
  ItemList listed;
  ForEachItem(app, [&](CProvider&, CUpdateGroup&, CUpdateItem& item) {
    if (item.m_bSelected)
      listed.push_back(&item);
  });
  return listed;
}

std::string ItemSizeText(std::int64_t bytes) {
  if (bytes >= 0 && bytes < 1024)
    return std::to_string(bytes) + " B";
  std::string text = FormatSizeText(bytes);
  // The label of FormatSizeText, in the language it used.
  const std::string label = Tr("Size: %1K");
  const std::string_view kLabel = std::string_view(label).substr(0, label.find("%1"));
  if (text.rfind(kLabel, 0) == 0)
    text.erase(0, kLabel.size());
  return text;
}

std::string ItemDateText(const std::string& stored) {
  std::istringstream in(stored);
  int day = 0, month = 0, year = 0;
  if (!(in >> day >> month >> year))
    return stored;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

std::string CountText(std::size_t count) {
  if (count == 0)
    return Tr("No new items to download.");
  // The English plural has no full stop, as it always had.
  return Subst(TrN("%1 new item to download.", "%1 new items to download", count),
               {std::to_string(count)});
}

void SkipOnce(const ItemList& items) {
  for (CUpdateItem* item : items)
    item->m_bSelected = false;
}

void RemoveItems(CClientApp& app, const ItemList& items) {
  for (CUpdateItem* item : items) {
    item->m_bSelected = false;
    item->m_nTakenStamp = item->m_nStamp;
  }
  if (!items.empty())
    app.SaveChanges();
}

std::string TakeHandedOffProviders(CClientApp& app) {
  std::string pending;
  // A text of two characters or fewer offers no address, as at hand-off.
  const std::string offered = std::exchange(app.m_strPendingProviders, {});
  if (app.m_bStartedSilent) {
    // A run the timer started has nobody waiting for its questions: what
    // was offered waits in "newprov" for a start by the user (or for the
    // next hand-off, which a user's action sends).
    if (offered.size() > 2)
      AddHandedOffAddresses(app.profile(), offered, nullptr);
    return pending;
  }
  if (offered.size() > 2) {
    for (const std::string& address : SplitAddresses(offered))
      AppendPending(&pending, address);
  }
  ReceiveHandedOffProviders(app, &pending);
  return pending;
}

void ReceiveHandedOffProviders(CClientApp& app, std::string* pending) {
  for (const std::string& address : SplitAddresses(ReadHandedOffAddresses(app.profile())))
    AppendPending(pending, address);
}

int DownloadListed(CClientApp& app, const ItemList& listed) {
  ForEachItem(app, [](CProvider&, CUpdateGroup&, CUpdateItem& item) { item.m_bSelected = false; });
  for (CUpdateItem* item : listed)
    item->m_bSelected = true;
  // Nothing listed, nothing to do: no fetch, no download dialog.
  if (listed.empty())
    return 2;

  bool fetch_needed = false;
  for (int p = kFirstListedProvider; p < app.GetProviderCount(); ++p) {
    CProvider& provider = *app.GetProvider(p);
    bool selected = false;
    for (int g = 0; g < provider.GetGroupCount() && !selected; ++g) {
      const CUpdateGroup& group = *provider.GetGroup(g);
      for (int i = 0; i < group.GetItemCount() && !selected; ++i) {
        selected = group.GetItem(i)->m_bSelected;
      }
    }
    if (selected && provider.m_bListParsed == 0) {
      provider.m_nVerifyState = 4;
      fetch_needed = true;
    }
  }
  if (fetch_needed && app.FetchProvider(-1) != 1)
    return 2;
  return app.RunDownloads();
}

}  // namespace gantrell
