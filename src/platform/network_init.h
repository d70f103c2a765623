// Process-wide set-up of the network library, done once before any session.
#pragma once

namespace gantrell {

// Initialises the network library once per process; later calls return the
// first call's result. Thread-safe.
bool InitNetworking();

}  // namespace gantrell
