// The user's languages on Windows: LANGUAGE when set (as the console
// programs built for both systems read it), else the display languages the
// user chose, best first ("de-AT" gives "de_AT", then "de").
#include <windows.h>

#include <cstdlib>

#include "platform/catalogue.h"

namespace gantrell {
namespace {

std::string Narrow(const wchar_t* text) {
  std::string result;
  for (; *text != L'\0'; ++text)
    result += *text == L'-' ? '_' : static_cast<char>(*text & 0x7f);
  return result;
}

}  // namespace

std::vector<std::string> UserLanguages() {
  if (const char* language = std::getenv("LANGUAGE"); language != nullptr && *language != '\0')
    return LanguagesFromEnvironment([](const char* name) -> const char* {
      return std::string_view(name) == "LANGUAGE" ? std::getenv(name) : nullptr;
    });
  std::string list;
  ULONG count = 0;
  ULONG length = 0;
  if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &length) && length > 0) {
    std::wstring names(length, L'\0');
    if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &length)) {
      // A double-NUL-terminated list of names.
      for (const wchar_t* name = names.c_str(); *name != L'\0'; name += wcslen(name) + 1)
        list += (list.empty() ? "" : ":") + Narrow(name);
    }
  }
  if (list.empty()) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name,
                         LOCALE_NAME_MAX_LENGTH, 0) > 0)
      list = Narrow(name);
  }
  static std::string chosen;
  chosen = list;
  return LanguagesFromEnvironment([](const char* name) -> const char* {
    return std::string_view(name) == "LANGUAGE" ? chosen.c_str() : nullptr;
  });
}

}  // namespace gantrell
