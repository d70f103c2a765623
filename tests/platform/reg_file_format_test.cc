#include "platform/reg_file_format.h"

#include <gtest/gtest.h>

#include <sstream>

namespace gantrell {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::string Describe(const RegValue& value) {
  std::ostringstream out;
  out << "type " << value.type << " bytes";
  for (std::uint8_t byte : value.data) {
    out << ' ' << static_cast<int>(byte);
  }
  return out.str();
}

RegDocument ParseOrFail(std::string_view text) {
  RegDocument document;
  std::string error;
  EXPECT_TRUE(ParseRegFile(text, "test.reg", &document, &error)) << error << "\n" << text;
  return document;
}

TEST(RegFileFormatTest, EveryValueRoundTripsByteExactly) {
  std::vector<std::uint8_t> all_bytes;
  for (int i = 0; i < 256; ++i) {
    all_bytes.push_back(static_cast<std::uint8_t>(i));
  }
  const std::vector<RegValue> values = {
      RegValue::Text("plain text"),
      RegValue::Text("C:\\Program Files\\\"quoted\"\\"),
      RegValue::Text(""),
      RegValue::Text("high \x80\xe9\xff bytes, tab\tand ; = @ [x]"),
      RegValue::Binary({}, kRegSz),                               // no data at all
      RegValue::Binary(Bytes("no terminator"), kRegSz),           // text without its zero
      RegValue::Binary(Bytes(std::string("a\0b\0", 4)), kRegSz),  // embedded zero
      RegValue::Text("two\nlines"),
      RegValue::Text("carriage\rreturn"),
      RegValue::Text("%SystemRoot%\\system32", kRegExpandSz),
      RegValue::Binary({}, kRegBinary),
      RegValue::Binary(all_bytes, kRegBinary),
      RegValue::Dword(0),
      RegValue::Dword(0xdeadbeef),
      RegValue::Binary({1, 2, 3}, kRegDword),  // a dword of the wrong size
      RegValue::Binary({0x12, 0x34, 0x56, 0x78}, kRegDwordBigEndian),
      RegValue::Binary(Bytes("\\Registry\\Machine\\x"), kRegLink),
      RegValue::Binary(Bytes(std::string("one\0two\0\0", 9)), kRegMultiSz),
      RegValue::Binary(all_bytes, kRegResourceList),
      RegValue::Binary({9, 9}, kRegFullResourceDescriptor),
      RegValue::Binary({10}, kRegResourceRequirementsList),
      RegValue::Binary({1, 2, 3, 4, 5, 6, 7, 0x80}, kRegQword),
      RegValue::Binary({}, kRegNone),
      RegValue::Binary({0xaa}, 0x12345678),
      RegValue::Binary(std::vector<std::uint8_t>(1000, 0x5a), kRegExpandSz),
  };
  const std::vector<std::string> names = {"", "Name", "quote\"and\\slash", "=hex:01,\\",
                                          std::string(120, 'n')};
  for (const std::string& name : names) {
    for (const RegValue& value : values) {
      RegDocument document;
      document.SetValue(RegRoot::kLocalMachine, "SOFTWARE\\Test", name, value);
      std::string text = SerializeRegFile(document);
      RegDocument read = ParseOrFail(text);
      const RegValue* back = read.FindValue(RegRoot::kLocalMachine, "SOFTWARE\\Test", name);
      ASSERT_NE(back, nullptr) << "name " << name << " " << Describe(value) << "\n" << text;
      EXPECT_EQ(*back, value) << "name " << name << " " << Describe(value) << "\n" << text;
      EXPECT_EQ(SerializeRegFile(read), text) << "writing again changed the file:\n" << text;
    }
  }
}

TEST(RegFileFormatTest, LongHexDataWrapsWithinEightyColumns) {
  RegDocument document;
  document.SetValue(RegRoot::kCurrentUser, "Software\\Wrap", "Blob",
                    RegValue::Binary(std::vector<std::uint8_t>(100, 0xab), kRegBinary));
  std::string text = SerializeRegFile(document);
  std::istringstream lines(text);
  std::string line;
  int continued = 0;
  while (std::getline(lines, line)) {
    EXPECT_LE(line.size(), 80u) << line;
    if (!line.empty() && line.back() == '\\') {
      ++continued;
    }
  }
  EXPECT_EQ(continued, 4) << text;  // 22 + 3 * 25 bytes, then the last 3
  // 22 bytes fit on the first line after "Blob"=hex:, 25 on each following one.
  std::string first_line = text.substr(text.find("\"Blob\""));
  first_line = first_line.substr(0, first_line.find('\n'));
  EXPECT_EQ(first_line.size(), 11u + 22 * 3 + 1) << first_line;
}

TEST(RegFileFormatTest, WritesTheUsualLayout) {
  RegDocument document;
  document.SetValue(RegRoot::kLocalMachine, "SOFTWARE\\Foo", "", RegValue::Text("default"));
  document.SetValue(RegRoot::kLocalMachine, "SOFTWARE\\Foo", "Path", RegValue::Text("C:\\x"));
  document.SetValue(RegRoot::kLocalMachine, "SOFTWARE\\Foo", "Count", RegValue::Dword(10));
  document.SetValue(RegRoot::kLocalMachine, "SOFTWARE\\Foo", "Big",
                    RegValue::Binary({1, 0, 0, 0, 0, 0, 0, 0}, kRegQword));
  document.SetValue(RegRoot::kUsers, "", "Top", RegValue::Text("%X%", kRegExpandSz));
  EXPECT_EQ(SerializeRegFile(document),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo]\n"
            "@=\"default\"\n"
            "\"Path\"=\"C:\\\\x\"\n"
            "\"Count\"=dword:0000000a\n"
            "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
            "\n"
            "[HKEY_USERS]\n"
            "\"Top\"=hex(2):25,58,25,00\n"
            "\n");
}

