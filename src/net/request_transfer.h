// The part shared by the binary and the text transfer: one GET at a time in
// a fetch slot, opened, read chunk by chunk and closed, each operation
// possibly completing later on the session's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/provider.h"
#include "net/fetch_host.h"
#include "net/fetch_step.h"
#include "platform/http.h"

namespace gantrell {

class RequestTransfer : public CFetchStep {
 public:
  // Closes a request that is still open.
  ~RequestTransfer() override;

  RequestTransfer(const RequestTransfer&) = delete;
  RequestTransfer& operator=(const RequestTransfer&) = delete;

  // Runs the transfer: kStepWaiting while the session works, kStepReady
  // after each chunk, kStepFinished once the whole body (or as much as the
  // transfer keeps) is in and the request is closed, else a TransferFailure.
  int Step() final;

  // Step, and once the transfer has ended (any result but waiting or
  // ready), notes what it saw on `provider`.
  int StepNoting(CProvider& provider);
  // What the transfer saw: the response's status, or why it failed.
  const TransferOutcome& outcome() const { return m_outcome; }

  const std::string& url() const { return m_strUrl; }
  int slot() const { return m_nSlot; }

 protected:
  RequestTransfer(FetchHost& host, int slot);

  // Sets the address and rewinds to the start; a request still open is
  // closed first.
  void Restart(const std::string& url);

  // Called when the request is about to be opened.
  virtual void BeginBody() = 0;
  // Where the next chunk goes and how much room it has; no room ends the
  // transfer without reading further.
  virtual std::uint8_t* ReadTarget(std::size_t* room) = 0;
  // Takes `count` (> 0) bytes just read into the target. Returns kStepReady
  // to read on, or a failure code.
  virtual int TakeChunk(std::size_t count) = 0;

 private:
  // Closes the open request, one still opening included.
  void CloseRequest();
  int ReadNext(AsyncHttpSession* session);
  int AfterRead(AsyncHttpSession* session);
  int Fail(AsyncHttpSession* session, int code);
  // Takes what the session knows about the open request.
  void RecordOutcome(AsyncHttpSession* session);
  std::uintptr_t context() const { return static_cast<std::uintptr_t>(m_nSlot) + kSlotContextBase; }

  static constexpr int kFailedStage = 4;

  FetchHost& m_host;
  int m_nSlot;
  std::string m_strUrl;
  int m_nStage = 0;
  HttpHandle m_hRequest = 0;
  int m_nFailure = 0;
  bool m_bOpenPending = false;
  bool m_bReadPending = false;
  TransferOutcome m_outcome;
  // Written by the session's thread while a read is pending; read after its
  // completion notice, which reaches this thread through the fetcher's lock.
  std::size_t m_nBytesRead = 0;
};

}  // namespace gantrell
