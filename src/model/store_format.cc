#include "model/store_format.h"

#include <cstdio>
#include <sstream>

#include "conditions/condition.h"
#include "model/number_scan.h"
#include "model/token_reader.h"

namespace gantrell {
namespace {

// Largest tokens kept, by kind of field.
constexpr int kKeywordLimit = 20;
constexpr int kNumberLimit = 20;
constexpr int kProviderFieldLimit = 256;
constexpr int kNameLimit = 256;
constexpr int kLongTextLimit = 512;

void ReplaceAll(std::string* text, std::string_view from, std::string_view to) {
  std::string result;
  result.reserve(text->size());
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = text->find(from, pos);
    if (hit == std::string::npos)
      break;
    result.append(*text, pos, hit - pos);
    result.append(to);
    pos = hit + from.size();
  }
  result.append(*text, pos, std::string::npos);
  *text = std::move(result);
}

void WriteNumber(std::int64_t value, std::string* out) {
  *out += std::to_string(value);
  *out += ' ';
}

void WriteDate(Time t, std::string* out) {
  int day = 1, month = 1, year = 1970;
  LocalDate(t, &day, &month, &year);
  char text[64];
  std::snprintf(text, sizeof text, "TIME %i %i %i ", year, month, day);
  *out += text;
}

// A bare token of nothing but line breaks and tabs, such as the line break
// an editor or a tool puts at the end of the file: only blanks separate
// tokens, so it comes up as a token of its own, but it holds nothing.
bool IsOnlyWhiteSpace(const std::string& token) {
  return token.find_first_not_of("\t\n\v\f\r") == std::string::npos;
}

// The bare keywords that start a record. Reading starts again at one of
// them after anything it could not follow.
bool IsRecordKeyword(const std::string& token) {
  return token == "V3lsave" || token == "V2lsave" || token == "GRP" || token == "FILE";
}

// Reading helpers: each reads one token and returns false at the end of the
// input. A field whose token does not scan keeps its value. One token can be
// put back, so that a record keyword met where a record did not expect it
// starts the next record.
class RecordReader {
 public:
  explicit RecordReader(CTokenReader& reader) : reader_(reader) {}

  bool Token(std::string* token, int limit, bool* quoted = nullptr) {
    if (has_pending_) {
      has_pending_ = false;
      *token = std::move(pending_);
      if (quoted != nullptr)
        *quoted = pending_quoted_;
      return true;
    }
    if (!reader_.ReadToken(token, limit))
      return false;
    if (quoted != nullptr)
      *quoted = reader_.last_token_quoted();
    return true;
  }

  void PutBack(std::string token, bool quoted) {
    pending_ = std::move(token);
    pending_quoted_ = quoted;
    has_pending_ = true;
  }

  // A store text of at most `limit` characters once its escapes are undone.
  // An escape takes two characters in the file, so the token is read with
  // room for every character of the text to be escaped (and one more, so
  // that an escape split by the cut is never kept).
  bool Text(std::string* field, int limit) {
    std::string token;
    if (!Token(&token, 2 * limit + 1))
      return false;
    *field = ReadQuoted(token);
    if (field->size() > static_cast<std::size_t>(limit))
      field->resize(static_cast<std::size_t>(limit));
    return true;
  }

  bool Number(std::int32_t* field, int limit) {
    std::string token;
    if (!Token(&token, limit))
      return false;
    ScanInt(token, field);
    return true;
  }

  // "TIME year month day": the local time of that day at noon. The parts
  // are decimal whatever their leading zeros, as a hand-edited store may
  // have them.
  bool Date(Time* field) {
    std::string keyword;
    std::int32_t year = 0, month = 0, day = 0;
    bool scanned = true;
    if (!Token(&keyword, kKeywordLimit))
      return false;
    for (std::int32_t* part : {&year, &month, &day}) {
      std::string token;
      if (!Token(&token, kKeywordLimit))
        return false;
      scanned = ScanDecimalInt(token, part) && scanned;
    }
    Time t;
    if (scanned && LocalNoon(day, month, year, &t))
      *field = t;
    return true;
  }