TEST(RegFileFormatTest, ReadsFilesAsTheWindowsToolWritesThem) {
  const std::string text =
      "\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; exported settings\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\r\n"
      "@=\"Default\"\r\n"
      "\"InstallDir\"=\"C:\\\\Program Files\\\\App\"\r\n"
      "\"Level\"=dword:0000000A\r\n"
      "\"Flags\"=hex:01,02,\\\r\n"
      "  03,ff\r\n"
      "\"Paths\"=hex(7):61,00,\\\r\n"
      "  62,00,00\r\n"
      "\"Empty\"=hex:\r\n"
      "\"Upper\"=HEX(B):01,00,\\\r\n"
      "  00,00,00,00,00,00\r\n"
      "\"Spaced\" = hex(2): 41 , 00 \r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Gone]\r\n"
      "\"Old\"=\"x\"\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n"
      "\r\n"
      "[hkey_local_machine\\SOFTWARE\\Vendor\\App]\r\n"
      "\"Level\"=-\r\n";
  RegDocument document = ParseOrFail(text);
  const std::string app = "SOFTWARE\\Vendor\\App";
  auto value = [&](std::string_view name) {
    const RegValue* found = document.FindValue(RegRoot::kLocalMachine, app, name);
    return found != nullptr ? *found : RegValue{0xffffffff, {}};
  };
  EXPECT_EQ(value(""), RegValue::Text("Default"));
  EXPECT_EQ(value("InstallDir"), RegValue::Text("C:\\Program Files\\App"));
  EXPECT_EQ(value("Flags"), RegValue::Binary({1, 2, 3, 0xff}));
  EXPECT_EQ(value("Paths"), RegValue::Binary({'a', 0, 'b', 0, 0}, kRegMultiSz));
  EXPECT_EQ(value("Empty"), RegValue::Binary({}));
  EXPECT_EQ(value("Upper"), RegValue::Binary({1, 0, 0, 0, 0, 0, 0, 0}, kRegQword));
  EXPECT_EQ(value("Spaced"), RegValue::Binary({'A', 0}, kRegExpandSz));
  EXPECT_EQ(document.FindValue(RegRoot::kLocalMachine, app, "Level"), nullptr);
  EXPECT_FALSE(document.KeyExists(RegRoot::kCurrentUser, "Software\\Gone"));
  EXPECT_EQ(document.keys().size(), 1u) << "sections differing in case are one key";

  RegDocument old_style = ParseOrFail("REGEDIT4\n\n[HKEY_USERS\\X]\n\"A\"=dword:1\n");
  EXPECT_NE(old_style.FindValue(RegRoot::kUsers, "X", "a"), nullptr);
  EXPECT_TRUE(ParseOrFail("").empty());
  EXPECT_TRUE(ParseOrFail("\n  \n").empty());
}

