// gantrell-publish site: builds a provider's whole site from a manifest.
//
// Every file is written under a temporary name beside its place first, and
// only once all of them are written, checked and signed are they renamed
// into place, one by one. A bad manifest, a missing item file or a full disk
// thus leaves an existing site exactly as it was. The site folder itself is
// never swapped: it may be a web server's document root or a mount point,
// and it holds files this command does not make (the oldpubN links of
// `rotate`, a license.sig an authority sent).
//
// The renames go in the order that keeps clients working: the items first,
// then public.dat, then control.txt and control.sig, so that a client never
// reads a list whose items are not there yet.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "command.h"
#include "model/provider.h"
#include "net/sha256_digest.h"
#include "platform/open_file.h"
#include "publish_keys.h"
#include "site_control.h"
#include "site_manifest.h"
#include "tool_files.h"

namespace gantrell::publish {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kName = "site";
// Clients read an item's signature up to 512 bytes: the 4-byte header and
// the signature of a key of up to 4064 bits (more than a key record of 512
// bytes can hold, so every usable key fits).
constexpr int kMaxItemSignature = 512;
constexpr int kMaxItemKeyBits = (kMaxItemSignature - kSignatureHeaderLength) * 8;
constexpr std::size_t kMaxManifestLength = 16 * 1024 * 1024;
constexpr std::size_t kMaxItemLength = 2147483647;  // LEN is a 32-bit number
// The file a provider links to: opened from a browser or file manager it
// hands its text to the client as the file argument, of which the client
// reads 512 bytes.
constexpr const char* kSubscriptionFile = "subscribe.gantrell";
constexpr std::size_t kMaxSubscriptionLength = 512;

constexpr char kHelp[] =
    "Usage: gantrell-publish site --out DIR [--authority-key KEY --authority D]\n"
    "                             [--address URL] [--prune] MANIFEST\n"
    "\n"
    "Builds the update site described by MANIFEST in the folder DIR (made if\n"
    "missing), ready to be served as it is:\n"
    "  control.txt, control.sig   the update list, signed with the provider's key\n"
    "                             (RSA or Ed25519: the manifest's key file)\n"
    "  public.dat                 the provider's key record; an existing one must\n"
    "                             hold the same key and is kept\n"
    "  N.dat, N.sig               each item's file under its number, and its\n"
    "                             signature\n"
    "  license.sig                with --authority-key: the authority's licence\n"
    "                             for the manifest's address\n"
    "  subscribe.gantrell         when the address is known: the address alone, a\n"
    "                             file that subscribes whoever opens it; link to it\n"
    "Other files in DIR (oldpubN.dat/.sig from 'rotate', a license.sig from an\n"
    "authority) are left alone. Nothing in DIR changes unless every file could\n"
    "be made. docs/publish-manifest.md describes the manifest.\n"
    "\n"
    "Options:\n"
    "  --out DIR            the site folder\n"
    "  --authority-key FILE an authority's PEM private key, to sign license.sig\n"
    "  --authority D        that authority's entry, 1 or 2\n"
    "  --address URL        the provider's address, in place of the manifest's\n"
    "  --prune              remove N.dat/N.sig files of items no longer listed\n"
    "                       (without it they are only reported)\n"
    "  -h, --help           show this help\n"
    "\n";

std::string InFolder(const std::string& folder, const std::string& name) {
  return Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(name));
}

// Whether `path` lies inside `folder`, so that a web server serving the
// folder would hand it out.
bool IsInside(const std::string& path, const std::string& folder) {
  std::error_code error;
  const fs::path file = fs::weakly_canonical(PathFromUtf8(path), error);
  fs::path base = fs::weakly_canonical(PathFromUtf8(folder), error);
  if (error)
    return false;
  if (base.filename().empty())
    base = base.parent_path();  // "site/" names the folder "site"
  const auto [base_end, file_it] =
      std::mismatch(base.begin(), base.end(), file.begin(), file.end());
  return base_end == base.end();
}

// Why clients could not subscribe to `address` from a subscription file,
// or an empty text when they can: it must be an absolute http:// or
// https:// address of a folder, in one piece.
std::string SubscriptionProblem(const std::string& address) {
  const bool http = address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
  const std::size_t scheme = address.find("://") + 3;
  if (!http || address.size() <= scheme || address[scheme] == '/')
    return "it is not an absolute http:// or https:// address";
  if (address.back() != '/')
    return "it does not end in '/' (clients fetch every file by appending its name)";
  for (const char c : address) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f)
      return "it holds a blank or a control character";
  }
  if (address.size() > kMaxSubscriptionLength)
    return "it is longer than the " + std::to_string(kMaxSubscriptionLength) +
           " bytes clients read";
  return std::string();
}

