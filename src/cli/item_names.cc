// Items named on the console's command line, and the selection that
// "select" keeps between runs.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "app/client_app.h"
#include "app/file_manager_model.h"
#include "cli/config_commands.h"
#include "cli/console_frontend.h"
#include "platform/atomic_file.h"
#include "platform/catalogue.h"
#include "platform/open_file.h"

namespace gantrell::cli {
namespace {

constexpr int kFirstListedProvider = 4;
constexpr const char* kSelectionFile = "selected.dat";
constexpr const char* kUnsuitableQuestion =
    TrNoop("This item is unsuitable for this machine.\n Do you really want to download it?");

bool SameKey(const ItemKey& a, const ItemKey& b) {
  return a.address == b.address && a.group == b.group && a.name == b.name;
}

ItemKey KeyOf(const CUpdateItem& item) {
  return {item.m_pGroup->m_pProvider->m_strAddress, item.m_pGroup->m_strName, item.m_strName};
}

// Each field is written as its length, ":" and its bytes, so names may
// hold blanks, tabs and line breaks.
void WriteField(std::ostringstream& out, const std::string& text) {
  out << text.size() << ':' << text;
}

bool ReadField(std::istream& in, std::string* text) {
  std::size_t size = 0;
  char colon = 0;
  if (!(in >> size) || !in.get(colon) || colon != ':' || size > 4096)
    return false;
  text->resize(size);
  return static_cast<bool>(in.read(text->data(), static_cast<std::streamsize>(size)));
}

std::string Candidate(const CUpdateItem& item) {
  const CProvider& provider = *item.m_pGroup->m_pProvider;
  return "  " +
         Subst(Tr("%1 from %2 (%3), group %4"), {item.m_strName, provider.m_strKeyName,
                                                 provider.m_strAddress, item.m_pGroup->m_strName});
}

}  // namespace

bool ResolveItems(CommandContext& context, const std::vector<std::string>& names, ItemUse use,
                  ItemList* items) {
  CClientApp& app = context.app;
  const std::string& wanted = context.options.provider;
  bool provider_known = wanted.empty();
  bool all_found = true;
  ItemList found_items;
  for (const std::string& name : names) {
    ItemList candidates;
    for (int p = kFirstListedProvider; p < app.GetProviderCount(); ++p) {
      CProvider& provider = *app.GetProvider(p);
      if (!provider.m_bVerified)
        continue;
      if (!wanted.empty() && provider.m_strAddress != wanted && provider.m_strKeyName != wanted)
        continue;
      provider_known = true;
      for (int g = 0; g < provider.GetGroupCount(); ++g) {
        CUpdateItem* item = provider.GetGroup(g)->FindItem(name);
        if (item != nullptr &&
            (item->m_nOffered == 1 || (use == ItemUse::kMove && item->m_nFileStamp != -1))) {
          candidates.push_back(item);
        }
      }
    }
    if (candidates.empty()) {
      context.frontend.Note(
          wanted.empty()
              ? Subst(Tr("No provider offers an item named '%1' ('gantrell-cli groups' shows them "
                         "all)."),
                      {name})
              : Subst(Tr("No provider offers an item named '%1' at %2 ('gantrell-cli groups' "
                         "shows them all)."),
                      {name, wanted}));
      all_found = false;
    } else if (candidates.size() > 1) {
      std::string text =
          Subst(Tr("More than one item is named '%1'; name its provider with --provider ADDRESS:"),
                {name});
      for (const CUpdateItem* item : candidates)
        text += "\n" + Candidate(*item);
      context.frontend.Note(text);
      all_found = false;
    } else if (std::find(found_items.begin(), found_items.end(), candidates[0]) ==
               found_items.end()) {
      found_items.push_back(candidates[0]);
    }
  }
  if (!provider_known)
    context.frontend.Note(Subst(Tr("No verified provider has the address '%1'."), {wanted}));
  if (!all_found)
    return false;
  for (CUpdateItem* item : found_items) {
    if (use == ItemUse::kDownload && !IsSuitable(app, *item) &&
        app.frontend()->ShowMessage(Tr(kUnsuitableQuestion), MessageIcon::kQuestion,
                                    MessageButtons::kYesNo) != MessageAnswer::kYes) {
      context.frontend.Note(Subst(Tr("%1 is not downloaded."), {item->m_strName}));
      continue;
    }
    items->push_back(item);
  }
  return true;
}

std::vector<ItemKey> KeysOf(const ItemList& items) {
  std::vector<ItemKey> keys;
  for (const CUpdateItem* item : items)
    keys.push_back(KeyOf(*item));
  return keys;
}

CUpdateItem* FindItem(CClientApp& app, const ItemKey& key) {
  for (int p = kFirstListedProvider; p < app.GetProviderCount(); ++p) {
    const CProvider& provider = *app.GetProvider(p);
    if (provider.m_strAddress != key.address)
      continue;
    if (const CUpdateGroup* group = provider.FindGroup(key.group))
      return group->FindItem(key.name);
  }
  return nullptr;
}

ItemList SelectedForDownload(CommandContext& context) {
  ItemList items = FillPendingList(context.app);
  for (const ItemKey& key : ReadSelection(context.app)) {
    CUpdateItem* item = FindItem(context.app, key);
    if (item == nullptr || item->m_nOffered != 1 || !item->m_pGroup->m_pProvider->m_bVerified)
      continue;
    if (std::find(items.begin(), items.end(), item) == items.end())
      items.push_back(item);
  }
  return items;
}

void ForgetDownloaded(CommandContext& context, const std::vector<ItemKey>& downloaded) {
  std::vector<ItemKey> kept = ReadSelection(context.app);
  const std::size_t before = kept.size();
  std::erase_if(kept, [&](const ItemKey& key) {
    const bool was_downloaded = std::any_of(downloaded.begin(), downloaded.end(),
                                            [&](const ItemKey& d) { return SameKey(d, key); });
    if (!was_downloaded)
      return false;
    const CUpdateItem* item = FindItem(context.app, key);
    return item == nullptr || !item->m_bSelected;
  });
  if (kept.size() != before)
    WriteSelection(context, kept);
}

std::vector<ItemKey> ReadSelection(CClientApp& app) {
  std::vector<ItemKey> keys;
  std::ifstream in(PathFromUtf8(app.DataFilePath(kSelectionFile)), std::ios::binary);
  ItemKey key;
  while (ReadField(in, &key.address) && ReadField(in, &key.group) && ReadField(in, &key.name))
    keys.push_back(key);
  return keys;
}

bool WriteSelection(CommandContext& context, const std::vector<ItemKey>& keys) {
  std::ostringstream out;
  for (const ItemKey& key : keys) {
    WriteField(out, key.address);
    WriteField(out, key.group);
    WriteField(out, key.name);
    out << '\n';
  }
  std::string error;
  if (!WriteFileAtomically(context.app.DataFilePath(kSelectionFile), out.str(), &error)) {
    context.app.Message(error, MessageIcon::kError);
    return false;
  }
  return true;
}

}  // namespace gantrell::cli