  // Skips tokens up to and including the next "END". A bare record keyword
  // on the way is put back and ends the skip: the record it starts is not
  // this one's to swallow. Returns true only when the END was found.
  bool SkipToEnd() {
    std::string token;
    bool quoted = false;
    while (Token(&token, kKeywordLimit, &quoted)) {
      if (quoted)
        continue;
      if (token == "END")
        return true;
      if (IsRecordKeyword(token)) {
        PutBack(std::move(token), false);
        return false;
      }
    }
    return false;
  }

  // The underlying reader, for a condition to parse itself from. Nothing
  // may be put back at that moment.
  CTokenReader& raw() { return reader_; }

  // Set when part of the input could not be read as the client writes it.
  bool whole = true;

 private:
  CTokenReader& reader_;
  std::string pending_;
  bool pending_quoted_ = false;
  bool has_pending_ = false;
};

void ReadProviderRecord(RecordReader& in, CProvider* provider, bool version2, Time now) {
  std::string dropped;
  std::int32_t verified = 0;
  bool complete = in.Text(&provider->m_strKeyName, kProviderFieldLimit) &&
                  in.Text(&provider->m_strAddress, static_cast<int>(kStoredAddressLimit)) &&
                  (!version2 || in.Token(&dropped, kProviderFieldLimit)) &&
                  in.Number(&provider->m_nKeyId, kProviderFieldLimit) &&
                  in.Number(&provider->m_nScanMode, kProviderFieldLimit) &&
                  in.Number(&verified, kProviderFieldLimit);
  if (complete)
    provider->m_bVerified = verified == 1;
  complete = complete && in.Date(&provider->m_timeKeyMade) && in.Date(&provider->m_timeBaseline) &&
             in.Date(&provider->m_timeNextCheck);
  (void)complete;  // a record that ends early keeps what it read
  if (provider->m_timeNextCheck - now > kMaxNextCheckAhead) {
    provider->m_timeNextCheck = now + kMaxNextCheckAhead;
  }
}

void ReadGroupRecord(RecordReader& in, CUpdateGroup* group) {
  if (in.Text(&group->m_strName, kNameLimit) && in.Text(&group->m_strGroupText, kNameLimit) &&
      in.Number(&group->m_bScan, kNumberLimit)) {
    if (!in.SkipToEnd())
      in.whole = false;
  }
}

void ReadItemRecord(RecordReader& in, CUpdateItem* item, bool version2) {
  bool complete =
      in.Text(&item->m_strName, kNameLimit) &&
      in.Text(&item->m_strSavePath, static_cast<int>(kStoredSavePathLimit)) &&
      in.Text(&item->m_strLocation, kLongTextLimit) &&
      in.Text(&item->m_strDescription, kLongTextLimit) && in.Text(&item->m_strDate, kNameLimit) &&
      (version2 || in.Number(&item->m_nNumber, kNumberLimit)) &&
      in.Number(&item->m_nLength, kNumberLimit) && in.Number(&item->m_nStamp, kNumberLimit) &&
      in.Number(&item->m_nTakenStamp, kNumberLimit) &&
      in.Number(&item->m_nFileStamp, kNumberLimit) && in.Number(&item->m_nOffered, kNumberLimit);
  if (!complete)
    return;

  std::string token;
  bool quoted = false;
  if (!in.Token(&token, kKeywordLimit, &quoted))
    return;
  if (!quoted && token == "END")
    return;
  if (!quoted && token == "COND") {
    std::string kind;
    if (!in.Token(&kind, kKeywordLimit))
      return;
    std::unique_ptr<CCondition> condition = CreateCondition(kind);
    // A condition of a kind this client does not know, or one it could not
    // read to its end, cannot tell whether the item suits this machine; the
    // item is kept, but never offered.
    if (condition == nullptr || !condition->Parse(in.raw())) {
      condition = MakeUnreadableCondition();
      in.whole = false;
    }
    item->m_pCondition = std::move(condition);
  } else if (!quoted && IsRecordKeyword(token)) {
    in.PutBack(std::move(token), false);
    in.whole = false;
    return;
  }
  if (!in.SkipToEnd())
    in.whole = false;
}

}  // namespace

void WriteQuoted(std::string_view text, std::string* out) {
  std::string escaped(text);
  ReplaceAll(&escaped, "\\", "\\A");
  ReplaceAll(&escaped, "\"", "\\B");
  *out += '"';
  *out += escaped;
  *out += "\" ";
}