// Whether the site already holds `content` as `dat` with a good item
// signature `sig` by `key_record`; such an item is left untouched.
bool ItemUnchanged(const std::string& dat, const std::string& sig, const std::string& content,
                   const Bytes& key_record) {
  std::string old_content;
  std::string old_sig;
  std::string error;
  CProvider check;
  check.SetPublicKey(key_record.data(), static_cast<int>(key_record.size()));
  const std::string header = std::string(kSignatureTag) + ItemSignatureDigit(check.PublicKeyKind());
  if (!ReadWholeFile(dat, &old_content, &error, content.size()) || old_content != content ||
      !ReadWholeFile(sig, &old_sig, &error, kMaxItemSignature) || old_sig.rfind(header, 0) != 0) {
    return false;
  }
  check.BeginDigest();
  check.AddToDigest(content);
  const Bytes record = ToBytes(old_sig);
  return check.VerifySignature(record.data(), static_cast<int>(record.size()));
}

// Numbered item files in `folder` whose number the manifest does not list.
std::vector<std::string> StaleItemFiles(const std::string& folder,
                                        const std::set<std::int32_t>& numbers) {
  std::vector<std::string> stale;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(PathFromUtf8(folder), error)) {
    const fs::path name = entry.path().filename();
    const std::string stem = Utf8FromPath(name.stem());
    const std::string extension = Utf8FromPath(name.extension());
    if (extension != ".dat" && extension != ".sig")
      continue;
    int number = 0;
    if (!ParseNumber(stem, 0, 2147483647, &number) || std::to_string(number) != stem)
      continue;
    if (numbers.count(number) == 0)
      stale.push_back(Utf8FromPath(entry.path()));
  }
  std::sort(stale.begin(), stale.end());
  return stale;
}

// A site folder this run made, removed again when the run fails before
// anything is committed to it (only while it is still empty).
class MadeFolder {
 public:
  ~MadeFolder() {
    if (!m_path.empty() && !m_keep) {
      std::error_code ignored;
      fs::remove(PathFromUtf8(m_path), ignored);
    }
  }
  void Made(const std::string& path) { m_path = path; }
  void Keep() { m_keep = true; }

 private:
  std::string m_path;
  bool m_keep = false;
};

}  // namespace

