// A small, strict reader and writer of DER (the distinguished encoding of
// ASN.1) for the key structures the crypto facility exchanges: SEQUENCE,
// INTEGER, BIT STRING, OCTET STRING, NULL and OBJECT IDENTIFIER. The reader
// accepts exactly one encoding of each value (definite, shortest lengths;
// shortest INTEGERs), never reads outside the bytes it was given, and does
// not recurse, so hostile input costs nothing more than its own length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace gantrell::der {

using Bytes = std::span<const std::uint8_t>;

enum Tag : std::uint8_t {
  kInteger = 0x02,
  kBitString = 0x03,
  kOctetString = 0x04,
  kNull = 0x05,
  kObjectIdentifier = 0x06,
  kSequence = 0x30,
};

// Reads the elements of one level in order. Every read that fails leaves
// the reader failed: later reads fail too, so a caller may check once at
// the end.
class Reader {
 public:
  Reader() = default;
  explicit Reader(Bytes input) : m_rest(input) {}

  // The next element, which must have `tag`; *contents gets its content
  // bytes (a view into the input).
  bool Read(std::uint8_t tag, Bytes* contents);
  // The next element if it has `tag`; false without failing otherwise.
  bool ReadOptional(std::uint8_t tag, Bytes* contents, bool* present);
  // A SEQUENCE, whose elements *inner then reads.
  bool ReadSequence(Reader* inner);
  // A non-negative INTEGER: *magnitude gets its big-endian value without
  // the sign byte (empty for zero). Negative values are refused.
  bool ReadUnsignedInteger(Bytes* magnitude);
  // A non-negative INTEGER that must equal one of the small `value`s.
  bool ReadSmallInteger(int* value);
  // A BIT STRING with no unused bits; *contents gets its bytes.
  bool ReadBitString(Bytes* contents);
  bool ReadNull();

  bool AtEnd() const { return !m_bFailed && m_rest.empty(); }
  bool failed() const { return m_bFailed; }

 private:
  bool Fail() {
    m_bFailed = true;
    m_rest = {};
    return false;
  }

  Bytes m_rest;
  bool m_bFailed = false;
};

// Reads the whole of `input` as one element of `tag`; false when anything
// follows it.
bool ReadOnly(Bytes input, std::uint8_t tag, Bytes* contents);

// The number of significant bits of a big-endian magnitude.
int BitLength(Bytes magnitude);
// The magnitude without its leading zero bytes.
Bytes StripLeadingZeros(Bytes magnitude);

// Writing: each function appends one whole element to *out.
void AppendElement(std::vector<std::uint8_t>* out, std::uint8_t tag, Bytes contents);
// The INTEGER of a non-negative big-endian magnitude (leading zeros allowed).
void AppendUnsignedInteger(std::vector<std::uint8_t>* out, Bytes magnitude);
void AppendSmallInteger(std::vector<std::uint8_t>* out, int value);
// A BIT STRING of whole bytes.
void AppendBitString(std::vector<std::uint8_t>* out, Bytes contents);

}  // namespace gantrell::der
