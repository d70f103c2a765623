#include "net/text_transfer.h"

#include <cstring>

namespace gantrell {

CTextTransfer::CTextTransfer(FetchHost& host, int slot) : RequestTransfer(host, slot) {}

void CTextTransfer::SetUrl(const std::string& url) {
  Restart(url);
  m_strText.clear();
  m_nReceived = 0;
}

void CTextTransfer::BeginBody() {
  m_strText.clear();
  m_nReceived = 0;
}

std::uint8_t* CTextTransfer::ReadTarget(std::size_t* room) {
  *room = kChunkSize;
  return m_readBuffer.data();
}

int CTextTransfer::TakeChunk(std::size_t count) {
  m_nReceived += count;
  if (m_nReceived > kMaxTextLength) {
    // Too long to be a control file; a cut text must never be parsed.
    m_strText.clear();
    return kReadFailed;
  }
  m_readBuffer[count] = 0;
  const char* chunk = reinterpret_cast<const char*>(m_readBuffer.data());
  m_strText.append(chunk, std::strlen(chunk));
  return kStepReady;
}

}  // namespace gantrell
