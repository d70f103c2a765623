#include "support/hand_off_client.h"

#include <gtest/gtest.h>

namespace gantrell::testing {

const char* WithoutHandOffConnections() {
  return "the hand-off on Windows is a named event, which takes no connections";
}

SilentHandOffClient::SilentHandOffClient(const std::string&) {
  ADD_FAILURE() << WithoutHandOffConnections();
}

SilentHandOffClient::~SilentHandOffClient() = default;

void SilentHandOffClient::Hang() const {}

}  // namespace gantrell::testing
