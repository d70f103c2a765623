#include "platform/der.h"

namespace gantrell::der {

namespace {

// Lengths beyond this are refused: no key structure comes near it, and it
// keeps every length well inside an int.
constexpr std::size_t kMaxLength = 1 << 24;

void AppendLength(std::vector<std::uint8_t>* out, std::size_t length) {
  if (length < 0x80) {
    out->push_back(static_cast<std::uint8_t>(length));
    return;
  }
  std::uint8_t bytes[sizeof length];
  int count = 0;
  for (std::size_t rest = length; rest != 0; rest >>= 8)
    bytes[count++] = static_cast<std::uint8_t>(rest & 0xff);
  out->push_back(static_cast<std::uint8_t>(0x80 | count));
  while (count > 0)
    out->push_back(bytes[--count]);
}

}  // namespace

bool Reader::ReadOptional(std::uint8_t tag, Bytes* contents, bool* present) {
  *present = false;
  if (m_bFailed)
    return false;
  if (m_rest.empty() || m_rest[0] != tag)
    return true;
  *present = true;
  return Read(tag, contents);
}

bool Reader::Read(std::uint8_t tag, Bytes* contents) {
  if (m_bFailed || m_rest.size() < 2 || m_rest[0] != tag)
    return Fail();
  // Tags here are all one byte: a high-tag-number form (low bits 0x1f)
  // never matches one of them.
  std::size_t at = 1;
  const std::uint8_t first = m_rest[at++];
  std::size_t length = first;
  if (first & 0x80) {
    const std::size_t count = first & 0x7f;
    // 0x80 is the indefinite form, which DER forbids; more than three
    // length bytes exceed kMaxLength anyway.
    if (count == 0 || count > 3 || m_rest.size() - at < count)
      return Fail();
    length = 0;
    for (std::size_t i = 0; i < count; ++i)
      length = (length << 8) | m_rest[at++];
    // The shortest form only: no leading zero byte, no long form below 128.
    if (length < 0x80 || (length >> (8 * (count - 1))) == 0)
      return Fail();
  }
  if (length > kMaxLength || m_rest.size() - at < length)
    return Fail();
  *contents = m_rest.subspan(at, length);
  m_rest = m_rest.subspan(at + length);
  return true;
}

bool Reader::ReadSequence(Reader* inner) {
  Bytes contents;
  if (!Read(kSequence, &contents))
    return false;
  *inner = Reader(contents);
  return true;
}

bool Reader::ReadUnsignedInteger(Bytes* magnitude) {
  Bytes contents;
  if (!Read(kInteger, &contents))
    return false;
  if (contents.empty() || (contents[0] & 0x80) != 0)
    return Fail();  // no content, or negative
  if (contents.size() > 1 && contents[0] == 0 && (contents[1] & 0x80) == 0)
    return Fail();  // a redundant leading zero
  *magnitude = StripLeadingZeros(contents);
  return true;
}

bool Reader::ReadSmallInteger(int* value) {
  Bytes magnitude;
  if (!ReadUnsignedInteger(&magnitude))
    return false;
  if (magnitude.size() > 2)
    return Fail();
  *value = 0;
  for (std::uint8_t byte : magnitude)
    *value = (*value << 8) | byte;
  return true;
}

bool Reader::ReadBitString(Bytes* contents) {
  Bytes bits;
  if (!Read(kBitString, &bits))
    return false;
  if (bits.empty() || bits[0] != 0)
    return Fail();  // every structure here holds whole bytes
  *contents = bits.subspan(1);
  return true;
}

bool Reader::ReadNull() {
  Bytes contents;
  if (!Read(kNull, &contents))
    return false;
  return contents.empty() ? true : Fail();
}

bool ReadOnly(Bytes input, std::uint8_t tag, Bytes* contents) {
  Reader reader(input);
  return reader.Read(tag, contents) && reader.AtEnd();
}

Bytes StripLeadingZeros(Bytes magnitude) {
  std::size_t zeros = 0;
  while (zeros < magnitude.size() && magnitude[zeros] == 0)
    ++zeros;
  return magnitude.subspan(zeros);
}

int BitLength(Bytes magnitude) {
  magnitude = StripLeadingZeros(magnitude);
  if (magnitude.empty())
    return 0;
  int bits = static_cast<int>(magnitude.size() - 1) * 8;
  for (std::uint8_t top = magnitude[0]; top != 0; top >>= 1)
    ++bits;
  return bits;
}

void AppendElement(std::vector<std::uint8_t>* out, std::uint8_t tag, Bytes contents) {
  out->push_back(tag);
  AppendLength(out, contents.size());
  out->insert(out->end(), contents.begin(), contents.end());
}

void AppendUnsignedInteger(std::vector<std::uint8_t>* out, Bytes magnitude) {
  magnitude = StripLeadingZeros(magnitude);
  std::vector<std::uint8_t> contents;
  if (magnitude.empty() || (magnitude[0] & 0x80) != 0)
    contents.push_back(0);
  contents.insert(contents.end(), magnitude.begin(), magnitude.end());
  AppendElement(out, kInteger, contents);
}

void AppendSmallInteger(std::vector<std::uint8_t>* out, int value) {
  std::uint8_t bytes[4];
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<std::uint8_t>(static_cast<unsigned>(value) >> (8 * (3 - i)));
  AppendUnsignedInteger(out, bytes);
}

void AppendBitString(std::vector<std::uint8_t>* out, Bytes contents) {
  std::vector<std::uint8_t> bits;
  bits.push_back(0);
  bits.insert(bits.end(), contents.begin(), contents.end());
  AppendElement(out, kBitString, bits);
}

}  // namespace gantrell::der
