// Checking a provider address typed by the user: a plain HTTP address of a
// server root on the standard port.
#pragma once

#include <string>

namespace gantrell {

// The parts of an address as the URL splitter gives them.
struct UrlParts {
  bool http = false;  // the service type is HTTP
  std::string server;
  std::string object;  // "/" for a server root
  int port = 80;
};

// Splits `address`. Returns false when it cannot be split (no server, a
// bad port); *parts still says whether the scheme was HTTP.
bool SplitUrl(const std::string& address, UrlParts* parts);

// Checks `*address` and, when it has no HTTP scheme, puts "http://" in
// front of it. Returns an empty text when it is accepted, otherwise the
// message to show: "The resource must be a legal web address", "Unable to
// parse this web address", "Object must be a directory" or "Non-standard
// port settings not currently supported".
std::string CheckProviderAddress(std::string* address);

}  // namespace gantrell
