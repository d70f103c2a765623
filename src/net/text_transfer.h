// Fetches a text file of at most kMaxTextLength bytes. A chunk is cut at its
// first NUL byte, so the text never holds one; the limit counts the bytes
// received, cut or kept, so that a server streaming NUL bytes is stopped too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/request_transfer.h"

namespace gantrell {

class CTextTransfer : public RequestTransfer {
 public:
  static constexpr std::size_t kMaxTextLength = 1000000;
  static constexpr std::size_t kChunkSize = 512;

  CTextTransfer(FetchHost& host, int slot);

  // Sets the address, rewinds and empties the text.
  void SetUrl(const std::string& url);

  // The text received so far; complete once Step returned kStepFinished,
  // empty after a body of more than kMaxTextLength bytes (kReadFailed).
  std::string& GetText() { return m_strText; }

 private:
  void BeginBody() override;
  std::uint8_t* ReadTarget(std::size_t* room) override;
  int TakeChunk(std::size_t count) override;

  std::string m_strText;
  std::size_t m_nReceived = 0;  // body bytes received, NUL cuts included
  std::array<std::uint8_t, kChunkSize + 1> m_readBuffer{};
};

}  // namespace gantrell
