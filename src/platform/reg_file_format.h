// Reading and writing registry files in the `.reg` text format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Foo]
//   @="default value"
//   "Name"="C:\\Program Files"
//   "Count"=dword:0000000a
//   "Blob"=hex:01,02,ff
//   "Path"=hex(2):25,48,4f,4d,45,25,00
//
// Long hex data is wrapped over several lines, each but the last ending in a
// backslash.
//
// Texts are single-byte strings, and the mapping between a value's bytes and
// the file is the identity: the characters of a quoted string are the value's
// bytes (the stored REG_SZ data adds its terminating zero byte), and the bytes
// after `hex:` or `hex(N):` are the value's data exactly as stored, with no
// UTF-16 conversion. The writer uses a quoted string only for a REG_SZ whose
// data is a single zero-terminated text without line breaks, and `dword:` only
// for a four-byte REG_DWORD; every other value is written as hex bytes, so
// every value reads back byte for byte.
//
// The reader accepts the "REGEDIT4" header as well, an optional UTF-8 byte
// order mark, CRLF or LF line ends, blank lines, lines starting with ";" as
// comments (kept, and written back before the key or value they preceded),
// hex data on one line or wrapped with trailing "\", and the
// deletion entries `[-KEY]` and `"name"=-`, which remove what was read before
// them. In quoted strings "\\" stands for a backslash and "\"" for a quote; a
// backslash before any other character is kept as it is.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/reg_document.h"
#include "platform/registry.h"

namespace gantrell {

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

// The root named as the file writes it ("HKEY_CURRENT_USER", any letter case).
std::optional<RegRoot> ParseRegRootName(std::string_view name);

// Parses the text of a registry file. An empty text is an empty document. On
// failure returns false with "<file_name>:<line>: <problem>" in *error;
// *document is then unspecified.
bool ParseRegFile(std::string_view text, std::string_view file_name, RegDocument* document,
                  std::string* error);

// The text of a registry file holding the document. Hex data is wrapped with
// trailing "\" so that lines stay within 80 columns where the value's name
// allows it.
std::string SerializeRegFile(const RegDocument& document);

}  // namespace gantrell
