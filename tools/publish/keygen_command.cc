// gantrell-publish keygen: a new key pair (RSA or Ed25519) for a provider or
// authority.
#include <cstdio>

#include "command.h"
#include "platform/folders.h"
#include "publish_keys.h"
#include "tool_files.h"

namespace gantrell::publish {

namespace {

constexpr std::string_view kName = "keygen";

constexpr char kHelp[] =
    "Usage: gantrell-publish keygen [--type rsa|ed25519] [--bits N] [--force]\n"
    "                               PRIVATE_KEY [PUBLIC_RECORD]\n"
    "\n"
    "Makes a new key pair, RSA unless --type says otherwise. The private key is\n"
    "written to PRIVATE_KEY as an unencrypted PEM file (PKCS#8) that only its\n"
    "owner may read (mode 0600); keep it off the web site. The public key record\n"
    "is written to PUBLIC_RECORD (default: public.dat in the current folder), to\n"
    "be published at the provider's address.\n"
    "\n"
    "Options:\n"
    "  --type T    rsa (default) or ed25519\n"
    "  --bits N    RSA key size in bits, 1024 to 3920 (default 2048); larger keys\n"
    "              do not fit the 512 bytes clients read\n"
    "  --force     replace existing files (an old private key is lost)\n"
    "  -h, --help  show this help\n"
    "\n";

}  // namespace

int RunKeygen(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {{"type", true}, {"bits", true}, {"force", false}}, &error)) {
    return UsageError(kName, error);
  }
  if (parsed.Has("help")) {
    std::printf("%s%s%s", kHelp, kKeyTypeHelp.data(), kExitStatusHelp.data());
    return kExitOk;
  }
  const auto& positional = parsed.Positional();
  if (positional.empty())
    return UsageError(kName, "missing PRIVATE_KEY");
  if (positional.size() > 2)
    return UsageError(kName, "too many arguments");
  KeyKind kind = kDefaultKeyKind;
  if (parsed.Has("type") && !ParseKeyType(parsed.Value("type"), &kind)) {
    return UsageError(kName, "--type must be rsa or ed25519, not '" + parsed.Value("type") + "'");
  }
  if (kind == KeyKind::kEd25519 && parsed.Has("bits"))
    return UsageError(kName, "--bits applies to RSA keys only; Ed25519 keys have one size");
  int bits = kDefaultKeyBits;
  if (parsed.Has("bits") && !ParseKeyBits(parsed.Value("bits"), &bits)) {
    return UsageError(kName, "--bits must be a whole number from 1024 to 3920, not '" +
                                 parsed.Value("bits") + "'");
  }
  const std::string private_path = positional[0];
  const std::string public_path = positional.size() > 1 ? positional[1] : "public.dat";
  if (private_path == public_path || SameFile(private_path, public_path)) {
    return UsageError(kName, "PRIVATE_KEY and PUBLIC_RECORD must be different files");
  }
  const bool force = parsed.Has("force");
  // Checked before the slow key generation; a private key is never replaced
  // without --force.
  for (const std::string& path : {private_path, public_path}) {
    if (!force && PathExists(path)) {
      return Failure(kName, "'" + path + "' already exists (use --force to replace it)");
    }
  }

  const bool private_existed = PathExists(private_path);
  PrivateKeyPtr key;
  Bytes record;
  std::string pem;
  if (!GenerateKey(kind, bits, &key, &record, &pem, &error))
    return Failure(kName, error);

  PendingFile private_file;
  PendingFile public_file;
  if (!private_file.Prepare(private_path, pem, PendingFile::Access::kOwnerOnly, &error) ||
      !public_file.Prepare(public_path, AsText(record), PendingFile::Access::kPublic, &error) ||
      !private_file.Commit(force, &error)) {
    return Failure(kName, error);
  }
  if (!public_file.Commit(force, &error)) {
    // A private key without its public record is of no use; take back a
    // file this run created, but never one that --force already replaced.
    if (!private_existed) {
      RemoveFile(private_path);
      return Failure(kName, error);
    }
    return Failure(kName, error + "; the new private key is in '" + private_path + "'");
  }
  std::printf("%s: %s private key\n%s: public key record (%zu bytes)\n", private_path.c_str(),
              KeyLabel(*key).c_str(), public_path.c_str(), record.size());
  return kExitOk;
}

}  // namespace gantrell::publish
