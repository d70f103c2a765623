// Whole runs of gantrell-cli in the user's language: German from the
// catalogue compiled into the build tree, English without it.
#include "cli/cli_fixture.h"

namespace gantrell::cli_test {
namespace {

class CliLanguageTest : public CliTest {
 protected:
  RunResult CliWith(const std::vector<std::string>& args, const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {testing::BuiltProgram("src/gantrell-cli")};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = Environment();
    env.insert(env.end(), extra.begin(), extra.end());
    return Child(argv, env, Path("lang.out"), Path("lang.err")).Wait();
  }
};

TEST_F(CliLanguageTest, HelpAndUsageErrorsFollowTheUsersLanguage) {
  const struct {
    std::vector<std::string> env;
    bool german;
  } cases[] = {
      {{"LANGUAGE=de"}, true},
      {{"LANGUAGE=fr:de"}, true},
      {{"LANG=de_AT.UTF-8"}, true},
      {{"LC_ALL=de_DE.UTF-8", "LANG=en_GB.UTF-8"}, true},
      {{}, false},
      {{"LANG=C"}, false},
      {{"LC_ALL=C", "LANG=de_DE.UTF-8"}, false},
      {{"LANGUAGE=fr"}, false},
  };
  const std::string english_help = CliWith({"--help"}, {}).out;
  for (const auto& c : cases) {
    const std::string shown = c.env.empty() ? "(no language)" : c.env[0];
    const RunResult help = CliWith({"--help"}, c.env);
    EXPECT_EQ(help.status, 0) << shown;
    const RunResult check_help = CliWith({"check", "--help"}, c.env);
    const RunResult failed = CliWith({"chek"}, c.env);
    EXPECT_EQ(failed.status, 2) << shown;
    if (c.german) {
      EXPECT_EQ(help.out.rfind("Aufruf: gantrell-cli BEFEHL [OPTIONEN] [ARGUMENTE]\n", 0), 0u)
          << shown << "\n"
          << help.out;
      EXPECT_NE(help.out.find("Optionen (jeder Befehl):\n"), std::string::npos) << shown;
      EXPECT_NE(help.out.find("  0  Erfolg\n"), std::string::npos) << shown;
      EXPECT_NE(check_help.out.find("Ruft die Aktualisierungslisten der Anbieter ab"),
                std::string::npos)
          << shown << "\n"
          << check_help.out;
      EXPECT_EQ(failed.err,
                "gantrell-cli: unbekannter Befehl 'chek' (meinten Sie 'check'?)\n"
                "Versuchen Sie 'gantrell-cli --help'.\n")
          << shown;
    } else {
      EXPECT_EQ(help.out, english_help) << shown;
      EXPECT_EQ(help.out.rfind("Usage: gantrell-cli COMMAND [OPTIONS] [ARGUMENTS]\n", 0), 0u)
          << shown;
      EXPECT_EQ(failed.err,
                "gantrell-cli: unknown command 'chek' (did you mean 'check'?)\n"
                "Try 'gantrell-cli --help'.\n")
          << shown;
    }
  }
}

// The German help keeps to the terminal's 80 columns, counted in
// characters, not in bytes.
TEST_F(CliLanguageTest, GermanHelpLinesFitEightyColumns) {
  for (const char* command : {"--help", "files", "check", "move", "groups"}) {
    std::vector<std::string> args = {command};
    if (args[0][0] != '-')
      args.push_back("--help");
    const RunResult help = CliWith(args, {"LANGUAGE=de"});
    std::size_t start = 0;
    while (start < help.out.size()) {
      std::size_t end = help.out.find('\n', start);
      if (end == std::string::npos)
        end = help.out.size();
      const std::string line = help.out.substr(start, end - start);
      std::size_t columns = 0;
      for (char c : line)
        columns += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
      // Long command usages stand alone on their line, as in English.
      if (line.find("gantrell-cli") == std::string::npos && line.rfind("  move ITEM", 0) != 0) {
        EXPECT_LE(columns, 80u) << command << ": " << line;
      }
      start = end + 1;
    }
  }
}

}  // namespace
}  // namespace gantrell::cli_test
