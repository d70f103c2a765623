// A file above the platform layer that reaches for Windows itself (in the
// spelling Windows headers are often written in): scripts/check-boundary
// must refuse it.
#pragma once

  #  include "Windows.h"
