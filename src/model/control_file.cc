// Parsing a provider's control file (control.txt) into its groups and items.
#include <cmath>
#include <cstdio>
#include <limits>

#include "conditions/condition.h"
#include "model/number_scan.h"
#include "model/provider.h"
#include "model/pruning.h"
#include "model/token_reader.h"
#include "platform/file_move.h"

namespace gantrell {
namespace {

constexpr int kKeywordLimit = 20;
constexpr int kItemKeywordLimit = 15;
constexpr int kNameLimit = 256;
constexpr int kDescriptionLimit = 512;
constexpr int kItemDateLimit = 40;
constexpr int kHeaderSearchTokens = 7;
constexpr std::int32_t kIntervalWrap = 65536;
constexpr std::size_t kSha256HexLength = 64;
// Long enough to tell a digest of 64 digits from a longer token.
constexpr int kDigestLimit = 80;

// Reads one token and tells whether it is exactly `keyword`.
bool Expect(CTokenReader& reader, const char* keyword, int limit) {
  std::string token;
  return reader.ReadToken(&token, limit) && token == keyword;
}

// A quoted "day month year" date as the local time of that day at noon.
// Returns false only at the end of the input; a date that does not scan
// leaves *field alone.
bool ReadDate(CTokenReader& reader, Time* field) {
  std::string token;
  if (!reader.ReadToken(&token, kKeywordLimit))
    return false;
  std::int32_t day, month, year;
  Time t;
  if (ScanDateNumbers(token, &day, &month, &year) && LocalNoon(day, month, year, &t))
    *field = t;
  return true;
}

bool ReadNumber(CTokenReader& reader, int limit, std::int32_t* field) {
  std::string token;
  if (!reader.ReadToken(&token, limit))
    return false;
  ScanInt(token, field);
  return true;
}

// Deletes the item's downloaded file when its location changes, since the
// file would otherwise stay behind where nothing points to it any more.
// Called while the item still holds its old number and location, which give
// the old file's default path.
void ForgetMovedFile(CUpdateItem* item, const std::string& new_location,
                     const ControlFileContext& context) {
  if (new_location == item->m_strLocation || item->m_nFileStamp <= 0)
    return;
  // The file goes with its part files and the folders made for its old
  // location, as when it is removed for any other reason.
  RemoveDownloadedFile(*item, context.default_save_path);
  item->m_strSavePath.clear();
}

// Moves the item's downloaded file into the folder of its new number when
// only the number changes, so that the record and the file stay together.
// When it cannot follow (no place for it, something in the way), the file
// goes and the record says so: the item is offered again. Called while the
// item still holds its old number.
void FollowNewNumber(CUpdateItem* item, std::int32_t number, const std::string& new_location,
                     const ControlFileContext& context) {
  if (number == item->m_nNumber || new_location != item->m_strLocation ||
      item->m_nFileStamp == -1 || !item->m_strSavePath.empty()) {
    return;
  }
  const std::string old_path = context.default_save_path ? context.default_save_path(*item) : "";
  const std::int32_t old_number = item->m_nNumber;
  item->m_nNumber = number;
  const std::string new_path = context.new_save_path ? context.new_save_path(*item) : "";
  item->m_nNumber = old_number;
  if (!old_path.empty() && !new_path.empty() && IsRegularFile(old_path) &&
      MoveFileDurably(old_path, new_path, false, nullptr) == MoveResult::kMoved) {
    RemoveStalePartFiles(old_path);
    return;
  }
  RemoveDownloadedFile(*item, context.default_save_path);
  item->m_nTakenStamp = -1;
}

// The fixed sequence of an item entry after "FILE" and its name.
bool ParseItemEntry(CUpdateItem* item, CTokenReader& reader, const ControlFileContext& context) {
  if (!Expect(reader, "DESC", kItemKeywordLimit))
    return false;
  if (!reader.ReadToken(&item->m_strDescription, kDescriptionLimit))
    return false;

  // The number is applied only once the old file has been located: its
  // path is built from the old number.
  std::string token;
  if (!reader.ReadToken(&token, kItemKeywordLimit))
    return false;
  std::int32_t number = 0;
  if (token == "NUMB") {
    const bool read =
        ReadNumber(reader, kKeywordLimit, &number) && reader.ReadToken(&token, kItemKeywordLimit);
    if (!read) {
      item->m_nNumber = number;
      return false;
    }
  }
  std::string location;
  if (token != "LOCN" || !reader.ReadToken(&location, kNameLimit)) {
    item->m_nNumber = number;
    return false;
  }
  ForgetMovedFile(item, location, context);
  FollowNewNumber(item, number, location, context);
  item->m_nNumber = number;
  item->m_strLocation = std::move(location);

  if (!Expect(reader, "UPD", kItemKeywordLimit))
    return false;
  std::string date;
  if (!reader.ReadToken(&date, kItemDateLimit))
    return false;
  for (char& c : date) {
    if (c == '/')
      c = ' ';
  }
  item->m_strDate = std::move(date);

  if (!Expect(reader, "LEN", kItemKeywordLimit))
    return false;
  if (!ReadNumber(reader, kItemKeywordLimit, &item->m_nLength))
    return false;
  if (!Expect(reader, "TIME", kItemKeywordLimit))
    return false;
  return ReadNumber(reader, kItemKeywordLimit, &item->m_nStamp);
}

// 64 hexadecimal digits, in either case.
bool IsSha256Hex(const std::string& token) {
  if (token.size() != kSha256HexLength)
    return false;
  for (char c : token) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex)
      return false;
  }
  return true;
}

std::string LowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'F')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

