// Ed25519 (RFC 8032, the pure form) in portable code, for systems whose
// cryptographic library has no Ed25519 signatures (CNG has none). The
// SHA-512 it needs and the random bytes of a new key come from the crypto
// facility (platform/crypto.h).
//
// Verification is strict: S must be below the group order L, and both the
// public key and R must be canonical encodings of points on the curve.
// Signing and key making run in constant time with respect to the secret
// scalars: the scalar multiplication always adds and selects with masks,
// and the reductions modulo L never branch on secret bits. Verification
// handles public values only and need not be.
#pragma once

#include <cstdint>
#include <span>

namespace gantrell::ed25519 {

inline constexpr int kKeyLength = 32;
inline constexpr int kSignatureLength = 64;

// True when `public_key` is the canonical encoding of a curve point.
bool IsValidPublicKey(const std::uint8_t (&public_key)[kKeyLength]);

bool Verify(const std::uint8_t (&public_key)[kKeyLength], std::span<const std::uint8_t> message,
            const std::uint8_t (&signature)[kSignatureLength]);

// The public key of a 32-byte private key (the seed of RFC 8032).
bool PublicKeyFromSeed(const std::uint8_t (&seed)[kKeyLength],
                       std::uint8_t (&public_key)[kKeyLength]);

bool Sign(const std::uint8_t (&seed)[kKeyLength], std::span<const std::uint8_t> message,
          std::uint8_t (&signature)[kSignatureLength]);

// A fresh private key from the system's random generator.
bool GenerateSeed(std::uint8_t (&seed)[kKeyLength]);

}  // namespace gantrell::ed25519
