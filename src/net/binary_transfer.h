// Fetches a small file into a fixed buffer. Only the first `capacity` bytes
// of a longer file are kept; the rest is never read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/request_transfer.h"

namespace gantrell {

class CBinaryTransfer : public RequestTransfer {
 public:
  static constexpr std::size_t kDefaultCapacity = 512;

  CBinaryTransfer(FetchHost& host, int slot, std::size_t capacity = kDefaultCapacity);

  // Sets the address and rewinds; the received count becomes 0. The object
  // may fetch several files one after the other.
  void SetUrl(const std::string& url);

  // The buffer (valid as long as the transfer) and the number of bytes
  // received into it. Bytes past the count are zero or left from an earlier
  // file; callers use only the first `*count`.
  const std::uint8_t* GetData(int* count) const;

 private:
  void BeginBody() override;
  std::uint8_t* ReadTarget(std::size_t* room) override;
  int TakeChunk(std::size_t count) override;

  std::size_t m_nCapacity;
  std::unique_ptr<std::uint8_t[]> m_pBuffer;
  std::size_t m_nWritePos = 0;
  std::size_t m_nReceived = 0;
};

}  // namespace gantrell
