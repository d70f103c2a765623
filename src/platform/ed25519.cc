#include "platform/ed25519.h"

#include <cstring>
#include <initializer_list>

#include "platform/crypto.h"

namespace gantrell::ed25519 {

namespace {

using u64 = std::uint64_t;
// 64 x 64 -> 128-bit products; g++ and mingw's g++ both have the type.
__extension__ typedef unsigned __int128 u128;

// ---------------------------------------------------------------------------
// The field of integers modulo p = 2^255 - 19, in five limbs of 51 bits.
// Limbs may run a little over 51 bits between operations; Carry brings
// them back, and ToBytes gives the one canonical value.

constexpr u64 kMask = (u64{1} << 51) - 1;

struct Fe {
  u64 v[5];
};

Fe FeSmall(u64 x) {
  return Fe{{x, 0, 0, 0, 0}};
}

void Carry(Fe& f) {
  u64 c = f.v[0] >> 51;
  f.v[0] &= kMask;
  f.v[1] += c;
  c = f.v[1] >> 51;
  f.v[1] &= kMask;
  f.v[2] += c;
  c = f.v[2] >> 51;
  f.v[2] &= kMask;
  f.v[3] += c;
  c = f.v[3] >> 51;
  f.v[3] &= kMask;
  f.v[4] += c;
  c = f.v[4] >> 51;
  f.v[4] &= kMask;
  f.v[0] += 19 * c;
}

Fe Add(const Fe& a, const Fe& b) {
  Fe r;
  for (int i = 0; i < 5; ++i)
    r.v[i] = a.v[i] + b.v[i];
  Carry(r);
  return r;
}

// a - b as a + 2p - b: the limbs of b stay below those of 2p after Carry.
Fe Sub(const Fe& a, const Fe& b) {
  Fe r;
  r.v[0] = a.v[0] + 0xfffffffffffdaULL - b.v[0];
  for (int i = 1; i < 5; ++i)
    r.v[i] = a.v[i] + 0xffffffffffffeULL - b.v[i];
  Carry(r);
  return r;
}

Fe Neg(const Fe& a) {
  return Sub(FeSmall(0), a);
}

Fe Mul(const Fe& a, const Fe& b) {
  const u64 b1 = 19 * b.v[1], b2 = 19 * b.v[2], b3 = 19 * b.v[3], b4 = 19 * b.v[4];
  const u64* x = a.v;
  const u64* y = b.v;
  u128 r0 = (u128)x[0] * y[0] + (u128)x[1] * b4 + (u128)x[2] * b3 + (u128)x[3] * b2 + (u128)x[4] * b1;
  u128 r1 = (u128)x[0] * y[1] + (u128)x[1] * y[0] + (u128)x[2] * b4 + (u128)x[3] * b3 + (u128)x[4] * b2;
  u128 r2 = (u128)x[0] * y[2] + (u128)x[1] * y[1] + (u128)x[2] * y[0] + (u128)x[3] * b4 + (u128)x[4] * b3;
  u128 r3 = (u128)x[0] * y[3] + (u128)x[1] * y[2] + (u128)x[2] * y[1] + (u128)x[3] * y[0] + (u128)x[4] * b4;
  u128 r4 = (u128)x[0] * y[4] + (u128)x[1] * y[3] + (u128)x[2] * y[2] + (u128)x[3] * y[1] + (u128)x[4] * y[0];
  Fe r;
  r1 += r0 >> 51;
  r.v[0] = static_cast<u64>(r0) & kMask;
  r2 += r1 >> 51;
  r.v[1] = static_cast<u64>(r1) & kMask;
  r3 += r2 >> 51;
  r.v[2] = static_cast<u64>(r2) & kMask;
  r4 += r3 >> 51;
  r.v[3] = static_cast<u64>(r3) & kMask;
  const u128 top = r4 >> 51;
  r.v[4] = static_cast<u64>(r4) & kMask;
  const u128 low = r.v[0] + top * 19;
  r.v[0] = static_cast<u64>(low) & kMask;
  r.v[1] += static_cast<u64>(low >> 51);
  return r;
}

Fe Square(const Fe& a) {
  return Mul(a, a);
}

// a^e for an exponent given as 32 little-endian bytes. The exponents are
// public constants, so the branch on their bits reveals nothing.
Fe Pow(const Fe& a, const std::uint8_t (&e)[32]) {
  Fe r = FeSmall(1);
  for (int i = 255; i >= 0; --i) {
    r = Square(r);
    if ((e[i / 8] >> (i % 8)) & 1)
      r = Mul(r, a);
  }
  return r;
}

// p - 2, (p - 5) / 8 and (p - 1) / 4, little-endian.
constexpr std::uint8_t kPMinus2[32] = {0xeb, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                       0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                       0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f};
constexpr std::uint8_t kPMinus5Over8[32] = {0xfd, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                            0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                            0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x0f};
constexpr std::uint8_t kPMinus1Over4[32] = {0xfb, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                            0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                            0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x1f};

Fe Invert(const Fe& a) {
  return Pow(a, kPMinus2);
}

u64 Load64(const std::uint8_t* p) {
  u64 r = 0;
  for (int i = 7; i >= 0; --i)
    r = (r << 8) | p[i];
  return r;
}

void Store64(std::uint8_t* p, u64 x) {
  for (int i = 0; i < 8; ++i)
    p[i] = static_cast<std::uint8_t>(x >> (8 * i));
}

// The low 255 bits of `s`; bit 255 is left to the caller.
Fe FromBytes(const std::uint8_t* s) {
  const u64 w0 = Load64(s), w1 = Load64(s + 8), w2 = Load64(s + 16), w3 = Load64(s + 24);
  return Fe{{w0 & kMask, ((w0 >> 51) | (w1 << 13)) & kMask, ((w1 >> 38) | (w2 << 26)) & kMask,
             ((w2 >> 25) | (w3 << 39)) & kMask, (w3 >> 12) & kMask}};
}

// The canonical value (below p) in 32 little-endian bytes.
void ToBytes(std::uint8_t* s, Fe f) {
  Carry(f);
  Carry(f);
  // q is 1 exactly when f >= p: the carry out of f + 19 at bit 255.
  u64 q = (f.v[0] + 19) >> 51;
  q = (f.v[1] + q) >> 51;
  q = (f.v[2] + q) >> 51;
  q = (f.v[3] + q) >> 51;
  q = (f.v[4] + q) >> 51;
  f.v[0] += 19 * q;
  for (int i = 0; i < 4; ++i) {
    f.v[i + 1] += f.v[i] >> 51;
    f.v[i] &= kMask;
  }
  f.v[4] &= kMask;
  Store64(s, f.v[0] | (f.v[1] << 51));
  Store64(s + 8, (f.v[1] >> 13) | (f.v[2] << 38));
  Store64(s + 16, (f.v[2] >> 26) | (f.v[3] << 25));
  Store64(s + 24, (f.v[3] >> 39) | (f.v[4] << 12));
}

bool Equal(const Fe& a, const Fe& b) {
  std::uint8_t x[32], y[32];
  ToBytes(x, a);
  ToBytes(y, b);
  return std::memcmp(x, y, 32) == 0;
}

bool IsZero(const Fe& a) {
  return Equal(a, FeSmall(0));
}

int IsNegative(const Fe& a) {
  std::uint8_t s[32];
  ToBytes(s, a);
  return s[0] & 1;
}

// r = b ? a : r, without a branch on b.
void Select(Fe& r, const Fe& a, u64 b) {
  const u64 mask = u64{0} - b;
  for (int i = 0; i < 5; ++i)
    r.v[i] ^= mask & (r.v[i] ^ a.v[i]);
}

// ---------------------------------------------------------------------------
// Points of the curve -x^2 + y^2 = 1 + d x^2 y^2 in extended coordinates
// (X:Y:Z:T) with x = X/Z, y = Y/Z, xy = T/Z.

struct Point {
  Fe X, Y, Z, T;
};

struct Constants {
  Fe d;
  Fe d2;      // 2d
  Fe sqrtm1;  // a square root of -1
};

bool Decode(const std::uint8_t* s, Point* point);

const Constants& Curve() {
  static const Constants constants = [] {
    Constants c;
    c.d = Mul(Neg(FeSmall(121665)), Invert(FeSmall(121666)));
    c.d2 = Add(c.d, c.d);
    c.sqrtm1 = Pow(FeSmall(2), kPMinus1Over4);
    return c;
  }();
  return constants;
}

const Point& Base() {
  static const Point base = [] {
    // y = 4/5 with x even.
    std::uint8_t encoded[32];
    std::memset(encoded, 0x66, sizeof encoded);
    encoded[0] = 0x58;
    Point p{};
    Decode(encoded, &p);
    return p;
  }();
  return base;
}

Point Identity() {
  return Point{FeSmall(0), FeSmall(1), FeSmall(1), FeSmall(0)};
}

// The unified addition of Hisil, Wong, Carter and Dawson for a = -1; it is
// complete on this curve (doubling included), so it takes any two points.
Point AddPoints(const Point& p, const Point& q) {
  const Fe a = Mul(Sub(p.Y, p.X), Sub(q.Y, q.X));
  const Fe b = Mul(Add(p.Y, p.X), Add(q.Y, q.X));
  const Fe c = Mul(Mul(p.T, Curve().d2), q.T);
  const Fe zz = Mul(p.Z, q.Z);
  const Fe d = Add(zz, zz);
  const Fe e = Sub(b, a), f = Sub(d, c), g = Add(d, c), h = Add(b, a);
  return Point{Mul(e, f), Mul(g, h), Mul(f, g), Mul(e, h)};
}

// [scalar]p for a 256-bit little-endian scalar: double, always add, and
// keep the sum or not by a mask.
Point ScalarMult(const Point& p, const std::uint8_t (&scalar)[32]) {
  Point r = Identity();
  for (int i = 255; i >= 0; --i) {
    r = AddPoints(r, r);
    const Point sum = AddPoints(r, p);
    const u64 bit = (scalar[i / 8] >> (i % 8)) & 1;
    Select(r.X, sum.X, bit);
    Select(r.Y, sum.Y, bit);
    Select(r.Z, sum.Z, bit);
    Select(r.T, sum.T, bit);
  }
  return r;
}

void Encode(std::uint8_t* s, const Point& p) {
  const Fe z = Invert(p.Z);
  const Fe x = Mul(p.X, z);
  const Fe y = Mul(p.Y, z);
  ToBytes(s, y);
  s[31] |= static_cast<std::uint8_t>(IsNegative(x) << 7);
}

// RFC 8032 5.1.3, refusing the encodings of y at or above p as well.
bool Decode(const std::uint8_t* s, Point* point) {
  const Fe y = FromBytes(s);
  const int sign = s[31] >> 7;
  std::uint8_t canonical[32];
  ToBytes(canonical, y);
  canonical[31] |= static_cast<std::uint8_t>(sign << 7);
  if (std::memcmp(canonical, s, 32) != 0)
    return false;
  const Constants& c = Curve();
  const Fe y2 = Square(y);
  const Fe u = Sub(y2, FeSmall(1));
  const Fe v = Add(Mul(c.d, y2), FeSmall(1));
  const Fe v3 = Mul(Square(v), v);
  const Fe v7 = Mul(Square(v3), v);
  Fe x = Mul(Mul(u, v3), Pow(Mul(u, v7), kPMinus5Over8));
  const Fe vx2 = Mul(v, Square(x));
  if (!Equal(vx2, u)) {
    if (!Equal(vx2, Neg(u)))
      return false;  // no square root: not a point
    x = Mul(x, c.sqrtm1);
  }
  if (IsZero(x) && sign == 1)
    return false;
  if (IsNegative(x) != sign)
    x = Neg(x);
  *point = Point{x, y, FeSmall(1), Mul(x, y)};
  return true;
}

// ---------------------------------------------------------------------------
// Scalars modulo the group order L = 2^252 + 27742317777372353535851937790883648493.

constexpr u64 kOrder[4] = {0x5812631a5cf5d3edULL, 0x14def9dea2f79cd6ULL, 0, 0x1000000000000000ULL};

// r = r - L when r >= L, without a branch on r.
void ReduceOnce(u64 (&r)[4]) {
  u64 t[4];
  u64 borrow = 0;
  for (int i = 0; i < 4; ++i) {
    const u128 d = (u128)r[i] - kOrder[i] - borrow;
    t[i] = static_cast<u64>(d);
    borrow = static_cast<u64>(d >> 64) & 1;
  }
  const u64 keep = u64{0} - borrow;  // all ones when r < L
  for (int i = 0; i < 4; ++i)
    r[i] = (r[i] & keep) | (t[i] & ~keep);
}

// A 512-bit little-endian number (in eight 64-bit words) modulo L, one bit
// at a time from the top: r stays below L, so 2r + 1 fits 254 bits.
void Reduce512(const u64 (&n)[8], std::uint8_t (&out)[32]) {
  u64 r[4] = {0, 0, 0, 0};
  for (int i = 511; i >= 0; --i) {
    r[3] = (r[3] << 1) | (r[2] >> 63);
    r[2] = (r[2] << 1) | (r[1] >> 63);
    r[1] = (r[1] << 1) | (r[0] >> 63);
    r[0] = (r[0] << 1) | ((n[i / 64] >> (i % 64)) & 1);
    ReduceOnce(r);
  }
  for (int i = 0; i < 4; ++i)
    Store64(out + 8 * i, r[i]);
}

void ReduceDigest(const std::uint8_t (&digest)[64], std::uint8_t (&out)[32]) {
  u64 n[8];
  for (int i = 0; i < 8; ++i)
    n[i] = Load64(digest + 8 * i);
  Reduce512(n, out);
}

// (r + k * a) mod L.
void MulAdd(const std::uint8_t (&k)[32], const std::uint8_t (&a)[32], const std::uint8_t (&r)[32],
            std::uint8_t (&out)[32]) {
  u64 x[4], y[4], n[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    x[i] = Load64(k + 8 * i);
    y[i] = Load64(a + 8 * i);
    n[i] = Load64(r + 8 * i);
  }
  for (int i = 0; i < 4; ++i) {
    u64 carry = 0;
    for (int j = 0; j < 4; ++j) {
      const u128 t = (u128)x[i] * y[j] + n[i + j] + carry;
      n[i + j] = static_cast<u64>(t);
      carry = static_cast<u64>(t >> 64);
    }
    for (int j = i + 4; j < 8 && carry != 0; ++j) {
      const u128 t = (u128)n[j] + carry;
      n[j] = static_cast<u64>(t);
      carry = static_cast<u64>(t >> 64);
    }
  }
  Reduce512(n, out);
}

bool BelowOrder(const std::uint8_t* s) {
  for (int i = 3; i >= 0; --i) {
    const u64 w = Load64(s + 8 * i);
    if (w != kOrder[i])
      return w < kOrder[i];
  }
  return false;
}

void Wipe(void* bytes, std::size_t count) {
  volatile std::uint8_t* p = static_cast<volatile std::uint8_t*>(bytes);
  for (std::size_t i = 0; i < count; ++i)
    p[i] = 0;
}

// SHA-512 of the pieces, in order.
bool Sha512(std::initializer_list<std::span<const std::uint8_t>> pieces, std::uint8_t (&out)[64]) {
  crypto::Hash hash(crypto::HashKind::kSha512);
  for (std::span<const std::uint8_t> piece : pieces)
    hash.Add(piece.data(), piece.size());
  return hash.Finish(out);
}

// The secret scalar and the nonce prefix of a seed (RFC 8032 5.1.5).
bool ExpandSeed(const std::uint8_t (&seed)[kKeyLength], std::uint8_t (&scalar)[32],
                std::uint8_t (&prefix)[32]) {
  std::uint8_t h[64];
  if (!Sha512({seed}, h))
    return false;
  std::memcpy(scalar, h, 32);
  std::memcpy(prefix, h + 32, 32);
  Wipe(h, sizeof h);
  scalar[0] &= 248;
  scalar[31] &= 127;
  scalar[31] |= 64;
  return true;
}

}  // namespace

bool IsValidPublicKey(const std::uint8_t (&public_key)[kKeyLength]) {
  Point p;
  return Decode(public_key, &p);
}

bool Verify(const std::uint8_t (&public_key)[kKeyLength], std::span<const std::uint8_t> message,
            const std::uint8_t (&signature)[kSignatureLength]) {
  Point a, r;
  if (!Decode(public_key, &a) || !Decode(signature, &r) || !BelowOrder(signature + 32))
    return false;
  std::uint8_t h[64];
  if (!Sha512({std::span<const std::uint8_t>(signature, 32), public_key, message}, h))
    return false;
  std::uint8_t k[32], s[32];
  ReduceDigest(h, k);
  std::memcpy(s, signature + 32, 32);
  // [S]B = R + [k]A, compared in the one encoding of each side.
  std::uint8_t left[32], right[32];
  Encode(left, ScalarMult(Base(), s));
  Encode(right, AddPoints(r, ScalarMult(a, k)));
  return std::memcmp(left, right, 32) == 0;
}

bool PublicKeyFromSeed(const std::uint8_t (&seed)[kKeyLength],
                       std::uint8_t (&public_key)[kKeyLength]) {
  std::uint8_t scalar[32], prefix[32];
  if (!ExpandSeed(seed, scalar, prefix))
    return false;
  Encode(public_key, ScalarMult(Base(), scalar));
  Wipe(scalar, sizeof scalar);
  Wipe(prefix, sizeof prefix);
  return true;
}

bool Sign(const std::uint8_t (&seed)[kKeyLength], std::span<const std::uint8_t> message,
          std::uint8_t (&signature)[kSignatureLength]) {
  std::uint8_t scalar[32], prefix[32], public_key[32], h[64], nonce[32], k[32], s[32];
  bool ok = ExpandSeed(seed, scalar, prefix);
  if (ok) {
    Encode(public_key, ScalarMult(Base(), scalar));
    ok = Sha512({prefix, message}, h);
  }
  if (ok) {
    ReduceDigest(h, nonce);
    Encode(signature, ScalarMult(Base(), nonce));
    ok = Sha512({std::span<const std::uint8_t>(signature, 32), public_key, message}, h);
  }
  if (ok) {
    ReduceDigest(h, k);
    MulAdd(k, scalar, nonce, s);
    std::memcpy(signature + 32, s, 32);
  }
  Wipe(scalar, sizeof scalar);
  Wipe(prefix, sizeof prefix);
  Wipe(h, sizeof h);
  Wipe(nonce, sizeof nonce);
  if (!ok)
    Wipe(signature, sizeof signature);
  return ok;
}

bool GenerateSeed(std::uint8_t (&seed)[kKeyLength]) {
  return crypto::RandomBytes(seed, sizeof seed);
}

}  // namespace gantrell::ed25519
