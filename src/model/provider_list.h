// The ordered list of providers the application owns.
#pragma once

#include <memory>
#include <vector>

#include "model/provider.h"

namespace gantrell {

using ProviderList = std::vector<std::unique_ptr<CProvider>>;

}  // namespace gantrell
