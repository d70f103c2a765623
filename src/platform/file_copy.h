// Copying a file so that the destination only ever holds a whole copy.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace gantrell {

// The block size of a copy.
inline constexpr std::size_t kCopyBlockSize = 256;

// Copies `source` to `destination` in blocks of kCopyBlockSize bytes until
// a read returns fewer. The copy is written to a new file beside the
// destination and renamed over it at the end, so that an existing file
// there is replaced only by a complete copy, and a failure (a read or
// write error, no such folder, a full disk) leaves no partial file and the
// destination as it was; copying a file onto itself leaves it intact.
// Returns false with the reason in *error (when given). `on_read`, when
// given, learns the length of every read.
bool CopyFileInBlocks(const std::string& source, const std::string& destination,
                      std::string* error = nullptr,
                      const std::function<void(std::size_t)>& on_read = {});

}  // namespace gantrell
