#include "site_control.h"

#include <filesystem>
#include <memory>

#include "conditions/condition.h"
#include "model/provider.h"
#include "model/token_reader.h"
#include "platform/open_file.h"
#include "tool_files.h"

namespace gantrell::publish {

namespace {

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// A header date: one quoted token "day month year".
std::string HeaderDate(const CivilDate& date) {
  return Quoted(std::to_string(date.day) + " " + std::to_string(date.month) + " " +
                std::to_string(date.year));
}

// An item date: one bare token "day/month/year"; clients show it with the
// slashes turned into blanks.
std::string ItemDate(const CivilDate& date) {
  return std::to_string(date.day) + "/" + std::to_string(date.month) + "/" +
         std::to_string(date.year);
}

std::string ShownItemDate(const CivilDate& date) {
  return std::to_string(date.day) + " " + std::to_string(date.month) + " " +
         std::to_string(date.year);
}

std::unique_ptr<CCondition> ReadCondition(const std::string& text) {
  CStringTokenReader reader(text);
  std::string kind;
  if (!reader.ReadToken(&kind, 15))
    return nullptr;
  std::unique_ptr<CCondition> condition = CreateCondition(kind);
  if (condition != nullptr)
    condition->Parse(reader);
  return condition;
}

bool SameItem(const CUpdateItem& read, const ManifestItem& item, const ItemFacts& facts) {
  if (read.m_nNumber != item.number || read.m_strLocation != item.location ||
      read.m_strDescription != item.description || read.m_nLength != facts.length ||
      read.m_nStamp != facts.stamp || read.m_strDate != ShownItemDate(facts.date) ||
      read.m_strSha256 != facts.sha256) {
    return false;
  }
  if (item.condition.empty())
    return read.m_pCondition == nullptr;
  const std::unique_ptr<CCondition> expected = ReadCondition(item.condition);
  return read.m_pCondition != nullptr && expected != nullptr &&
         ConditionsEqual(*read.m_pCondition, *expected);
}

}  // namespace

std::int32_t ContentStamp(std::string_view bytes) {
  // 64-bit FNV-1a: quick, and spreads any change over every bit.
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  const auto stamp = static_cast<std::int32_t>((hash ^ (hash >> 32)) & 0x7fffffff);
  return stamp == 0 ? 1 : stamp;
}

std::string MakeControlText(const SiteManifest& manifest, const CivilDate& list_date,
                            const CivilDate& key_made, const SiteFacts& facts) {
  std::string text = "TCHK " + std::to_string(manifest.check_interval) + " " +
                     HeaderDate(list_date) + " KMADE " + HeaderDate(key_made) + " ID " +
                     std::to_string(manifest.key_id) + " KEYNAME " + Quoted(manifest.name);
  for (std::size_t g = 0; g < manifest.groups.size(); ++g) {
    const ManifestGroup& group = manifest.groups[g];
    text += " GRP " + Quoted(group.name);
    for (std::size_t i = 0; i < group.items.size(); ++i) {
      const ManifestItem& item = group.items[i];
      const ItemFacts& fact = facts[g][i];
      text += " FILE " + Quoted(item.name) + " DESC " + Quoted(item.description) + " NUMB " +
              std::to_string(item.number) + " LOCN " + Quoted(item.location) + " UPD " +
              ItemDate(fact.date) + " LEN " + std::to_string(fact.length) + " TIME " +
              std::to_string(fact.stamp);
      if (!fact.sha256.empty())
        text += " SHA256 " + fact.sha256;
      if (!item.condition.empty())
        text += " COND " + item.condition;
    }
    text += " END";
  }
  text += " END";
  return text;
}

bool CheckControlText(const std::string& text, const SiteManifest& manifest, const SiteFacts& facts,
                      std::string* error) {
  CProvider provider;
  std::string copy = text;
  if (!provider.ParseControlFile(copy, ControlFileContext{})) {
    *error = "the control file does not parse";
    return false;
  }
  if (provider.m_strKeyName != manifest.name ||
      provider.m_nCheckInterval != manifest.check_interval ||
      provider.m_nKeyId != manifest.key_id) {
    *error = "the control file's header does not read back as written";
    return false;
  }
  if (provider.GetGroupCount() != static_cast<int>(manifest.groups.size())) {
    *error = "the control file does not read back with its groups";
    return false;
  }
  for (std::size_t g = 0; g < manifest.groups.size(); ++g) {
    const ManifestGroup& group = manifest.groups[g];
    const CUpdateGroup* read = provider.GetGroup(static_cast<int>(g));
    if (read == nullptr || read->m_strName != group.name ||
        read->GetItemCount() != static_cast<int>(group.items.size())) {
      *error = "group \"" + group.name + "\" does not read back as written";
      return false;
    }
    for (std::size_t i = 0; i < group.items.size(); ++i) {
      const ManifestItem& item = group.items[i];
      const CUpdateItem* read_item = read->FindItem(item.name);
      if (read_item == nullptr || !SameItem(*read_item, item, facts[g][i])) {
        *error = "item \"" + item.name + "\" does not read back as written";
        return false;
      }
    }
  }
  return true;
}

bool PublishedKeyDate(const std::string& folder, const Bytes& key_record, CivilDate* date) {
  const std::filesystem::path base = PathFromUtf8(folder);
  std::string text;
  std::string signature;
  std::string error;
  if (!ReadWholeFile(Utf8FromPath(base / "control.txt"), &text, &error, kMaxControlLength) ||
      !ReadWholeFile(Utf8FromPath(base / "control.sig"), &signature, &error, kMaxRecordLength)) {
    return false;
  }
  CProvider provider;
  provider.SetPublicKey(key_record.data(), static_cast<int>(key_record.size()));
  provider.BeginDigest();
  provider.AddToDigest(text);
  const Bytes record = ToBytes(signature);
  if (!provider.VerifySignature(record.data(), static_cast<int>(record.size())))
    return false;
  provider.ParseControlFile(text, ControlFileContext{});
  if (provider.m_bListParsed == 0 || provider.m_timeKeyMade == 0)
    return false;
  return LocalDate(provider.m_timeKeyMade, &date->day, &date->month, &date->year);
}

}  // namespace gantrell::publish
