#pragma once

// Texts at the Windows API: the program keeps paths and names in UTF-8, the
// W functions take UTF-16. Only the *_win32.cc backends use these.

#include <string>
#include <string_view>

namespace gantrell {

// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::wstring Widen(std::string_view text);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view text);
// A path for the W functions: UTF-16 with every "/" turned into "\".
std::wstring WidePath(const std::string& path);
// The system's message for an error code of GetLastError(), without the
// trailing line break ("The system cannot find the file specified.").
std::string SystemErrorText(unsigned long code);
// The same for the calling thread's last error.
std::string LastErrorText();

}  // namespace gantrell
