// The console's configuration commands (groups, scan, select, unselect,
// ignore, move): the choices of the configuration and save-location
// dialogs, made through the same session and move code. Also how items are
// named on the command line, and the selection that "select" keeps for the
// next "download" run.
#pragma once

#include <string>
#include <vector>

#include "app/main_window_model.h"
#include "cli/commands.h"

namespace gantrell::cli {

// Runs the command when it is one of the configuration commands; false
// (with *status untouched) for any other.
bool DispatchConfigCommand(CommandContext& context, int* status);

int RunGroups(CommandContext& context);
int RunScan(CommandContext& context);
int RunSelect(CommandContext& context);
int RunUnselect(CommandContext& context);
int RunIgnore(CommandContext& context);
int RunMove(CommandContext& context);

// What the named items are wanted for.
enum class ItemUse {
  kChoose,    // select, unselect, ignore: offered items
  kDownload,  // download: offered items; an unsuitable one only after Yes
  kMove,      // move: offered items and items whose file is on disk
};

// The items `names` name, among the items of verified providers from the
// client's own on, narrowed to the provider whose address (or name) is
// --provider. False, after saying why, when a name matches no item or
// several (the candidates are listed); nothing is then to be done. For
// kDownload an item whose condition does not hold is asked about and left
// out unless the answer is Yes.
bool ResolveItems(CommandContext& context, const std::vector<std::string>& names, ItemUse use,
                  ItemList* items);

// What "download" without names downloads: the new items, as the main
// window lists them, and the items "select" added.
ItemList SelectedForDownload(CommandContext& context);

// An item as the selection file keeps it, found again after a fetch.
struct ItemKey {
  std::string address;
  std::string group;
  std::string name;
};
std::vector<ItemKey> KeysOf(const ItemList& items);
CUpdateItem* FindItem(CClientApp& app, const ItemKey& key);

// After a download of `downloaded`: those the run downloaded (or that are
// gone) leave the kept selection.
void ForgetDownloaded(CommandContext& context, const std::vector<ItemKey>& downloaded);

// The kept selection: read from and written to "selected.dat" in the data
// folder. Writing reports a failure through the frontend and returns false.
std::vector<ItemKey> ReadSelection(CClientApp& app);
bool WriteSelection(CommandContext& context, const std::vector<ItemKey>& keys);

}  // namespace gantrell::cli
