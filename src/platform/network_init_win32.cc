#include "platform/network_init.h"

namespace gantrell {

// WinINet needs no process-wide set-up: each session opens its own
// internet handle.
bool InitNetworking() { return true; }

}  // namespace gantrell
