// The five provider entries every client carries: the four authority key
// entries (master and the three signing authorities) and the client's own
// update provider, all on the authority key server.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "model/provider.h"
#include "model/provider_list.h"

namespace gantrell {

class Registry;

constexpr int kBuiltInProviderCount = 5;
constexpr int kAuthorityEntryCount = 4;

// The paths of the five entries on the key server, in list order.
constexpr std::array<std::string_view, kBuiltInProviderCount> kBuiltInPaths = {
    "/ngtlkey/master/", "/ngtlkey/signone/", "/ngtlkey/signtwo/", "/ngtlkey/signthree/",
    "/ngtlkey/gtl/"};

// The key server used when nothing overrides it.
constexpr std::string_view kDefaultKeyServer = "http://keys.gantrell.org";

// The key server's base address, without a trailing "/": the environment
// variable GANTRELL_KEY_SERVER when set, else the machine-wide value
// "KeyServer" beside "Multiuser", else kDefaultKeyServer.
std::string KeyServerBase(const Registry& registry);

// A provider as it starts, built in or newly registered: scanned, with a
// baseline of 9 September 1999 and a first check due on 10 October 1999
// (so due at once), list date and key date equal to the baseline.
std::unique_ptr<CProvider> MakeNewProvider(const std::string& address);

// The five built-in addresses on the given key server base.
std::array<std::string, kBuiltInProviderCount> BuiltInAddresses(std::string_view base);

// Whether the built-in entry at `index` (1 to 4) is revoked: an item of the
// master entry (index 0) names its address. The entries are known by their
// position, so a revoked one keeps its place and its address; it must never
// be given a key again, vouch for anything or offer anything. The master
// revokes nothing of itself, and the user's providers (index 5 on) are not
// built-in entries: false for them. The master's list lives in the store,
// so the answer is the same after a save and reload.
bool IsRevokedBuiltInEntry(const ProviderList& providers, int index);

// Takes from a revoked built-in entry what made it trusted or useful: its
// key record, its decoded key, its groups and items, and its verified flag.
// Name, address, dates and settings stay. The caller removes downloaded
// files first.
void StripRevokedEntry(CProvider& entry);

}  // namespace gantrell
