#include "model/list_state.h"

#include <cstdio>

#include "model/number_scan.h"
#include "model/store_format.h"
#include "model/token_reader.h"
#include "platform/catalogue.h"

namespace gantrell {
namespace {

constexpr int kKeywordLimit = 20;
constexpr int kNameLimit = 256;
// A digest is 64 digits; anything up to this length is kept as it was read.
constexpr int kDigestLimit = 80;

void WriteDate(Time t, std::string* out) {
  int day = 1, month = 1, year = 1970;
  LocalDate(t, &day, &month, &year);
  char text[64];
  std::snprintf(text, sizeof text, "TIME %i %i %i ", year, month, day);
  *out += text;
}

bool HasDigests(const CProvider& provider) {
  for (int g = 0; g < provider.GetGroupCount(); ++g) {
    const CUpdateGroup& group = *provider.GetGroup(g);
    for (int i = 0; i < group.GetItemCount(); ++i) {
      if (!group.GetItem(i)->m_strSha256.empty())
        return true;
    }
  }
  return false;
}

// A store text of at most `limit` characters once its escapes are undone.
bool ReadText(CTokenReader& reader, std::string* text, int limit) {
  std::string token;
  if (!reader.ReadToken(&token, 2 * limit + 1))
    return false;
  *text = ReadQuoted(token);
  // Cut as the store cuts its texts, so that what is written back reads
  // back the same.
  if (text->size() > static_cast<std::size_t>(limit))
    text->resize(static_cast<std::size_t>(limit));
  return true;
}

bool ReadNumber(CTokenReader& reader, std::int32_t* value, bool* scanned) {
  std::string token;
  if (!reader.ReadToken(&token, kKeywordLimit))
    return false;
  *scanned = ScanInt(token, value);
  return true;
}

// After "LIST": the address and the date, "TIME y m d" or "NONE". *date is
// 0 for NONE and for a date that does not scan.
bool ReadListRecord(CTokenReader& reader, std::string* address, Time* date) {
  *date = 0;
  std::string keyword;
  if (!ReadText(reader, address, static_cast<int>(kStoredAddressLimit)) ||
      !reader.ReadToken(&keyword, kKeywordLimit))
    return false;
  if (keyword != "TIME")
    return true;
  std::int32_t parts[3] = {0, 0, 0};
  bool scanned = true;
  for (std::int32_t& part : parts) {
    std::string token;
    if (!reader.ReadToken(&token, kKeywordLimit))
      return false;
    scanned = ScanDecimalInt(token, &part) && scanned;
  }
  Time noon = 0;
  if (scanned && LocalNoon(parts[2], parts[1], parts[0], &noon))
    *date = noon;
  return true;
}

std::string IsoDate(Time t) {
  int day = 1, month = 1, year = 1970;
  LocalDate(t, &day, &month, &year);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

}  // namespace

std::string FormatListState(const ProviderList& providers) {
  std::string out;
  for (const auto& provider : providers) {
    if (provider->m_timeAcceptedListDate == 0 && !HasDigests(*provider))
      continue;
    out += "LIST ";
    WriteQuoted(provider->m_strAddress, &out);
    if (provider->m_timeAcceptedListDate != 0)
      WriteDate(provider->m_timeAcceptedListDate, &out);
    else
      out += "NONE ";
    for (int g = 0; g < provider->GetGroupCount(); ++g) {
      const CUpdateGroup& group = *provider->GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i) {
        const CUpdateItem& item = *group.GetItem(i);
        if (item.m_strSha256.empty())
          continue;
        out += "SHA256 ";
        WriteQuoted(group.m_strName, &out);
        WriteQuoted(item.m_strName, &out);
        out += std::to_string(item.m_nStamp) + " ";
        WriteQuoted(item.m_strSha256, &out);
      }
    }
  }
  out += "END ";
  return out;
}

bool ReadListState(CTokenReader& reader, ProviderList* providers) {
  // The provider the records since the last LIST belong to; none for an
  // address no provider has any more.
  CProvider* current = nullptr;
  std::string token;
  while (reader.ReadToken(&token, kKeywordLimit)) {
    if (reader.last_token_quoted())
      continue;
    if (token == "END")
      return true;
    if (token == "LIST") {
      std::string address;
      Time date = 0;
      if (!ReadListRecord(reader, &address, &date))
        return false;
      current = nullptr;
      for (const auto& provider : *providers) {
        if (provider->m_strAddress == address) {
          current = provider.get();
          break;
        }
      }
      if (current != nullptr)
        current->m_timeAcceptedListDate = date;
    } else if (token == "SHA256") {
      std::string group_name, item_name, digest;
      std::int32_t stamp = 0;
      bool scanned = false;
      if (!ReadText(reader, &group_name, kNameLimit) || !ReadText(reader, &item_name, kNameLimit) ||
          !ReadNumber(reader, &stamp, &scanned) || !ReadText(reader, &digest, kDigestLimit))
        return false;
      if (current == nullptr || !scanned || digest.empty())
        continue;
      const CUpdateGroup* group = current->FindGroup(group_name);
      CUpdateItem* item = group != nullptr ? group->FindItem(item_name) : nullptr;
      // An entry that changed since (an older client may have written the
      // store in between) has lost its digest.
      if (item != nullptr && item->m_nStamp == stamp)
        item->m_strSha256 = digest;
    }
  }
  return false;
}

std::string OlderListText(const CProvider& provider) {
  const std::string& name =
      provider.m_strKeyName.empty() ? provider.m_strAddress : provider.m_strKeyName;
  return Subst(
      Tr("The update list of %1 is older than the one already seen (%2 < %3); it was "
         "ignored."),
      {name, IsoDate(provider.m_timeRefusedListDate), IsoDate(provider.m_timeAcceptedListDate)});
}

}  // namespace gantrell
