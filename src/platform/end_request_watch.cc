#include "platform/end_request_watch.h"

namespace gantrell {

EndRequestWatch::EndRequestWatch(const NativeHandle signal_ends[2], const NativeHandle stop_ends[2],
                                 std::function<void()> on_end)
    : m_signalEnds{signal_ends[0], signal_ends[1]},
      m_stopEnds{stop_ends[0], stop_ends[1]},
      m_onEnd(std::move(on_end)) {
  m_thread = std::thread([this] { Run(); });
}

}  // namespace gantrell