int RunSite(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  std::string error;
  if (!parsed.Parse(args,
                    {{"out", true},
                     {"authority-key", true},
                     {"authority", true},
                     {"address", true},
                     {"prune", false}},
                    &error)) {
    return UsageError(kName, error);
  }
  if (parsed.Has("help")) {
    std::printf("%s%s", kHelp, kExitStatusHelp.data());
    return kExitOk;
  }
  const auto& positional = parsed.Positional();
  if (!parsed.Has("out"))
    return UsageError(kName, "missing --out");
  if (positional.empty())
    return UsageError(kName, "missing MANIFEST");
  if (positional.size() > 1)
    return UsageError(kName, "too many arguments");
  const bool licensed = parsed.Has("authority-key");
  if (licensed != parsed.Has("authority"))
    return UsageError(kName, "--authority-key and --authority go together");
  int authority = 0;
  if (licensed && !ParseNumber(parsed.Value("authority"), 1, 2, &authority)) {
    return UsageError(kName,
                      "--authority must be 1 or 2, the authorities whose licences "
                      "clients accept, not '" +
                          parsed.Value("authority") + "'");
  }
  const std::string out = parsed.Value("out");
  if (out.empty())
    return UsageError(kName, "--out is empty");
  const std::string manifest_path = positional[0];

  // Read and check everything before anything is written.
  std::string manifest_text;
  if (!ReadWholeFile(manifest_path, &manifest_text, &error, kMaxManifestLength))
    return Failure(kName, error);
  SiteManifest manifest;
  if (!ParseManifest(manifest_path, manifest_text, &manifest, &error))
    return Failure(kName, error);
  if (parsed.Has("address")) {
    manifest.address = parsed.Value("address");
    if (const std::string problem = SubscriptionProblem(manifest.address); !problem.empty())
      return UsageError(kName, "--address '" + manifest.address + "': " + problem);
  }
  // A manifest's address that clients cannot subscribe to may still be
  // what a licence was asked for: only the subscription file is left out.
  const std::string subscription_problem =
      manifest.address.empty() ? std::string() : SubscriptionProblem(manifest.address);
  const bool subscribable = !manifest.address.empty() && subscription_problem.empty();
  if (!manifest.address.empty() && !subscribable) {
    Warn(kName, "no " + std::string(kSubscriptionFile) + " for the address \"" + manifest.address +
                    "\": " + subscription_problem);
  }
  if (licensed && manifest.address.empty()) {
    return Failure(kName, manifest_path +
                              ": a licence needs the provider's address; add "
                              "'address = http://...' before the sections");
  }
  if (licensed && (manifest.address.rfind("http://", 0) != 0 || manifest.address.back() != '/')) {
    Warn(kName, "clients store provider addresses as \"http://server/\"; this licence covers \"" +
                    manifest.address + "\" only");
  }
  std::error_code fs_error;
  const bool out_exists = fs::exists(PathFromUtf8(out), fs_error);
  if (out_exists && !fs::is_directory(PathFromUtf8(out), fs_error))
    return Failure(kName, "'" + out + "' is not a folder");

  PrivateKeyPtr key;
  Bytes key_record;
  if (!LoadPrivateKey(manifest.key_file, &key, &error) ||
      !MakeCheckedKeyRecord(*key, &key_record, &error)) {
    return Failure(kName, error);
  }
  if (PrivateKeyKind(*key) == KeyKind::kRsa && PrivateKeyBits(*key) > kMaxItemKeyBits) {
    return Failure(kName, "'" + manifest.key_file + "' is a " +
                              std::to_string(PrivateKeyBits(*key)) +
                              "-bit key; clients check item signatures of keys up to " +
                              std::to_string(kMaxItemKeyBits) +
                              " bits only; make one with 'gantrell-publish keygen --bits " +
                              std::to_string(kMaxItemKeyBits) + "'");
  }
  PrivateKeyPtr authority_key;
  // The digit that says which kind of key signed, in the item signatures
  // (where clients require it) and in control.sig (where they ignore it).
  const char signature_digit = ItemSignatureDigit(PrivateKeyKind(*key));
  if (licensed && !LoadPrivateKey(parsed.Value("authority-key"), &authority_key, &error))
    return Failure(kName, error);
  for (const std::string& secret : {manifest.key_file, parsed.Value("authority-key")}) {
    if (!secret.empty() && IsInside(secret, out)) {
      return Failure(kName, "the private key '" + secret + "' lies inside the site folder '" + out +
                                "', where the web server would hand it out");
    }
  }

  const std::string public_path = InFolder(out, "public.dat");
  const bool keep_public = PathExists(public_path);
  if (keep_public) {
    std::string current;
    if (!ReadWholeFile(public_path, &current, &error, 1024 * 1024))
      return Failure(kName, error);
    // Byte 7 of a key record is not part of the key.
    const Bytes published = ToBytes(current);
    const bool same_key = IsKeyRecord(published.data(), static_cast<int>(published.size())) &&
                          published.size() == key_record.size() &&
                          std::equal(published.begin() + kKeyRecordHeaderLength, published.end(),
                                     key_record.begin() + kKeyRecordHeaderLength);
    if (!same_key) {
      return Failure(kName, "'" + public_path + "' holds another key than '" + manifest.key_file +
                                "'; clients that trust it would refuse the site. Change keys "
                                "with 'gantrell-publish rotate', or remove public.dat to start "
                                "a new site");
    }
  }

  const CivilDate today = Today();
  const CivilDate list_date = manifest.list_date.value_or(today);
  // A key's date is the day it was first published with, not the day of the
  // latest build: clients ask for a licence once the key is 45 days old.
  CivilDate key_made = today;
  if (manifest.key_made)
    key_made = *manifest.key_made;
  else if (out_exists)
    PublishedKeyDate(out, key_record, &key_made);
  if (AddDays(today, 1) < key_made) {
    return Failure(kName, manifest_path +
                              (manifest.key_made ? ":" + std::to_string(manifest.key_made_line)
                                                 : std::string()) +
                              ": key-made lies in the future; clients refuse a site whose key "
                              "was made more than a day ahead");
  }

  MadeFolder made_folder;
  if (!out_exists) {
    if (!fs::create_directory(PathFromUtf8(out), fs_error))
      return Failure(kName, "cannot make the folder '" + out + "': " + fs_error.message());
    made_folder.Made(out);
  }

  std::vector<std::unique_ptr<PendingFile>> pending;
  auto prepare = [&](const std::string& name, std::string_view content) {
    pending.push_back(std::make_unique<PendingFile>());
    return pending.back()->Prepare(InFolder(out, name), content, PendingFile::Access::kPublic,
                                   &error);
  };

  SiteFacts facts;
  std::set<std::int32_t> numbers;
  int item_count = 0;
  int unchanged = 0;
  for (const ManifestGroup& group : manifest.groups) {
    facts.emplace_back();
    for (const ManifestItem& item : group.items) {
      const std::string where =
          manifest_path + ":" + std::to_string(item.file_line) + ": item \"" + item.name + "\": ";
      std::string content;
      if (!ReadWholeFile(item.file, &content, &error, kMaxItemLength))
        return Failure(kName, where + error);
      ItemFacts fact;
      fact.length = static_cast<std::int32_t>(content.size());
      fact.stamp = item.stamp.value_or(ContentStamp(content));
      fact.sha256 = Sha256Hex(content);
      if (item.date)
        fact.date = *item.date;
      else if (!FileDate(item.file, &fact.date))
        fact.date = today;
      facts.back().push_back(fact);
      numbers.insert(item.number);
      ++item_count;

      const std::string number = std::to_string(item.number);
      if (ItemUnchanged(InFolder(out, number + ".dat"), InFolder(out, number + ".sig"), content,
                        key_record)) {
        ++unchanged;
        continue;
      }
      Bytes signature;
      if (!SignChecked(*key, signature_digit, ToBytes(content), &signature, &error))
        return Failure(kName, where + error);
      if (!prepare(number + ".dat", content) || !prepare(number + ".sig", AsText(signature)))
        return Failure(kName, error);
    }
  }

  const std::string control = MakeControlText(manifest, list_date, key_made, facts);
  if (control.size() > kMaxControlLength) {
    return Failure(kName, "control.txt would be " + std::to_string(control.size()) +
                              " bytes; clients accept at most " +
                              std::to_string(kMaxControlLength));
  }
  if (!CheckControlText(control, manifest, facts, &error))
    return Failure(kName, "internal error: " + error);
  Bytes control_signature;
  Bytes licence;
  if (!SignChecked(*key, signature_digit, ToBytes(control), &control_signature, &error) ||
      (licensed && !SignChecked(*authority_key, static_cast<char>('0' + authority),
                                ToBytes(manifest.address), &licence, &error))) {
    return Failure(kName, error);
  }
  if ((!keep_public && !prepare("public.dat", AsText(key_record))) ||
      (licensed && !prepare("license.sig", AsText(licence))) ||
      (subscribable && !prepare(kSubscriptionFile, manifest.address)) ||
      !prepare("control.txt", control) || !prepare("control.sig", AsText(control_signature))) {
    return Failure(kName, error);
  }

  made_folder.Keep();
  for (const std::unique_ptr<PendingFile>& file : pending) {
    if (!file->Commit(true, &error))
      return Failure(kName, error + "; the site in '" + out + "' is left partly updated");
  }

  const std::vector<std::string> stale = StaleItemFiles(out, numbers);
  for (const std::string& path : stale) {
    if (!parsed.Has("prune")) {
      Warn(kName, "'" + path + "' belongs to no listed item (--prune removes it)");
    } else if (!fs::remove(PathFromUtf8(path), fs_error)) {
      Warn(kName, "cannot remove '" + path + "': " + fs_error.message());
    }
  }
  std::printf("%s: %d item%s in %zu group%s (%d unchanged); control.txt signed", out.c_str(),
              item_count, item_count == 1 ? "" : "s", manifest.groups.size(),
              manifest.groups.size() == 1 ? "" : "s", unchanged);
  std::printf("; public.dat %s", keep_public ? "kept" : "written");
  if (licensed)
    std::printf("; license.sig of authority %d for \"%s\"", authority, manifest.address.c_str());
  if (subscribable)
    std::printf("; %s for \"%s\"", kSubscriptionFile, manifest.address.c_str());
  if (parsed.Has("prune") && !stale.empty())
    std::printf("; %zu unlisted item file%s removed", stale.size(), stale.size() == 1 ? "" : "s");
  std::printf("\n");
  return kExitOk;
}

}  // namespace gantrell::publish