bool ReadControlListDate(const std::string& text, Time* list_date) {
  // A scratch provider: only the header is read, and nothing of the real
  // provider changes.
  constexpr Time kUnread = std::numeric_limits<Time>::min();
  CProvider scratch;
  scratch.m_timeListDate = kUnread;
  CStringTokenReader reader(text);
  if (!scratch.ParseControlHeader(reader) || scratch.m_timeListDate == kUnread)
    return false;
  *list_date = scratch.m_timeListDate;
  return true;
}

bool CProvider::ParseControlFile(std::string& text, const ControlFileContext& context) {
  CStringTokenReader reader(text);
  const bool parsed = ParseControlHeader(reader) && ParseGroups(reader, context);
  m_bListComplete = parsed ? 1 : 0;
  if (parsed) {
    // The next check is spread over 0.75 to 1.25 intervals so that clients
    // which started together do not all ask the provider at the same moment.
    const Time base = context.now < m_timeListDate ? m_timeListDate : context.now;
    const int r = context.draw ? context.draw() : 0;
    const double factor = r * 0.5 / kMaxDraw + 0.75;
    const auto days = static_cast<Time>(std::ceil(factor * m_nCheckInterval));
    m_timeNextCheck = base + days * kSecondsPerDay;
  }
  text.clear();
  return parsed;
}

bool CProvider::ParseControlHeader(CTokenReader& reader) {
  std::string token;
  for (int i = 0; i < kHeaderSearchTokens; ++i) {
    if (!reader.ReadToken(&token, kKeywordLimit))
      return false;
    if (token == "TCHK")
      break;
  }

  std::int32_t interval = m_nCheckInterval;
  if (!ReadNumber(reader, kKeywordLimit, &interval))
    return false;
  if (interval > kIntervalWrap)
    interval -= kIntervalWrap;
  m_nCheckInterval = interval;

  if (!ReadDate(reader, &m_timeListDate))
    return false;

  if (!Expect(reader, "KMADE", kKeywordLimit))
    return false;
  // The key's date is taken once: only while the stored one is still the
  // placeholder from before 2000.
  Time key_made = m_timeKeyMade;
  if (!ReadDate(reader, &key_made))
    return false;
  Time year_2000;
  if (LocalNoon(1, 1, 2000, &year_2000) && m_timeKeyMade < year_2000)
    m_timeKeyMade = key_made;

  if (!Expect(reader, "ID", kKeywordLimit))
    return false;
  if (!ReadNumber(reader, kKeywordLimit, &m_nKeyId))
    return false;
  if (!Expect(reader, "KEYNAME", kKeywordLimit))
    return false;
  if (!reader.ReadToken(&m_strKeyName, kNameLimit))
    return false;
  m_bListParsed = 1;
  return true;
}

bool CProvider::ParseGroups(CTokenReader& reader, const ControlFileContext& context) {
  std::string token;
  while (reader.ReadToken(&token, kKeywordLimit)) {
    if (token == "END")
      return true;
    if (token != "GRP")
      continue;

    std::string name;
    if (!reader.ReadToken(&name, kNameLimit))
      return false;
    CUpdateGroup* group = FindGroup(name);
    if (group == nullptr) {
      group = AddGroup();
      group->m_strName = name;
      group->m_bScan = m_nScanMode == 2 ? 0 : m_nScanMode;
    }
    if (!ParseGroupItems(group, reader, context))
      return false;
    group->m_bListed = 1;
  }
  return false;
}

bool CProvider::ParseGroupItems(CUpdateGroup* group, CTokenReader& reader,
                                const ControlFileContext& context) {
  CUpdateItem* current = nullptr;
  // The item whose entry has just ended with its TIME value: only there may
  // a digest follow.
  CUpdateItem* digest_of = nullptr;
  std::string token;
  // A token read after "SHA256" that is not a digest is taken as the next
  // entry's keyword, so that a list missing its digits loses no entry.
  bool have_token = false;
  while (have_token || reader.ReadToken(&token, kKeywordLimit)) {
    have_token = false;
    CUpdateItem* const after_entry = digest_of;
    digest_of = nullptr;
    if (token == "SHA256" && after_entry != nullptr) {
      std::string digest;
      if (!reader.ReadToken(&digest, kDigestLimit))
        return false;
      if (IsSha256Hex(digest)) {
        after_entry->m_strSha256 = LowerCase(std::move(digest));
      } else {
        // The provider meant to bind the file but the digest cannot be
        // read: no file can match it, rather than any file.
        after_entry->m_strSha256 = std::string(kUnreadableSha256);
        token = std::move(digest);
        have_token = true;
      }
      continue;
    }
    if (token == "END")
      return true;
    if (token == "FILE") {
      std::string name;
      if (!reader.ReadToken(&name, kNameLimit))
        return false;
      CUpdateItem* item = group->FindItem(name);
      if (item == nullptr) {
        item = group->AddItem();
        item->m_strName = name;
      }
      item->m_bListed = 1;
      item->m_nOffered = 1;
      current = item;
      // A digest belongs to the entry that carries it: an entry without
      // one leaves the item without one.
      item->m_strSha256.clear();
      if (!ParseItemEntry(item, reader, context))
        return false;
      digest_of = item;
    } else if (token == "COND" && current != nullptr) {
      std::string kind;
      if (!reader.ReadToken(&kind, kItemKeywordLimit))
        return false;
      current->m_pCondition.reset();
      std::unique_ptr<CCondition> condition = CreateCondition(kind);
      if (condition == nullptr) {
        // The item stays, but a test this client cannot read must not let
        // it count as suitable.
        current->m_pCondition = MakeUnreadableCondition();
        return false;
      }
      if (!condition->Parse(reader))
        condition = MakeUnreadableCondition();
      current->m_pCondition = std::move(condition);
    }
  }
  return false;
}

}  // namespace gantrell
