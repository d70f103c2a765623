// Fetches a text file of at most kMaxTextLength characters. A chunk is cut
// at its first NUL byte, so the text never holds one.
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
  // empty after a text that was too long (kReadFailed).
  std::string& GetText() { return m_strText; }

 private:
  void BeginBody() override;
  std::uint8_t* ReadTarget(std::size_t* room) override;
  int TakeChunk(std::size_t count) override;

  std::string m_strText;
  std::array<std::uint8_t, kChunkSize + 1> m_readBuffer{};
};

}  // namespace gantrell
