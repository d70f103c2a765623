// The key files (keydata.dat, and nkeydata.dat from outside tools): one
// binary record per provider in list order, no header and no end mark. A
// record is "XX" for a provider without key bytes, or a two-byte length,
// high byte first, followed by that many key bytes.
#pragma once

#include <cstdio>
#include <string>

#include "model/provider_list.h"

namespace gantrell {

// The longest key record the client accepts.
constexpr int kMaxKeyRecordLength = 512;

// Gives the providers from `start_index` on their key records from `file`,
// decoding each "PUBLKEY" record into the provider's public key. Reading
// stops at the end of the file, at a record cut short (whose provider keeps
// no usable key) or at a length above 512; the remaining providers keep no
// key.
void ReadKeyRecords(std::FILE* file, int start_index, ProviderList& providers);

// The key file content for `providers`.
std::string FormatKeyFile(const ProviderList& providers);

}  // namespace gantrell
