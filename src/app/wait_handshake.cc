#include "app/wait_handshake.h"

namespace gantrell {

void CWaitHandshake::Reset() {
  std::lock_guard<std::mutex> lock(m_pWaitMutex);
  m_bWaitDlgUp = false;
  m_bFetchDone = false;
  m_bSilentSignalled = false;
  m_endNotice = nullptr;
}

void CWaitHandshake::SignalDone(bool silent) {
  std::lock_guard<std::mutex> lock(m_pWaitMutex);
  if (silent) {
    m_bSilentSignalled = true;
    m_fetchDoneEvent.notify_all();
    return;
  }
  m_bFetchDone = true;
  if (m_bWaitDlgUp && m_endNotice)
    m_endNotice();
}

bool CWaitHandshake::DialogShown(std::function<void()> end_notice) {
  std::lock_guard<std::mutex> lock(m_pWaitMutex);
  m_bWaitDlgUp = true;
  m_endNotice = std::move(end_notice);
  if (m_bFetchDone) {
    m_bWaitDlgUp = false;
    m_endNotice = nullptr;
    return true;
  }
  return false;
}

void CWaitHandshake::DialogEnded() {
  std::lock_guard<std::mutex> lock(m_pWaitMutex);
  m_bWaitDlgUp = false;
  m_endNotice = nullptr;
}

void CWaitHandshake::Cancel() {
  {
    std::lock_guard<std::mutex> lock(m_pWaitMutex);
    m_bFetchDone = true;
    m_bWaitDlgUp = false;
    m_endNotice = nullptr;
  }
  std::lock_guard<std::mutex> hook_lock(m_hookMutex);
  if (m_cancelHook)
    m_cancelHook();
}

void CWaitHandshake::SetCancelHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> hook_lock(m_hookMutex);
  m_cancelHook = std::move(hook);
}

void CWaitHandshake::WakeJob() {
  std::lock_guard<std::mutex> hook_lock(m_hookMutex);
  if (m_cancelHook)
    m_cancelHook();
}

bool CWaitHandshake::FetchDone() const {
  std::lock_guard<std::mutex> lock(m_pWaitMutex);
  return m_bFetchDone;
}

void CWaitHandshake::WaitSilentDone() {
  std::unique_lock<std::mutex> lock(m_pWaitMutex);
  m_fetchDoneEvent.wait(lock, [this] { return m_bSilentSignalled; });
  m_bSilentSignalled = false;
}

}  // namespace gantrell
