// The configuration commands: what the configuration dialog and the
// save-location dialog offer, through the same session and move code.
#include "cli/config_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "app/client_app.h"
#include "app/config_session.h"
#include "app/file_manager_model.h"
#include "app/save_location_move.h"
#include "cli/console_frontend.h"
#include "model/size_text.h"
#include "platform/catalogue.h"

namespace gantrell::cli {
namespace {

const char* ScanText(int mode) {
  // The English word goes into --json documents; the console shows Tr of it.
  return mode == 0 ? TrNoop("off") : mode == 1 ? TrNoop("on") : TrNoop("mixed");
}

// The drop-down row of the provider whose address or name is `text`; -1
// after saying why when none or several are.
int FindProviderRow(CommandContext& context, const CConfigSession& session,
                    const std::string& text) {
  std::vector<int> rows;
  for (std::size_t r = 0; r < session.providers().size(); ++r) {
    const CProvider& provider = *session.providers()[r];
    if (provider.m_strAddress == text)
      return static_cast<int>(r);
    if (provider.m_strKeyName == text)
      rows.push_back(static_cast<int>(r));
  }
  if (rows.size() == 1)
    return rows[0];
  if (rows.empty()) {
    context.frontend.Note(Subst(
        Tr("No verified provider has the address or name '%1' ('gantrell-cli providers' lists "
           "them)."),
        {text}));
  } else {
    std::string note = Subst(Tr("More than one provider is named '%1'; give its address:"), {text});
    for (int row : rows)
      note += "\n  " + session.providers()[row]->m_strAddress;
    context.frontend.Note(note);
  }
  return -1;
}

void WriteItemMembers(JsonWriter& json, const CUpdateItem& item) {
  const CProvider& provider = *item.m_pGroup->m_pProvider;
  json.Member("item", item.m_strName)
      .Member("group", item.m_pGroup->m_strName)
      .Member("provider", provider.m_strKeyName)
      .Member("provider_address", provider.m_strAddress);
}

std::string ItemLabel(const CUpdateItem& item) {
  return Subst(Tr("%1 from %2"), {item.m_strName, item.m_pGroup->m_pProvider->m_strKeyName});
}

// Shows `item` in the session as a click on it would: its provider, its
// group and its row selected. False when the session does not list it.
bool ShowInSession(CConfigSession& session, const CUpdateItem& item) {
  const auto& providers = session.providers();
  const auto provider = std::find(providers.begin(), providers.end(), item.m_pGroup->m_pProvider);
  if (provider == providers.end())
    return false;
  session.SelectProvider(static_cast<int>(provider - providers.begin()));
  const auto& groups = session.groups();
  const auto group = std::find(groups.begin(), groups.end(), item.m_pGroup);
  if (group == groups.end())
    return false;
  session.SelectGroup(static_cast<int>(group - groups.begin()));
  const auto& items = session.items();
  const auto row = std::find(items.begin(), items.end(), &item);
  if (row == items.end())
    return false;
  const int index = static_cast<int>(row - items.begin());
  session.SelectItems({index}, index);
  return true;
}

}  // namespace

bool CheckConfigOptions(const CliOptions& options, bool takes_provider, std::string* error) {
  const std::string& command = options.command;
  if (options.to_default && command != "move") {
    *error = Subst(Tr("--default belongs to 'move', not to '%1'"), {command});
    return false;
  }
  if (!options.provider.empty() && !takes_provider && command != "download") {
    *error =
        Subst(Tr("--provider belongs to the commands that name items, not to '%1'"), {command});
    return false;
  }
  const std::size_t count = options.operands.size();
  if (command == "move" && count == 2 && options.to_default) {
    *error = Tr("move: give a PATH or --default, not both");
    return false;
  }
  if (command == "move" && count == 1 && !options.to_default) {
    *error = Tr("move: missing PATH (or --default)");
    return false;
  }
  if (command == "scan" && count >= 2 && options.operands.back() != "on" &&
      options.operands.back() != "off") {
    *error = Subst(Tr("scan: the last argument must be 'on' or 'off', not '%1'"),
                   {options.operands.back()});
    return false;
  }
  return true;
}

bool DispatchConfigCommand(CommandContext& context, int* status) {
  const std::string& command = context.options.command;
  int (*run)(CommandContext&) = command == "groups"     ? RunGroups
                                : command == "scan"     ? RunScan
                                : command == "select"   ? RunSelect
                                : command == "unselect" ? RunUnselect
                                : command == "ignore"   ? RunIgnore
                                : command == "move"     ? RunMove
                                                        : nullptr;
  if (run == nullptr)
    return false;
  *status = run(context);
  return true;
}

int RunGroups(CommandContext& context) {
  CClientApp& app = context.app;
  CConfigSession session(app);
  session.Open();
  std::vector<CProvider*> shown = session.providers();
  if (!context.options.operands.empty()) {
    const int row = FindProviderRow(context, session, context.options.operands[0]);
    if (row < 0) {
      session.RollBack();
      return kExitFailure;
    }
    shown = {session.providers()[row]};
  }
  // The session is only looked at: what it changed on opening goes back.
  session.RollBack();
  const std::vector<ItemKey> kept = ReadSelection(app);
  const ItemList pending = FillPendingList(app);
  auto selected = [&](const CUpdateItem& item) {
    const ItemKey key{item.m_pGroup->m_pProvider->m_strAddress, item.m_pGroup->m_strName,
                      item.m_strName};
    return std::find(pending.begin(), pending.end(), &item) != pending.end() ||
           std::any_of(kept.begin(), kept.end(), [&](const ItemKey& k) {
             return k.address == key.address && k.group == key.group && k.name == key.name;
           });
  };

  if (context.options.json)
    context.json.Key("providers").BeginArray();
  for (const CProvider* provider : shown) {
    if (context.options.json) {
      context.json.BeginObject()
          .Member("name", provider->m_strKeyName)
          .Member("address", provider->m_strAddress)
          .Member("scan", ScanText(provider->m_nScanMode))
          .Key("groups")
          .BeginArray();
    } else {
      std::printf("%s\n",
                  Subst(Tr("%1  %2  scan: %3"), {provider->m_strKeyName, provider->m_strAddress,
                                                 Tr(ScanText(provider->m_nScanMode))})
                      .c_str());
    }
    for (int g = 0; g < provider->GetGroupCount(); ++g) {
      const CUpdateGroup& group = *provider->GetGroup(g);
      std::vector<std::vector<std::string>> rows = {{"    " + Tr("ITEM"), Tr("SIZE"), Tr("DATE"),
                                                     Tr("NEW"), Tr("SELECTED"), Tr("SUITABLE"),
                                                     Tr("SAVED AT")}};
      if (context.options.json) {
        context.json.BeginObject()
            .Member("name", group.m_strName)
            .Member("scan", group.m_bScan != 0)
            .Key("items")
            .BeginArray();
      } else {
        std::printf("  %s\n", Subst(Tr("group %1  scan: %2"),
                                    {group.m_strName, group.m_bScan ? Tr("on") : Tr("off")})
                                  .c_str());
      }
      for (int i = 0; i < group.GetItemCount(); ++i) {
        const CUpdateItem& item = *group.GetItem(i);
        if (item.m_nOffered != 1)
          continue;
        const std::string path = app.EffectiveSavePath(item);
        const bool is_pending = app.IsItemPending(item);
        if (context.options.json) {
          context.json.BeginObject()
              .Member("item", item.m_strName)
              .Member("size", static_cast<std::int64_t>(item.m_nLength))
              .Member("size_text", FormatSizeText(item.m_nLength))
              .Member("date", DateText(item.m_strDate))
              .Member("pending", is_pending)
              .Member("selected", selected(item))
              .Member("suitable", IsSuitable(app, item))
              .Member("downloaded", item.m_nFileStamp != -1)
              .Member("save_path", path)
              .Member("custom_save_path", !item.m_strSavePath.empty())
              .EndObject();
        } else {
          rows.push_back({"    " + item.m_strName, TableSize(item.m_nLength),
                          DateText(item.m_strDate), is_pending ? Tr("yes") : Tr("no"),
                          selected(item) ? Tr("yes") : Tr("no"),
                          IsSuitable(app, item) ? Tr("yes") : Tr("no"),
                          path.empty() ? Tr("(no place)") : path});
        }
      }
      if (context.options.json)
        context.json.EndArray().EndObject();
      else if (rows.size() > 1)
        PrintTable(rows);
    }
    if (context.options.json)
      context.json.EndArray().EndObject();
  }
  if (context.options.json)
    context.json.EndArray();
  else if (shown.empty())
    std::printf("%s\n", Tr("No verified providers.").c_str());
  return kExitOk;
}

int RunScan(CommandContext& context) {
  const std::vector<std::string>& operands = context.options.operands;
  const bool on = operands.back() == "on";
  CConfigSession session(context.app);
  session.Open();
  const int row = FindProviderRow(context, session, operands[0]);
  if (row < 0) {
    session.RollBack();
    return kExitFailure;
  }
  CProvider& provider = *session.providers()[row];
  session.SelectProvider(row);
  std::string group_name;
  if (operands.size() == 3) {
    group_name = operands[1];
    const auto& groups = session.groups();
    const auto group = std::find_if(groups.begin(), groups.end(), [&](const CUpdateGroup* g) {
      return g->m_strName == group_name;
    });
    if (group == groups.end()) {
      context.frontend.Note(
          Subst(Tr("%1 has no group named '%2'."), {provider.m_strKeyName, group_name}));
      session.RollBack();
      return kExitFailure;
    }
    session.SelectGroup(static_cast<int>(group - groups.begin()));
    session.ClickGroupScan(on);
    // The group click leaves the provider's own state alone; showing the
    // provider again, as reopening the dialog would, gives it the state its
    // groups now have, so that a group switched on under a provider that
    // was off is scanned.
    session.SelectProvider(row);
  } else {
    session.ClickProviderScan(on ? 1 : 0);
  }
  session.Commit();

  if (context.options.json) {
    context.json.Key("scan")
        .BeginObject()
        .Member("provider", provider.m_strKeyName)
        .Member("provider_address", provider.m_strAddress)
        .Member("group", group_name)
        .Member("scan", on)
        .Member("provider_scan", ScanText(provider.m_nScanMode))
        .EndObject();
  } else if (group_name.empty()) {
    std::printf("%s\n", Subst(Tr("Scan %1 for updates: %2"),
                              {provider.m_strKeyName, on ? Tr("on") : Tr("off")})
                            .c_str());
  } else {
    std::printf("%s\n", Subst(Tr("Scan group %1 of %2 for updates: %3"),
                              {group_name, provider.m_strKeyName, on ? Tr("on") : Tr("off")})
                            .c_str());
  }
  return kExitOk;
}

int RunSelect(CommandContext& context) {
  CClientApp& app = context.app;
  ItemList items;
  if (!ResolveItems(context, context.options.operands, ItemUse::kChoose, &items))
    return kExitFailure;
  std::vector<ItemKey> kept = ReadSelection(app);
  int status = kExitOk;
  if (context.options.json)
    context.json.Key("selected").BeginArray();
  for (const ItemKey& key : KeysOf(items)) {
    CUpdateItem* item = FindItem(app, key);
    bool chosen = false;
    if (item != nullptr) {
      CConfigSession session(app);
      session.Open();
      if (ShowInSession(session, *item)) {
        // What the click chose, not what the provider's scan had selected.
        item->m_bSelected = false;
        session.AddToDownloadOnce();
      }
      // "Add to download once" may fetch the provider's list again, which
      // may drop the item: it is looked up anew.
      item = FindItem(app, key);
      chosen = item != nullptr && item->m_bSelected;
      // Only the item's selection is kept; scan states stay as they were.
      session.RollBack();
    }
    const bool known = std::any_of(kept.begin(), kept.end(), [&](const ItemKey& k) {
      return k.address == key.address && k.group == key.group && k.name == key.name;
    });
    if (chosen && !known)
      kept.push_back(key);
    if (!chosen)
      status = kExitFailure;
    if (context.options.json) {
      context.json.BeginObject()
          .Member("item", key.name)
          .Member("group", key.group)
          .Member("provider_address", key.address)
          .Member("selected", chosen)
          .EndObject();
    } else {
      std::printf("%s\n",
                  Subst(chosen ? Tr("Selected %1") : Tr("Not selected: %1"), {key.name}).c_str());
    }
  }
  if (context.options.json)
    context.json.EndArray();
  if (!WriteSelection(context, kept))
    status = kExitFailure;
  return status;
}

int RunUnselect(CommandContext& context) {
  CClientApp& app = context.app;
  ItemList items;
  if (!ResolveItems(context, context.options.operands, ItemUse::kChoose, &items))
    return kExitFailure;
  std::vector<ItemKey> kept = ReadSelection(app);
  if (context.options.json)
    context.json.Key("unselected").BeginArray();
  for (CUpdateItem* item : items) {
    const ItemKey key{item->m_pGroup->m_pProvider->m_strAddress, item->m_pGroup->m_strName,
                      item->m_strName};
    const bool was =
        std::erase_if(kept, [&](const ItemKey& k) {
          return k.address == key.address && k.group == key.group && k.name == key.name;
        }) > 0;
    item->m_bSelected = false;
    const bool still_new = app.IsItemPending(*item);
    if (context.options.json) {
      context.json.BeginObject();
      WriteItemMembers(context.json, *item);
      context.json.Member("was_selected", was).Member("still_new", still_new).EndObject();
    } else {
      std::printf("%s\n",
                  Subst(was ? Tr("Unselected %1") : Tr("Was not selected: %1"), {ItemLabel(*item)})
                      .c_str());
    }
    if (still_new) {
      context.frontend.Note(
          Subst(Tr("%1 is new and stays offered ('gantrell-cli ignore %1' stops offering it)."),
                {item->m_strName}));
    }
  }
  if (context.options.json)
    context.json.EndArray();
  return WriteSelection(context, kept) ? kExitOk : kExitFailure;
}

int RunIgnore(CommandContext& context) {
  CClientApp& app = context.app;
  ItemList items;
  if (!ResolveItems(context, context.options.operands, ItemUse::kChoose, &items))
    return kExitFailure;
  RemoveItems(app, items);
  std::vector<ItemKey> kept = ReadSelection(app);
  const std::size_t before = kept.size();
  for (const ItemKey& key : KeysOf(items)) {
    std::erase_if(kept, [&](const ItemKey& k) {
      return k.address == key.address && k.group == key.group && k.name == key.name;
    });
  }
  if (context.options.json)
    context.json.Key("ignored").BeginArray();
  for (const CUpdateItem* item : items) {
    if (context.options.json) {
      context.json.BeginObject();
      WriteItemMembers(context.json, *item);
      context.json.EndObject();
    } else {
      std::printf("%s\n", Subst(Tr("Ignored %1 until its provider publishes a new version."),
                                {ItemLabel(*item)})
                              .c_str());
    }
  }
  if (context.options.json)
    context.json.EndArray();
  if (kept.size() != before && !WriteSelection(context, kept))
    return kExitFailure;
  return kExitOk;
}

int RunMove(CommandContext& context) {
  CClientApp& app = context.app;
  ItemList items;
  if (!ResolveItems(context, {context.options.operands[0]}, ItemUse::kMove, &items))
    return kExitFailure;
  CUpdateItem& item = *items[0];
  // The path is made absolute (and a folder given its file name) where the
  // windowed client's dialog has it made too.
  const std::string path = context.options.to_default ? std::string() : context.options.operands[1];
  const MoveOutcome outcome = context.options.to_default ? SetSaveLocationToDefault(app, item)
                                                         : MoveSaveLocation(app, item, path);
  const std::string now = app.EffectiveSavePath(item);
  const bool ok = outcome == MoveOutcome::kDone || outcome == MoveOutcome::kUnchanged ||
                  outcome == MoveOutcome::kPathOnly;
  if (context.options.json) {
    context.json.Key("move").BeginObject();
    WriteItemMembers(context.json, item);
    context.json.Member("save_path", now)
        .Member("custom_save_path", !item.m_strSavePath.empty())
        .Member("file_moved", outcome == MoveOutcome::kDone)
        .Member("result", outcome == MoveOutcome::kDone || outcome == MoveOutcome::kPathOnly
                              ? "done"
                          : outcome == MoveOutcome::kUnchanged ? "unchanged"
                          : outcome == MoveOutcome::kDeclined  ? "declined"
                                                               : "failed")
        .EndObject();
  } else if (outcome == MoveOutcome::kUnchanged) {
    std::printf("%s\n", Subst(Tr("%1 is already saved at %2"), {item.m_strName, now}).c_str());
  } else if (outcome == MoveOutcome::kDone || outcome == MoveOutcome::kPathOnly) {
    std::printf("%s\n", Subst(outcome == MoveOutcome::kDone ? Tr("Moved %1 to %2")
                                                            : Tr("Will save %1 to %2"),
                              {item.m_strName, now})
                            .c_str());
  } else {
    context.frontend.Note(Tr("Nothing was moved."));
  }
  return ok ? kExitOk : kExitFailure;
}

}  // namespace gantrell::cli
