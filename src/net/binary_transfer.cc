#include "net/binary_transfer.h"

namespace gantrell {

CBinaryTransfer::CBinaryTransfer(FetchHost& host, int slot, std::size_t capacity)
    : RequestTransfer(host, slot),
      m_nCapacity(capacity),
      m_pBuffer(std::make_unique<std::uint8_t[]>(capacity)) {}

void CBinaryTransfer::SetUrl(const std::string& url) {
  Restart(url);
  m_nWritePos = 0;
  m_nReceived = 0;
}

const std::uint8_t* CBinaryTransfer::GetData(int* count) const {
  *count = static_cast<int>(m_nReceived);
  return m_pBuffer.get();
}

void CBinaryTransfer::BeginBody() {
  m_nWritePos = 0;
  m_nReceived = 0;
}

std::uint8_t* CBinaryTransfer::ReadTarget(std::size_t* room) {
  *room = m_nCapacity - m_nWritePos;
  return m_pBuffer.get() + m_nWritePos;
}

int CBinaryTransfer::TakeChunk(std::size_t count) {
  m_nWritePos += count < m_nCapacity - m_nWritePos ? count : m_nCapacity - m_nWritePos;
  m_nReceived = m_nWritePos;
  return kStepReady;
}

}  // namespace gantrell
