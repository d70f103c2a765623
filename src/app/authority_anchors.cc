#include "app/authority_anchors.h"

#include "gantrell_install_layout.h"
#include "model/provider.h"
#include "net/signature.h"
#include "platform/atomic_file.h"
#include "platform/catalogue.h"
#include "platform/folders.h"
#include "platform/process.h"

namespace gantrell {

std::string InstalledAuthorityFolder() {
  const std::string program = ProgramPath();
  if (program.empty())
    return std::string();
  return ParentFolder(program) + "/" + kBinToDataDir + "/gantrell/authority";
}

bool AuthorityKeysRequired() {
  return kAuthorityKeysInstalled;
}

std::string AuthorityEntryName(int index) {
  const std::string file = kAnchorFileNames[static_cast<std::size_t>(index)];
  return file.substr(0, file.size() - 4);  // without ".dat"
}

AnchorRead ReadAuthorityAnchors(const std::string& folder, AnchorRecords* records,
                                std::string* error) {
  const PathKind kind = folder.empty() ? PathKind::kMissing : KindOfPath(folder);
  if (kind == PathKind::kMissing)
    return AnchorRead::kNone;
  if (kind != PathKind::kFolder) {
    *error = Subst(Tr("%1 is not a folder"), {folder});
    return AnchorRead::kBroken;
  }
  for (int i = 0; i < kAuthorityEntryCount; ++i) {
    const std::string path = folder + "/" + kAnchorFileNames[static_cast<std::size_t>(i)];
    std::string content;
    bool missing = false;
    std::string reason;
    if (!ReadWholeFile(path, &content, &missing, &reason)) {
      *error = missing ? Subst(Tr("%1 is missing"), {path}) : reason;
      return AnchorRead::kBroken;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
    const int size = static_cast<int>(content.size());
    CProvider probe;
    if (content.size() <= static_cast<std::size_t>(kMaxRecordLength) && IsKeyRecord(bytes, size))
      probe.SetPublicKey(bytes, size);
    if (!probe.HasPublicKey()) {
      *error = Subst(Tr("%1 is not a key record"), {path});
      return AnchorRead::kBroken;
    }
    (*records)[static_cast<std::size_t>(i)].assign(bytes, bytes + size);
  }
  return AnchorRead::kRead;
}

}  // namespace gantrell
