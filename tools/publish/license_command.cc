// gantrell-publish license: an authority's signature over a provider's
// address, published by the provider as license.sig.
#include <cstdio>

#include "command.h"
#include "publish_keys.h"
#include "tool_files.h"

namespace gantrell::publish {

namespace {

constexpr std::string_view kName = "license";

constexpr char kHelp[] =
    "Usage: gantrell-publish license --key AUTHORITY_KEY --authority D\n"
    "                                [--out FILE] ADDRESS\n"
    "\n"
    "Signs the provider address ADDRESS with an authority's private key and\n"
    "writes the licence record to FILE (default: license.sig in the current\n"
    "folder). Clients check the licence against the address exactly as they\n"
    "store it, character for character: \"http://updates.example.org/\".\n"
    "\n"
    "Options:\n"
    "  --key FILE       the authority's PEM private key, RSA or Ed25519 (the kind\n"
    "                   of the key clients hold for that authority)\n"
    "  --authority D    the authority entry that signs, 0 to 3, written into the\n"
    "                   record; clients accept licences from authorities 1 and 2\n"
    "  --out FILE       where to write the licence (default license.sig)\n"
    "  -h, --help       show this help\n"
    "\n";

}  // namespace

int RunLicense(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {{"key", true}, {"authority", true}, {"out", true}}, &error)) {
    return UsageError(kName, error);
  }
  if (parsed.Has("help")) {
    std::printf("%s%s", kHelp, kExitStatusHelp.data());
    return kExitOk;
  }
  const auto& positional = parsed.Positional();
  if (!parsed.Has("key"))
    return UsageError(kName, "missing --key");
  if (!parsed.Has("authority"))
    return UsageError(kName, "missing --authority");
  if (positional.empty())
    return UsageError(kName, "missing ADDRESS");
  if (positional.size() > 1)
    return UsageError(kName, "too many arguments");
  int authority = 0;
  if (!ParseNumber(parsed.Value("authority"), 0, 3, &authority)) {
    return UsageError(kName,
                      "--authority must be 0, 1, 2 or 3, not '" + parsed.Value("authority") + "'");
  }
  const std::string address = positional[0];
  if (address.empty())
    return UsageError(kName, "ADDRESS is empty");

  if (authority != 1 && authority != 2) {
    Warn(kName, "clients accept a licence only from authority 1 or 2");
  }
  if (address.rfind("http://", 0) != 0 || address.back() != '/') {
    Warn(kName, "clients store provider addresses as \"http://server/\"; this licence covers \"" +
                    address + "\" only");
  }
  PrivateKeyPtr key;
  if (!LoadPrivateKey(parsed.Value("key"), &key, &error))
    return Failure(kName, error);
  Bytes record;
  if (!SignChecked(*key, static_cast<char>('0' + authority), ToBytes(address), &record, &error)) {
    return Failure(kName, error);
  }
  const std::string out_path = parsed.Value("out", "license.sig");
  PendingFile out;
  if (!out.Prepare(out_path, AsText(record), PendingFile::Access::kPublic, &error) ||
      !out.Commit(true, &error)) {
    return Failure(kName, error);
  }
  std::printf("%s: licence of authority %d for \"%s\"\n", out_path.c_str(), authority,
              address.c_str());
  return kExitOk;
}

}  // namespace gantrell::publish
