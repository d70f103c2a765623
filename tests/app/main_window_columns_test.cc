// The size and date columns of the main window's list, which read as the
// console's list does.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/main_window_model.h"

namespace gantrell {
namespace {

TEST(MainWindowColumns, SizeText) {
  const struct {
    std::int64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 B"},           {1023, "1023 B"},          {1024, "1.0K"},
      {3000, "2.0K"},       {1048576, "1024.0K"},      {1048577, "1.0M"},
      {3000000, "2.0M"},    {-5, "0.0K"},              {5368709120LL, "5120.0M"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ItemSizeText(c.bytes), c.text) << c.bytes;
}

TEST(MainWindowColumns, DateText) {
  const struct {
    const char* stored;
    const char* text;
  } cases[] = {
      {"1 6 2020", "2020-06-01"},
      {"31 12 1999", "1999-12-31"},
      {"  7  3  2021 ", "2021-03-07"},
      {"", ""},
      {"yesterday", "yesterday"},
      {"1 6", "1 6"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ItemDateText(c.stored), c.text) << '"' << c.stored << '"';
}

}  // namespace
}  // namespace gantrell
