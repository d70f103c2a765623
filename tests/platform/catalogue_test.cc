#include "platform/catalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>

#include "support/temp_dir.h"

namespace gantrell {
namespace {

using testing::TempDir;

// A .po file with a three-form plural rule, compiled by msgfmt.
constexpr const char* kPolishLikePo = R"(msgid ""
msgstr ""
"Content-Type: text/plain; charset=UTF-8\n"
"Plural-Forms: nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);\n"

msgid "Nothing was copied."
msgstr "Nic nie skopiowano."

msgid "%1 from %2"
msgstr "%2: %1"

msgid "Untranslated"
msgstr ""

msgid "%1 file"
msgid_plural "%1 files"
msgstr[0] "%1 plik"
msgstr[1] "%1 pliki"
msgstr[2] "%1 plikow"
)";

std::string Compile(const TempDir& dir, const std::string& po, const std::string& endianness) {
  const std::string source = dir.WriteFile("c.po", po);
  const std::string mo = dir.File("c-" + endianness + ".mo");
  const std::string command =
      "msgfmt --endianness=" + endianness + " -o '" + mo + "' '" + source + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(mo, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CatalogueTest : public ::testing::Test {
 protected:
  ~CatalogueTest() override { SetCatalogue(nullptr); }
  TempDir dir_;
};

TEST_F(CatalogueTest, ReadsBothByteOrdersWithTheirPluralRule) {
  for (const char* order : {"little", "big"}) {
    const std::string image = Compile(dir_, kPolishLikePo, order);
    ASSERT_FALSE(image.empty()) << order;
    CCatalogue catalogue;
    std::string error;
    ASSERT_TRUE(catalogue.Load(image, &error)) << order << ": " << error;
    ASSERT_NE(catalogue.Find("Nothing was copied."), nullptr) << order;
    EXPECT_EQ(*catalogue.Find("Nothing was copied."), "Nic nie skopiowano.") << order;
    EXPECT_EQ(catalogue.Find("Untranslated"), nullptr) << order;
    EXPECT_EQ(catalogue.Find("Not in the catalogue"), nullptr) << order;
    const std::map<std::uint64_t, std::string> forms = {
        {1, "%1 plik"},    {2, "%1 pliki"},  {4, "%1 pliki"},  {5, "%1 plikow"},
        {12, "%1 plikow"}, {22, "%1 pliki"}, {0, "%1 plikow"}, {111, "%1 plikow"}};
    for (const auto& [n, form] : forms) {
      const std::string* found = catalogue.FindPlural("%1 file", n);
      ASSERT_NE(found, nullptr) << order << " n=" << n;
      EXPECT_EQ(*found, form) << order << " n=" << n;
    }
  }
}

TEST_F(CatalogueTest, TrFallsBackToTheEnglishTextAndSubstReordersPlaceholders) {
  EXPECT_EQ(Tr("Nothing was copied."), "Nothing was copied.");
  EXPECT_EQ(TrN("%1 file", "%1 files", 1), "%1 file");
  EXPECT_EQ(TrN("%1 file", "%1 files", 3), "%1 files");
  auto catalogue = std::make_unique<CCatalogue>();
  std::string error;
  ASSERT_TRUE(catalogue->Load(Compile(dir_, kPolishLikePo, "little"), &error)) << error;
  SetCatalogue(std::move(catalogue));
  EXPECT_EQ(Tr("Nothing was copied."), "Nic nie skopiowano.");
  EXPECT_EQ(Tr("Untranslated"), "Untranslated");
  EXPECT_EQ(Tr("Not in the catalogue"), "Not in the catalogue");
  EXPECT_EQ(Subst(TrN("%1 file", "%1 files", 3), {"3"}), "3 pliki");
  EXPECT_EQ(TrN("%1 dog", "%1 dogs", 3), "%1 dogs");
  EXPECT_EQ(Subst(Tr("%1 from %2"), {"tool", "Example"}), "Example: tool");
}

TEST(SubstTest, FillsNumberedPlaceholdersOnly) {
  const struct {
    const char* text;
    std::vector<std::string> args;
    const char* expected;
  } cases[] = {
      {"%1 from %2", {"a", "b"}, "a from b"},
      {"%2 then %1 and %1", {"a", "b"}, "b then a and a"},
      {"%1 and %3", {"a"}, "a and %3"},  // no argument: kept
      {"50% of %1", {"x"}, "50% of x"},  // other "%" kept
      {"100%", {}, "100%"},
      {"%%1", {"x"}, "%x"},
      {"%1", {"%2"}, "%2"},  // arguments are not scanned again
      {"ends with %", {"x"}, "ends with %"},
  };
  for (const auto& c : cases) {
    std::vector<std::string_view> views(c.args.begin(), c.args.end());
    std::string result;
    switch (views.size()) {
      case 0:
        result = Subst(c.text, {});
        break;
      case 1:
        result = Subst(c.text, {views[0]});
        break;
      default:
        result = Subst(c.text, {views[0], views[1]});
        break;
    }
    EXPECT_EQ(result, c.expected) << c.text;
  }
}

TEST(PluralRuleTest, EvaluatesTheCSubsetWithItsPrecedences) {
  const struct {
    const char* rule;
    std::uint64_t n;
    std::uint64_t expected;
  } cases[] = {
      {"n != 1", 1, 0},
      {"n != 1", 0, 1},
      {"(n != 1)", 7, 1},
      {"0", 5, 0},
      {"n>1", 1, 0},
      {"n==1 ? 0 : n==2 ? 1 : 2", 2, 1},
      {"n==1 ? 0 : n==2 ? 1 : 2", 9, 2},
      {"n%10==1 && n%100!=11 ? 0 : 1", 21, 0},
      {"n%10==1 && n%100!=11 ? 0 : 1", 11, 1},
      {"1 + 2 * 3", 0, 7},
      {"(1 + 2) * 3", 0, 9},
      {"!n", 0, 1},
      {"!!n", 5, 1},
      {"n - 1 - 1", 5, 3},
      {"n / 0", 5, 0},  // no crash on a hostile rule
      {"n % 0", 5, 0},
      {"n <= 3 || n >= 10", 11, 1},
  };
  for (const auto& c : cases) {
    std::uint64_t value = 99;
    ASSERT_TRUE(EvaluatePluralRule(c.rule, c.n, &value)) << c.rule;
    EXPECT_EQ(value, c.expected) << c.rule << " n=" << c.n;
  }
  for (const std::string& bad :
       {std::string(""), std::string("n +"), std::string("(n"), std::string("n ? 1"),
        std::string("x"), std::string("n 1"), std::string("1234567890123"),
        std::string(10000, '(') + "n" + std::string(10000, ')'), std::string(5000, '!') + "n"}) {
    std::uint64_t value = 0;
    EXPECT_FALSE(EvaluatePluralRule(bad, 1, &value)) << bad.substr(0, 40);
  }
}

// A hand-made little-endian image of one entry ("a" -> "b"), to damage.
std::string TinyImage() {
  auto word = [](std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
      s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return s;
  };
  std::string image =
      word(0x950412de) + word(0) + word(1) + word(28) + word(36) + word(0) + word(0);
  image += word(1) + word(44);  // original: "a" at 44
  image += word(1) + word(46);  // translation: "b" at 46
  image += std::string("a\0b\0", 4);
  return image;
}

TEST(CatalogueLoadTest, RefusesDamagedImagesSafely) {
  {
    CCatalogue catalogue;
    std::string error;
    ASSERT_TRUE(catalogue.Load(TinyImage(), &error)) << error;
    ASSERT_NE(catalogue.Find("a"), nullptr);
    EXPECT_EQ(*catalogue.Find("a"), "b");
  }
  const auto damaged = [](std::size_t at, std::string bytes) {
    std::string image = TinyImage();
    image.replace(at, bytes.size(), bytes);
    return image;
  };
  const std::map<std::string, std::string> cases = {
      {"empty", ""},
      {"truncated header", TinyImage().substr(0, 20)},
      {"truncated strings", TinyImage().substr(0, 45)},
      {"bad magic", damaged(0, "ABCD")},
      {"unknown revision", damaged(4, std::string("\0\0\2\0", 4))},
      {"count beyond the file", damaged(8, std::string("\xff\xff\xff\x0f", 4))},
      {"table beyond the file", damaged(12, std::string("\xf0\xff\xff\xff", 4))},
      {"string offset beyond the file", damaged(32, std::string("\xff\xff\xff\xff", 4))},
      {"string length beyond the file", damaged(36, std::string("\xff\xff\xff\xff", 4))},
      {"string without its terminator", damaged(45, "x")},
  };
  for (const auto& [name, image] : cases) {
    CCatalogue catalogue;
    std::string error;
    EXPECT_FALSE(catalogue.Load(image, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
    EXPECT_EQ(catalogue.size(), 0u) << name;
  }
}

TEST_F(CatalogueTest, RefusesAnUnreadablePluralRule) {
  std::string po = kPolishLikePo;
  po.replace(po.find("plural=("), 8, "plural=((");
  CCatalogue catalogue;
  std::string error;
  EXPECT_FALSE(catalogue.Load(Compile(dir_, po, "little"), &error));
  EXPECT_EQ(catalogue.Find("Nothing was copied."), nullptr);
}

TEST(LanguagesTest, FollowsTheGettextVariables) {
  const struct {
    std::map<std::string, std::string> env;
    std::vector<std::string> expected;
  } cases[] = {
      {{{"LANGUAGE", "de:fr"}, {"LANG", "en_US.UTF-8"}}, {"de", "fr"}},
      {{{"LANG", "de_AT.UTF-8"}}, {"de_AT", "de"}},
      {{{"LANG", "de_DE.UTF-8@euro"}}, {"de_DE", "de"}},
      {{{"LANG", "C"}}, {}},
      {{{"LANG", "POSIX"}}, {}},
      {{{"LANG", "C.UTF-8"}}, {}},
      {{}, {}},
      {{{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}, {}},
      {{{"LC_MESSAGES", "fr_CA"}, {"LANG", "de_DE"}}, {"fr_CA", "fr"}},
      {{{"LANGUAGE", ""}, {"LC_ALL", "de_CH.UTF-8"}}, {"de_CH", "de"}},
      {{{"LANGUAGE", "pt_BR:de_AT:de"}}, {"pt_BR", "pt", "de_AT", "de"}},
      {{{"LANGUAGE", "de::fr"}}, {"de", "fr"}},
      {{{"LANGUAGE", "C:de"}}, {}},  // English first: no catalogue
      {{{"LANGUAGE", "fr:C:de"}}, {"fr"}},
  };
  for (const auto& c : cases) {
    static const std::map<std::string, std::string>* current = nullptr;
    current = &c.env;
    const std::vector<std::string> languages =
        LanguagesFromEnvironment([](const char* name) -> const char* {
          const auto found = current->find(name);
          return found == current->end() ? nullptr : found->second.c_str();
        });
    std::ostringstream shown;
    for (const auto& [name, value] : c.env)
      shown << name << "=" << value << " ";
    EXPECT_EQ(languages, c.expected) << shown.str();
  }
}

TEST_F(CatalogueTest, InstallsTheCatalogueOfTheFirstLanguageThatHasOne) {
  const std::string image = Compile(dir_, kPolishLikePo, "little");
  dir_.WriteFile("locale/pl/LC_MESSAGES/gantrell.mo", image);
  dir_.WriteFile("locale/xx/LC_MESSAGES/gantrell.mo", "not a catalogue");
  const std::string locale = dir_.File("locale");
  testing::ScopedEnv folder("GANTRELL_LOCALEDIR", locale.c_str());
  {
    testing::ScopedEnv language("LANGUAGE", "xx:fr:pl_PL");
    EXPECT_EQ(InstallUserCatalogue("gantrell"), "pl");
    EXPECT_EQ(Tr("Nothing was copied."), "Nic nie skopiowano.");
  }
  SetCatalogue(nullptr);
  {
    testing::ScopedEnv language("LANGUAGE", "fr");
    EXPECT_EQ(InstallUserCatalogue("gantrell"), "");
    EXPECT_EQ(Tr("Nothing was copied."), "Nothing was copied.");
  }
}

}  // namespace
}  // namespace gantrell
