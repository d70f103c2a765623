// Where downloaded items are filed: the download folder, one folder per
// provider named after its address, one per item number, then the item's
// location.
#pragma once

#include <string>
#include <string_view>

namespace gantrell {

// The provider's folder name: the address without "http://" and "https://",
// with ":", ".", "/" and "\" each turned into "_".
std::string ProviderFolderName(std::string_view address);

// Whether an item location may be appended below a download folder: it must
// not be absolute nor climb out with a ".." component (with either
// separator), since it comes from a provider's control file.
bool IsSafeLocation(std::string_view location);

// The folder a typed folder name means now: an absolute one as it is, a
// relative one joined to the current directory (whose "." components are
// dropped). The working directory is never changed.
std::string AbsoluteFolder(const std::string& folder);

}  // namespace gantrell