std::string ReadQuoted(std::string_view token) {
  std::string text(token);
  ReplaceAll(&text, "\\B", "\"");
  ReplaceAll(&text, "\\A", "\\");
  return text;
}

bool ReadStore(CTokenReader& reader, ProviderList* providers, Time now, bool* read_whole) {
  RecordReader in(reader);
  CProvider* provider = nullptr;
  CUpdateGroup* group = nullptr;
  bool version2 = false;
  bool complete = false;
  std::string token;
  bool quoted = false;
  while (in.Token(&token, kKeywordLimit, &quoted)) {
    if (!quoted && IsOnlyWhiteSpace(token))
      continue;
    if (quoted) {
      in.whole = false;  // a text where a record should start
      continue;
    }
    if (token == "END") {
      // The store's own END is its last token. Anything after it means an
      // END of a record that could not be followed came up here: read on,
      // so the records after it are not lost.
      std::string next;
      bool next_quoted = false;
      bool more = in.Token(&next, kKeywordLimit, &next_quoted);
      while (more && !next_quoted && IsOnlyWhiteSpace(next))
        more = in.Token(&next, kKeywordLimit, &next_quoted);
      if (!more) {
        complete = true;
        break;
      }
      in.whole = false;
      in.PutBack(std::move(next), next_quoted);
      continue;
    }
    if (token == "V2lsave" || token == "V3lsave") {
      providers->push_back(std::make_unique<CProvider>());
      provider = providers->back().get();
      group = nullptr;
      version2 = token == "V2lsave";
      ReadProviderRecord(in, provider, version2, now);
      provider->m_bListParsed = 0;
      provider->m_bListComplete = 0;
    } else if (token == "GRP" && provider != nullptr) {
      group = provider->AddGroup();
      ReadGroupRecord(in, group);
      group->m_bListed = 0;
    } else if (token == "FILE" && group != nullptr) {
      CUpdateItem* item = group->AddItem();
      ReadItemRecord(in, item, version2);
      item->m_bListed = 0;
      item->m_bJustDownloaded = false;
      item->m_bSelected = false;
    } else {
      in.whole = false;
    }
  }
  if (read_whole != nullptr)
    *read_whole = complete && in.whole;
  return complete;
}

std::string FormatStore(const ProviderList& providers) {
  std::string out;
  for (const auto& provider : providers) {
    out += "V3lsave ";
    WriteQuoted(provider->m_strKeyName, &out);
    WriteQuoted(provider->m_strAddress, &out);
    WriteNumber(provider->m_nKeyId, &out);
    WriteNumber(provider->m_nScanMode, &out);
    WriteNumber(provider->m_bVerified ? 1 : 0, &out);
    WriteDate(provider->m_timeKeyMade, &out);
    WriteDate(provider->m_timeBaseline, &out);
    WriteDate(provider->m_timeNextCheck, &out);
    for (int g = 0; g < provider->GetGroupCount(); ++g) {
      const CUpdateGroup* group = provider->GetGroup(g);
      out += "GRP ";
      WriteQuoted(group->m_strName, &out);
      WriteQuoted(group->m_strGroupText, &out);
      WriteNumber(group->m_bScan, &out);
      out += "END ";
      for (int i = 0; i < group->GetItemCount(); ++i) {
        const CUpdateItem* item = group->GetItem(i);
        out += "FILE ";
        WriteQuoted(item->m_strName, &out);
        WriteQuoted(item->m_strSavePath, &out);
        WriteQuoted(item->m_strLocation, &out);
        WriteQuoted(item->m_strDescription, &out);
        WriteQuoted(item->m_strDate, &out);
        for (std::int32_t n : {item->m_nNumber, item->m_nLength, item->m_nStamp,
                               item->m_nTakenStamp, item->m_nFileStamp, item->m_nOffered}) {
          WriteNumber(n, &out);
        }
        if (item->m_pCondition != nullptr) {
          out += "COND ";
          std::ostringstream condition;
          item->m_pCondition->Write(condition);
          out += condition.str();
        }
        out += "END ";
      }
    }
  }
  out += "END ";
  return out;
}

}  // namespace gantrell
