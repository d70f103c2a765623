// The five provider entries every client carries: the four authority key
// entries (master and the three signing authorities) and the client's own
// update provider, all on the authority key server.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "model/provider.h"

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

}  // namespace gantrell
