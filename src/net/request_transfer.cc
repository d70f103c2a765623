#include "net/request_transfer.h"

#include "platform/catalogue.h"

namespace gantrell {

RequestTransfer::RequestTransfer(FetchHost& host, int slot) : m_host(host), m_nSlot(slot) {}

RequestTransfer::~RequestTransfer() {
  // Closing also abandons a pending read, so the session never writes into
  // this object's buffers after it is gone.
  CloseRequest();
}

void RequestTransfer::Restart(const std::string& url) {
  CloseRequest();
  m_strUrl = url;
  m_outcome = {url, {}};
  m_nStage = 0;
  m_bReadPending = false;
  m_nBytesRead = 0;
}

void RequestTransfer::CloseRequest() {
  AsyncHttpSession* session = m_host.Session();
  // A request whose open is still pending is known only by the handle the
  // status callback recorded for the slot; a cancelled fetch closes it too.
  if (m_hRequest == 0 && m_bOpenPending)
    m_hRequest = m_host.RecordedHandle(m_nSlot);
  if (m_hRequest != 0 && session != nullptr)
    session->Close(m_hRequest);
  m_hRequest = 0;
  m_bOpenPending = false;
}

int RequestTransfer::Step() {
  AsyncHttpSession* session = m_host.Session();
  if (session == nullptr)
    return kOpenFailed;
  switch (m_nStage) {
    case 0: {
      BeginBody();
      HttpHandle handle = 0;
      const HttpResult opened = session->OpenUrl(m_strUrl, context(), &handle);
      if (opened == HttpResult::kFailed) {
        m_outcome.http.failure = HttpFailure::kOther;
        m_outcome.http.error = Tr("the address was not accepted");
        return kOpenFailed;
      }
      m_nStage = 1;
      if (opened == HttpResult::kPending) {
        m_bOpenPending = true;
        return kStepWaiting;
      }
      m_hRequest = handle;
      return ReadNext(session);
    }
    case 1:
      if (m_bOpenPending) {
        // The session announced the new request's handle before completing
        // the open; a failed open leaves that handle to be closed here.
        m_bOpenPending = false;
        m_hRequest = m_host.RecordedHandle(m_nSlot);
        if (m_hRequest == 0 || !m_host.LastCompletionSucceeded(m_nSlot))
          return Fail(session, kOpenFailed);
      }
      return ReadNext(session);
    case 2:
      if (m_bReadPending) {
        m_bReadPending = false;
        // A failed read must not pass for the end of the body.
        if (!m_host.LastCompletionSucceeded(m_nSlot))
          return Fail(session, kReadFailed);
      }
      return AfterRead(session);
    case 3:
      return kStepFinished;
    case kFailedStage:
      return m_nFailure;  // a failed transfer never turns into a success
    default:
      return kReadFailed;
  }
}

int RequestTransfer::ReadNext(AsyncHttpSession* session) {
  std::size_t room = 0;
  std::uint8_t* target = ReadTarget(&room);
  m_nBytesRead = 0;
  m_nStage = 2;
  if (room == 0)
    return AfterRead(session);  // full: the rest of the body is never read
  const HttpResult read = session->Read(m_hRequest, target, room, &m_nBytesRead, context());
  if (read == HttpResult::kPending) {
    m_bReadPending = true;
    return kStepWaiting;
  }
  if (read == HttpResult::kFailed)
    return Fail(session, kReadFailed);
  return AfterRead(session);
}

int RequestTransfer::AfterRead(AsyncHttpSession* session) {
  const std::size_t count = m_nBytesRead;
  if (count == 0) {
    RecordOutcome(session);
    const bool closed = session->Close(m_hRequest);
    m_hRequest = 0;
    m_nStage = 3;
    return closed ? static_cast<int>(kStepFinished) : static_cast<int>(kCloseFailed);
  }
  const int taken = TakeChunk(count);
  if (taken != kStepReady)
    return Fail(session, taken);
  m_nStage = 1;
  return kStepReady;
}

int RequestTransfer::StepNoting(CProvider& provider) {
  const int result = Step();
  if (result != kStepWaiting && result != kStepReady)
    provider.NoteTransfer(m_outcome);
  return result;
}

void RequestTransfer::RecordOutcome(AsyncHttpSession* session) {
  if (m_hRequest != 0)
    m_outcome.http = session->Outcome(m_hRequest);
}

int RequestTransfer::Fail(AsyncHttpSession* session, int code) {
  RecordOutcome(session);
  // A failure the session cannot explain is still a failure.
  if (m_outcome.http.failure == HttpFailure::kNone && !m_outcome.Failed()) {
    m_outcome.http.failure = HttpFailure::kOther;
    if (m_outcome.http.error.empty())
      m_outcome.http.error =
          code == kOpenFailed ? Tr("the connection failed") : Tr("the transfer failed");
  }
  if (m_hRequest != 0)
    session->Close(m_hRequest);
  m_hRequest = 0;
  m_nStage = kFailedStage;
  m_nFailure = code;
  return code;
}

}  // namespace gantrell