TEST(RegFileFormatTest, CommentLinesStayInTheirPlace) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n"
      "; Settings for this machine, kept by hand\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\A]\n"
      "; the folder for downloads\n"
      "\"dlpath\"=\"/home/u\"\n"
      "  ;indented, before the second value\n"
      "\"default\"=\"/data\"\n"
      "\n"
      "; about key B\n"
      "[HKEY_CURRENT_USER\\Software\\B]\n"
      "@=\"x\"\n"
      "; about a deleted value\n"
      "\"gone\"=-\n"
      "; before a repeated section\n"
      "[HKEY_CURRENT_USER\\Software\\A]\n"
      "\"late\"=dword:00000001\n"
      "; at the very end\n";
  RegDocument document = ParseOrFail(text);
  const std::string expected =
      "Windows Registry Editor Version 5.00\n\n"
      "; Settings for this machine, kept by hand\n\n"
      "[HKEY_CURRENT_USER\\Software\\A]\n"
      "; the folder for downloads\n"
      "\"dlpath\"=\"/home/u\"\n"
      ";indented, before the second value\n"
      "\"default\"=\"/data\"\n"
      // What stood before a deletion or a repeated section goes on to the
      // next value read.
      "; about a deleted value\n"
      "; before a repeated section\n"
      "\"late\"=dword:00000001\n\n"
      "; about key B\n"
      "[HKEY_CURRENT_USER\\Software\\B]\n"
      "@=\"x\"\n\n"
      "; at the very end\n";
  EXPECT_EQ(SerializeRegFile(document), expected);
  // Reading what was written gives the same text again.
  EXPECT_EQ(SerializeRegFile(ParseOrFail(expected)), expected);

  // Changing and deleting values keeps every comment.
  document.SetValue(RegRoot::kCurrentUser, "Software\\A", "dlpath", RegValue::Text("/elsewhere"));
  document.SetValue(RegRoot::kCurrentUser, "Software\\A", "new", RegValue::Text("n"));
  ASSERT_TRUE(document.DeleteValue(RegRoot::kCurrentUser, "Software\\A", "default"));
  ASSERT_TRUE(document.DeleteValue(RegRoot::kCurrentUser, "Software\\B", ""));
  const std::string changed = SerializeRegFile(document);
  EXPECT_NE(changed.find("; the folder for downloads\n\"dlpath\"=\"/elsewhere\"\n"
                         ";indented, before the second value\n"
                         "; about a deleted value\n"
                         "; before a repeated section\n\"late\"=dword:00000001\n\"new\"=\"n\"\n"),
            std::string::npos)
      << changed;
  EXPECT_NE(changed.find("[HKEY_CURRENT_USER\\Software\\B]\n\n"), std::string::npos) << changed;
  EXPECT_NE(changed.find("\n; about key B\n[HKEY"), std::string::npos) << changed;
}

TEST(RegFileFormatTest, ReportsTheLineOfAMistake) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  struct Case {
    std::string text;
    std::string error_start;
  };
  const Case cases[] = {
      {"Windows Registry Editor\n", "test.reg:1: the first line must be"},
      {"\n\nREGEDIT5\n", "test.reg:3: the first line must be"},
      {"\xff\xfeW\0i\0", "test.reg:1: the file is UTF-16"},
      {header + "\"A\"=\"x\"\n", "test.reg:3: a value must follow a key line"},
      {header + "[HKEY_NOWHERE\\X]\n", "test.reg:3: unknown registry root \"HKEY_NOWHERE\""},
      {header + "[HKEY_USERS\\X\n", "test.reg:3: a key line must end with \"]\""},
      {header + "[HKEY_USERS\\X\\\\Y]\n", "test.reg:3: invalid key path"},
      {header + "[HKEY_USERS\\X]\n\"A\"=dword:123456789\n", "test.reg:4: dword: needs"},
      {header + "[HKEY_USERS\\X]\n\"A\"=dword:\n", "test.reg:4: dword: needs"},
      {header + "[HKEY_USERS\\X]\n\"A\"=dword:0x1\n", "test.reg:4: dword: needs"},
      {header + "[HKEY_USERS\\X]\n\n\"A\"=\"open\n", "test.reg:5: the value has no closing quote"},
      {header + "[HKEY_USERS\\X]\n\"A=\"x\"\n", "test.reg:4: expected \"=\""},
      {header + "[HKEY_USERS\\X]\n\"A\"=\"x\" trailing\n", "test.reg:4: unexpected text"},
      {header + "[HKEY_USERS\\X]\n\"A\"=hex:01,0g\n", "test.reg:4: hex data must be"},
      {header + "[HKEY_USERS\\X]\n\"A\"=hex:01,,02\n", "test.reg:4: hex data must be"},
      {header + "[HKEY_USERS\\X]\n\"A\"=hex:123\n", "test.reg:4: hex data must be"},
      {header + "[HKEY_USERS\\X]\n\"A\"=hex(zz):01\n", "test.reg:4: hex(N): needs"},
      {header + "[HKEY_USERS\\X]\n\"A\"=hex:01,\\\n", "test.reg:4: the file ends inside"},
      {header + "[HKEY_USERS\\X]\n\"A\"=hex:01,\\\n  02,\\\n  zz\n", "test.reg:4: hex data"},
      {header + "[HKEY_USERS\\X]\n\"A\"=text\n", "test.reg:4: unknown value data"},
      {header + "[HKEY_USERS\\X]\nA=\"text\"\n", "test.reg:4: expected a key line"},
  };
  for (const Case& c : cases) {
    RegDocument document;
    std::string error;
    EXPECT_FALSE(ParseRegFile(c.text, "test.reg", &document, &error)) << c.text;
    EXPECT_EQ(error.substr(0, c.error_start.size()), c.error_start) << c.text << "\n" << error;
  }
}

}  // namespace
}  // namespace gantrell
