#include "model/size_text.h"

#include <gtest/gtest.h>

namespace gantrell {
namespace {

TEST(SizeTextTest, WholeUnitsBelowAndAboveOneMebibyte) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "Size: 0.0K"},
      {1023, "Size: 0.0K"},
      {1536, "Size: 1.0K"},
      {1048576, "Size: 1024.0K"},
      {1048577, "Size: 1.0M"},
      {3000000, "Size: 2.0M"},
      {2147483647, "Size: 2047.0M"},
  };
  for (const auto& [bytes, text] : cases)
    EXPECT_EQ(FormatSizeText(bytes), text) << bytes;
}

}  // namespace
}  // namespace gantrell
