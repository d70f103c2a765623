// Resumable pieces of network work. A step advances as far as it can without
// blocking and then says whether it is finished, waiting for a completion
// notice from the HTTP session, or ready to continue at once.
#pragma once

namespace gantrell {

// Step results shared by every step object. Any other value is a failure
// code that ends the step.
enum StepStatus : int {
  kStepFinished = 0,
  kStepWaiting = 1,
  kStepReady = 2,
};

// Failure codes of the transfers.
enum TransferFailure : int {
  kOpenFailed = 10,   // the URL could not be opened
  kReadFailed = 11,   // a read failed, a text was too long, or an unknown stage
  kCloseFailed = 12,  // closing the request failed
};

class CFetchStep {
 public:
  virtual ~CFetchStep() = default;
  // Advances the step. Returns kStepFinished, kStepWaiting, kStepReady or a
  // failure code. Called on the fetcher thread only, never under a lock.
  virtual int Step() = 0;
};

}  // namespace gantrell
