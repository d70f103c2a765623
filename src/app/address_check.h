// The one check of provider addresses, shared by everything that takes
// one: the new-provider dialog, the console's "add", and addresses offered
// from outside (a file argument, a hand-off, "newprov"). An address is an
// absolute http:// or https:// address of a folder: a server, an optional
// port, a path ending in "/". Every file of a provider is fetched by
// appending its name to the address, so the closing "/" matters.
#pragma once

#include <string>

namespace gantrell {

// An empty text when `address` is such an address, else why not ("it does
// not end with \"/\"").
std::string AddressProblem(const std::string& address);

// The check of an address typed into the new-provider dialog, which first
// completes what was typed: blanks around it go, "http://" is put in front
// when it has no scheme (a scheme's letters are made small), and "/" after
// a server named without a folder. Returns an empty text when it is
// accepted (*address is then the completed address), otherwise the message
// to show: "The resource must be a legal web address" (not http or https),
// "Object must be a directory" (no folder: no closing "/", a query or a
// fragment) or "Unable to parse this web address" (anything else).
std::string CheckProviderAddress(std::string* address);

}  // namespace gantrell
