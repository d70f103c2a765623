#include "platform/network_init.h"

#include <curl/curl.h>

#include <mutex>

namespace gantrell {

bool InitNetworking() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

}  // namespace gantrell
