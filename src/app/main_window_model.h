// What the main window does with the model, apart from drawing it: which
// items it lists, the count text, "Skip once", "Remove" and "Download
// Items". The windowed and the console clients share it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gantrell {

class CClientApp;
class CUpdateItem;

using ItemList = std::vector<CUpdateItem*>;

// The pending items of verified providers from index 4 on, in groups whose
// scan flag is 1: each listed item gets m_bSelected, every other item of
// those groups loses it.
ItemList FillPendingList(CClientApp& app);
// What FillPendingList would list, without touching the selection: how
// many items, and the names of their providers, each once, in list order.
struct PendingSummary {
  std::size_t items = 0;
  std::vector<std::string> providers;
};
PendingSummary SummarizePending(CClientApp& app);

// The selected items of providers from index 4 on.
ItemList FillFromSelection(CClientApp& app);

// "No new items to download.", "1 new item to download." or
// "N new items to download".
std::string CountText(std::size_t count);

// The texts of an item's size and date columns, as the console's list
// shows them: "512 B" under 1024 bytes, else FormatSizeText without its
// "Size: " ("3.0K", "2.0M"); the stored "day month year" as
// "YYYY-MM-DD" (a date that does not read so is shown as it is stored).
std::string ItemSizeText(std::int64_t bytes);
std::string ItemDateText(const std::string& stored);

// "Skip once": the items stay pending for the next run.
void SkipOnce(const ItemList& items);
// "Remove": the items' current stamps count as taken, and the store is
// written at once.
void RemoveItems(CClientApp& app, const ItemList& items);

// The addresses the main window registers when it opens, each followed by
// " * ": those offered at start-up (app.m_strPendingProviders, which is
// emptied) and those other instances handed over since start-up read
// "newprov", which the window reads once more here because a hand-off
// sent while this instance was still starting reached no window. No
// address comes twice. Every frontend calls this on the interface thread
// at the main window's initialisation, after its hand-off channel is
// open (so that no hand-off falls between the two), and passes the result
// to RegisterPendingProviders. In a run started with "-s" it returns
// nothing, and the addresses offered at start-up join "newprov".
std::string TakeHandedOffProviders(CClientApp& app);

// For a hand-off notice while the window is open: appends to *pending
// (addresses each followed by " * ") the addresses waiting in "newprov"
// that *pending does not hold yet. Any thread; *pending is the caller's to
// guard.
void ReceiveHandedOffProviders(CClientApp& app, std::string* pending);

// "Download Items" for the listed items: selects exactly those, fetches the
// providers whose lists were not parsed in this session, then runs the
// download dialog. Returns the dialog's result (1 when the run ended), or 2
// when nothing was downloaded: the list was empty, or the fetch or the
// download folder prompt was cancelled.
int DownloadListed(CClientApp& app, const ItemList& listed);

}  // namespace gantrell
