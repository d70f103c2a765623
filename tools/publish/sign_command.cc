// gantrell-publish sign: a signature record over a file or a text.
#include <cstdio>

#include "command.h"
#include "publish_keys.h"
#include "tool_files.h"

namespace gantrell::publish {

namespace {

constexpr std::string_view kName = "sign";

constexpr char kHelp[] =
    "Usage: gantrell-publish sign --key PRIVATE_KEY --out SIGNATURE [--digit D]\n"
    "                             (FILE | --text TEXT)\n"
    "\n"
    "Signs the bytes of FILE, or the characters of TEXT exactly as given (no line\n"
    "end is added), with PRIVATE_KEY and writes the signature record to SIGNATURE,\n"
    "replacing it if it exists. Item files are signed into the item number\n"
    "followed by \".sig\"; control.txt into control.sig. The key may be RSA or\n"
    "Ed25519; the record has the form of its kind.\n"
    "\n"
    "Options:\n"
    "  --key FILE    the signer's PEM private key\n"
    "  --out FILE    where to write the signature record\n"
    "  --digit D     byte 3 of the record, 0 to 9 (default: what item signatures\n"
    "                of the key's kind must carry, 1 for RSA and 2 for Ed25519)\n"
    "  --text TEXT   sign TEXT instead of a file\n"
    "  -h, --help    show this help\n"
    "\n";

}  // namespace

int RunSign(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {{"key", true}, {"out", true}, {"digit", true}, {"text", true}},
                    &error)) {
    return UsageError(kName, error);
  }
  if (parsed.Has("help")) {
    std::printf("%s%s", kHelp, kExitStatusHelp.data());
    return kExitOk;
  }
  const auto& positional = parsed.Positional();
  if (!parsed.Has("key"))
    return UsageError(kName, "missing --key");
  if (!parsed.Has("out"))
    return UsageError(kName, "missing --out");
  if (parsed.Has("text") && !positional.empty()) {
    return UsageError(kName, "give either FILE or --text, not both");
  }
  if (!parsed.Has("text") && positional.empty())
    return UsageError(kName, "missing FILE or --text");
  if (positional.size() > 1)
    return UsageError(kName, "too many arguments");
  int digit = -1;
  if (parsed.Has("digit") && !ParseNumber(parsed.Value("digit"), 0, 9, &digit)) {
    return UsageError(kName,
                      "--digit must be one digit 0 to 9, not '" + parsed.Value("digit") + "'");
  }
  const std::string out_path = parsed.Value("out");
  if (!positional.empty() && (positional[0] == out_path || SameFile(positional[0], out_path))) {
    return UsageError(kName, "SIGNATURE would replace the file being signed");
  }

  PrivateKeyPtr key;
  if (!LoadPrivateKey(parsed.Value("key"), &key, &error))
    return Failure(kName, error);
  if (digit < 0)
    digit = ItemSignatureDigit(PrivateKeyKind(*key)) - '0';
  Bytes message;
  if (parsed.Has("text")) {
    message = ToBytes(parsed.Value("text"));
  } else {
    std::string content;
    if (!ReadWholeFile(positional[0], &content, &error))
      return Failure(kName, error);
    message = ToBytes(content);
  }
  Bytes record;
  if (!SignChecked(*key, static_cast<char>('0' + digit), message, &record, &error)) {
    return Failure(kName, error);
  }
  PendingFile out;
  if (!out.Prepare(out_path, AsText(record), PendingFile::Access::kPublic, &error) ||
      !out.Commit(true, &error)) {
    return Failure(kName, error);
  }
  std::printf("%s: signature record SIG%d (%zu bytes) over %zu bytes\n", out_path.c_str(), digit,
              record.size(), message.size());
  return kExitOk;
}

}  // namespace gantrell::publish
