// gantrell-publish rotate: replaces a provider's published key and adds the
// chain link that lets clients holding the previous key accept the new one.
//
// A site's chain: public.dat is the current key record; oldpub1.dat is the
// record before it, oldpub2.dat the one before that, and so on up to
// oldpub9.dat. oldpubN.sig proves the record one step newer (public.dat for
// N = 1, else oldpub<N-1>.dat): either signed with the key in oldpubN.dat
// over that newer record alone, or, when that key is lost, signed by an
// authority over the newer record followed by oldpubN.dat, with the
// authority's digit in byte 3. Clients walk the links from 1 until they
// reach the key they hold, and follow at most nine.
#include <cstdio>
#include <filesystem>

#include "command.h"
#include "model/provider.h"
#include "platform/open_file.h"
#include "publish_keys.h"
#include "tool_files.h"

namespace gantrell::publish {

namespace {

constexpr std::string_view kName = "rotate";
constexpr int kMaxLinks = 9;

constexpr char kHelp[] =
    "Usage: gantrell-publish rotate --site DIR --new-key NEW_KEY\n"
    "           (--old-key OLD_KEY | --authority-key KEY --authority D)\n"
    "           [--type rsa|ed25519] [--bits N] [--drop-oldest]\n"
    "\n"
    "Publishes a new provider key in the site folder DIR and the link that\n"
    "proves it to clients that hold the key now in DIR/public.dat:\n"
    "  DIR/public.dat     becomes the new key record\n"
    "  DIR/oldpub1.dat    the previous public.dat\n"
    "  DIR/oldpub1.sig    the new record signed with OLD_KEY, the private key of\n"
    "                     the previous public.dat; or, when that key is lost, the\n"
    "                     new record followed by the previous one, signed with an\n"
    "                     authority's key\n"
    "Existing oldpubN.dat/.sig files move up to oldpubN+1. If NEW_KEY exists it\n"
    "is used as the new key; otherwise a new key of --type is generated and\n"
    "written there (PEM, mode 0600). Any kind of key may follow any other: an\n"
    "RSA provider moves to Ed25519 with --type ed25519 and its old key, and\n"
    "clients that follow the link accept only Ed25519 signatures from then on.\n"
    "Sign control.txt and the items again with the new key.\n"
    "\n"
    "Options:\n"
    "  --site DIR           the provider's site folder, holding public.dat\n"
    "  --new-key FILE       the new PEM private key (made if missing)\n"
    "  --old-key FILE       the PEM private key of the current public.dat\n"
    "  --authority-key FILE an authority's PEM private key, instead of --old-key\n"
    "  --authority D        that authority's entry, 0 to 3\n"
    "  --type T             kind of a generated key: rsa (default) or ed25519\n"
    "  --bits N             size of a generated RSA key, 1024 to 3920 (default 2048)\n"
    "  --drop-oldest        when nine links exist already, drop oldpub9 (clients\n"
    "                       that still hold that key can no longer update)\n"
    "  -h, --help           show this help\n"
    "\n";

std::string LinkPath(const std::string& site, int n, const char* extension) {
  return Utf8FromPath(PathFromUtf8(site) / ("oldpub" + std::to_string(n) + extension));
}

// The number of complete links 1..n in the site. A link with one of its two
// files missing, or a link after a gap, is an error: moving such files up
// would join records that do not prove each other.
bool CountLinks(const std::string& site, int* links, std::string* error) {
  *links = 0;
  for (int n = 1; n <= kMaxLinks; ++n) {
    const std::string dat = LinkPath(site, n, ".dat");
    const std::string sig = LinkPath(site, n, ".sig");
    const bool has_dat = PathExists(dat);
    const bool has_sig = PathExists(sig);
    if (has_dat != has_sig) {
      *error = "'" + (has_dat ? sig : dat) + "' is missing; the chain in '" + site + "' is broken";
      return false;
    }
    if (!has_dat)
      continue;
    if (*links != n - 1) {
      *error = "'" + dat + "' follows a gap in the chain in '" + site + "'";
      return false;
    }
    *links = n;
  }
  return true;
}

Bytes KeyPart(const Bytes& record) {
  return Bytes(record.begin() + kKeyRecordHeaderLength, record.end());
}

}  // namespace

int RunRotate(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  std::string error;
  if (!parsed.Parse(args,
                    {{"site", true},
                     {"new-key", true},
                     {"old-key", true},
                     {"authority-key", true},
                     {"authority", true},
                     {"type", true},
                     {"bits", true},
                     {"drop-oldest", false}},
                    &error)) {
    return UsageError(kName, error);
  }
  if (parsed.Has("help")) {
    std::printf("%s%s%s", kHelp, kKeyTypeHelp.data(), kExitStatusHelp.data());
    return kExitOk;
  }
  if (!parsed.Positional().empty())
    return UsageError(kName, "unexpected argument");
  if (!parsed.Has("site"))
    return UsageError(kName, "missing --site");
  if (!parsed.Has("new-key"))
    return UsageError(kName, "missing --new-key");
  const bool by_authority = parsed.Has("authority-key");
  if (by_authority == parsed.Has("old-key")) {
    return UsageError(kName, "give either --old-key or --authority-key");
  }
  if (by_authority != parsed.Has("authority")) {
    return UsageError(kName, "--authority-key and --authority go together");
  }
  int authority = 0;
  if (by_authority && !ParseNumber(parsed.Value("authority"), 0, 3, &authority)) {
    return UsageError(kName,
                      "--authority must be 0, 1, 2 or 3, not '" + parsed.Value("authority") + "'");
  }
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
  const std::string site = parsed.Value("site");
  const std::string new_key_path = parsed.Value("new-key");
  const std::string public_path = Utf8FromPath(PathFromUtf8(site) / "public.dat");

  // Everything is read and checked before anything is written.
  PrivateKeyPtr signer;
  const std::string signer_path = parsed.Value(by_authority ? "authority-key" : "old-key");
  if (!LoadPrivateKey(signer_path, &signer, &error))
    return Failure(kName, error);

  std::string current_text;
  if (!ReadWholeFile(public_path, &current_text, &error, 1024 * 1024)) {
    return Failure(kName, error);
  }
  const Bytes current = ToBytes(current_text);
  if (!IsKeyRecord(current.data(), static_cast<int>(current.size())) ||
      current.size() <= static_cast<std::size_t>(kKeyRecordHeaderLength)) {
    return Failure(kName, "'" + public_path + "' is not a key record");
  }
  if (current.size() > static_cast<std::size_t>(kMaxRecordLength)) {
    return Failure(kName, "'" + public_path + "' is longer than the 512 bytes clients read");
  }
  if (!by_authority) {
    Bytes signer_record;
    if (!MakeCheckedKeyRecord(*signer, &signer_record, &error))
      return Failure(kName, error);
    if (KeyPart(signer_record) != KeyPart(current)) {
      return Failure(kName,
                     "'" + signer_path + "' is not the private key of '" + public_path + "'");
    }
  }
  int links = 0;
  if (!CountLinks(site, &links, &error))
    return Failure(kName, error);
  if (links == kMaxLinks && !parsed.Has("drop-oldest")) {
    return Failure(kName, "'" + site +
                              "' already has nine links, as many as clients follow; "
                              "use --drop-oldest to drop oldpub9");
  }

  PrivateKeyPtr new_key;
  Bytes new_record;
  std::string new_pem;
  const bool generate = !PathExists(new_key_path);
  if (generate) {
    if (!GenerateKey(kind, bits, &new_key, &new_record, &new_pem, &error))
      return Failure(kName, error);
  } else if (!LoadPrivateKey(new_key_path, &new_key, &error) ||
             !MakeCheckedKeyRecord(*new_key, &new_record, &error)) {
    return Failure(kName, error);
  }
  // An existing key that is not of the kind asked for would move the
  // provider somewhere its publisher did not mean.
  if (!generate && parsed.Has("type") && PrivateKeyKind(*new_key) != kind) {
    return Failure(kName, "'" + new_key_path + "' holds a " + KeyLabel(*new_key) +
                              " key, not the " + parsed.Value("type") + " key --type asks for");
  }
  CProvider current_key;
  current_key.SetPublicKey(current.data(), static_cast<int>(current.size()));
  if (current_key.PublicKeyKind() == KeyKind::kEd25519 &&
      PrivateKeyKind(*new_key) == KeyKind::kRsa) {
    Warn(kName,
         "the new key is RSA, the legacy form: clients that follow the link accept RSA/SHA-1 "
         "signatures from the provider again");
  }
  if (KeyPart(new_record) == KeyPart(current)) {
    return Failure(kName, "'" + new_key_path + "' holds the key already in '" + public_path + "'");
  }

  Bytes signed_bytes = new_record;
  if (by_authority)
    signed_bytes.insert(signed_bytes.end(), current.begin(), current.end());
  Bytes link_signature;
  const char digit = static_cast<char>('0' + authority);
  if (!SignChecked(*signer, digit, signed_bytes, &link_signature, &error)) {
    return Failure(kName, error);
  }

  PendingFile key_file;
  PendingFile link_record;
  PendingFile link_sig;
  PendingFile public_file;
  if ((generate &&
       !key_file.Prepare(new_key_path, new_pem, PendingFile::Access::kOwnerOnly, &error)) ||
      !link_record.Prepare(LinkPath(site, 1, ".dat"), current_text, PendingFile::Access::kPublic,
                           &error) ||
      !link_sig.Prepare(LinkPath(site, 1, ".sig"), AsText(link_signature),
                        PendingFile::Access::kPublic, &error) ||
      !public_file.Prepare(public_path, AsText(new_record), PendingFile::Access::kPublic, &error)) {
    return Failure(kName, error);
  }
  // The new private key goes first, so that it is never lost when the site
  // is left half changed.
  if (generate && !key_file.Commit(false, &error))
    return Failure(kName, error);

  // Links move up from the oldest, so no file is overwritten before it has
  // moved; with nine links the move of link 8 replaces link 9.
  for (int n = std::min(links, kMaxLinks - 1); n >= 1; --n) {
    if (!MoveFile(LinkPath(site, n, ".dat"), LinkPath(site, n + 1, ".dat"), &error) ||
        !MoveFile(LinkPath(site, n, ".sig"), LinkPath(site, n + 1, ".sig"), &error)) {
      return Failure(kName, error + "; the chain in '" + site + "' is left half moved");
    }
  }
  // public.dat is replaced last: until then clients still see the old key.
  if (!link_record.Commit(true, &error) || !link_sig.Commit(true, &error) ||
      !public_file.Commit(true, &error)) {
    return Failure(kName, error + "; the chain in '" + site + "' is left half changed");
  }
  std::printf("%s: new %s key%s\n%s, oldpub1.sig: link signed by %s\n", public_path.c_str(),
              KeyLabel(*new_key).c_str(),
              generate ? (" (private key in " + new_key_path + ")").c_str() : "",
              LinkPath(site, 1, ".dat").c_str(),
              by_authority ? ("authority " + std::to_string(authority)).c_str() : "the old key");
  if (links == kMaxLinks)
    std::printf("the oldest link (oldpub9) was dropped\n");
  std::printf("Sign control.txt and the items again with the new key.\n");
  return kExitOk;
}

}  // namespace gantrell::publish
