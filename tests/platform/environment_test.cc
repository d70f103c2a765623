#include "platform/environment.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace gantrell {
namespace {

using testing::ScopedEnv;

TEST(ExpandEnvironmentStringsTest, ExpandsKnownNamesAndKeepsTheRest) {
  ScopedEnv home("GANTRELL_T_HOME", "/home/u");
  ScopedEnv empty("GANTRELL_T_EMPTY", "");
  ScopedEnv percent("GANTRELL_T_PCT", "%GANTRELL_T_HOME%");
  ScopedEnv unset("GANTRELL_T_UNSET", nullptr);
  struct Case {
    std::string_view input;
    std::string_view expected;
  };
  const Case cases[] = {
      {"", ""},
      {"no references", "no references"},
      {"%GANTRELL_T_HOME%\\Gantrell", "/home/u\\Gantrell"},
      {"%GANTRELL_T_HOME%%GANTRELL_T_HOME%", "/home/u/home/u"},
      {"[%GANTRELL_T_EMPTY%]", "[]"},
      {"%GANTRELL_T_UNSET%", "%GANTRELL_T_UNSET%"},
      {"%gantrell_t_home%", "%gantrell_t_home%"},
      {"%GANTRELL_T_UNSET%GANTRELL_T_HOME%", "%GANTRELL_T_UNSET/home/u"},
      {"50% of %GANTRELL_T_HOME%", "50% of /home/u"},
      {"100%", "100%"},
      {"%", "%"},
      {"%%", "%%"},
      {"a%%b", "a%%b"},
      {"%GANTRELL_T_HOME", "%GANTRELL_T_HOME"},
      {"%A=B%", "%A=B%"},
      {"%GANTRELL_T_PCT%", "%GANTRELL_T_HOME%"},  // values are not expanded again
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandEnvironmentStrings(c.input), c.expected) << c.input;
  }
}

}  // namespace
}  // namespace gantrell
