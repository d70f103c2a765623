#include "platform/http_response_headers.h"

#include <gtest/gtest.h>

namespace gantrell {
namespace {

TEST(HttpResponseHeadersTest, ReadsContentRangeOrNothing) {
  const struct {
    std::string value;
    std::int64_t first;
    std::int64_t total;
  } cases[] = {
      {"bytes 100-199/200", 100, 200},
      {"Bytes 0-0/1", 0, 1},
      {"bytes 5-9/*", 5, -1},
      {"bytes */4096", -1, 4096},  // a refusal names the length only
      {"bytes 100-199/150", -1, -1},  // past the end
      {"bytes 200-100/300", -1, -1},  // backwards
      {"bytes 1-2", -1, -1},
      {"items 1-2/3", -1, -1},
      {"bytes -1-2/3", -1, -1},
      {"bytes 1-2/x", -1, -1},
      {"", -1, -1},
  };
  for (const auto& c : cases) {
    HttpResponseInfo response;
    response.range_first = 7;  // stale values must not survive
    response.range_total = 7;
    ReadContentRange(c.value, &response);
    EXPECT_EQ(response.range_first, c.first) << "\"" << c.value << "\"";
    EXPECT_EQ(response.range_total, c.total) << "\"" << c.value << "\"";
  }
}

TEST(HttpResponseHeadersTest, ReadsOnlyWholeDecimalNumbers) {
  const struct {
    std::string text;
    std::int64_t value;
  } cases[] = {{"0", 0},           {"1234", 1234},   {"", -1},   {"12a", -1},
               {" 12", -1},        {"-3", -1},       {"999999999999999999", 999999999999999999},
               {"1000000000000000000", -1}};
  for (const auto& c : cases)
    EXPECT_EQ(HttpWholeNumber(c.text), c.value) << "\"" << c.text << "\"";
}

}  // namespace
}  // namespace gantrell
