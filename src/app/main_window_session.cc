#include "app/main_window_session.h"

#include "app/client_app.h"
#include "model/size_text.h"

namespace gantrell {
namespace {

constexpr std::string_view kSeparator = " * ";
constexpr const char* kNotStored = "????";

// An address never holds blanks or line breaks; a file of addresses saved
// by an editor ends with a line break, which must not become part of the
// last address.
std::string Trimmed(const std::string& text) {
  constexpr const char* kSpace = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

}  // namespace

CMainWindowSession::CMainWindowSession(CClientApp& app, std::function<void()> rebuild)
    : m_app(app), m_rebuild(std::move(rebuild)) {}

void CMainWindowSession::SetStartupProviders(const std::string& offered) {
  m_strPending = offered.size() > 2 ? offered + std::string(kSeparator) : offered;
}

void CMainWindowSession::AddPending(const std::string& addresses) {
  if (addresses.empty())
    return;
  m_strPending += addresses;
  m_strPending += kSeparator;
}

void CMainWindowSession::OnNewProvider() {
  const std::string text =
      m_app.profile().GetProfileString(kSettingsSection, "newprov", kNotStored);
  if (text == kNotStored)
    return;
  m_strPending += text;
  m_strPending += kSeparator;
  if (!m_bRegistering)
    RegisterPendingProviders();
}

void CMainWindowSession::RegisterPendingProviders() {
  m_bRegistering = true;
  // The pending text may grow while a registration runs (its wait dialog
  // delivers hand-off notices), so it is searched afresh every turn.
  for (std::size_t at; (at = m_strPending.find(kSeparator)) != std::string::npos;) {
    const std::string address = Trimmed(m_strPending.substr(0, at));
    m_strPending.erase(0, at + kSeparator.size());
    if (address.empty())
      continue;
    m_app.RegisterProvider(address);
    if (m_rebuild)
      m_rebuild();
  }
  m_bRegistering = false;
  m_strPending.clear();
}

std::string ListEntryText(const CUpdateItem& item) {
  const CProvider* provider = item.m_pGroup != nullptr ? item.m_pGroup->m_pProvider : nullptr;
  return item.m_strName + " from " + (provider != nullptr ? provider->m_strKeyName : "");
}

SelectionTexts DescribeSelection(const ItemList& selected) {
  SelectionTexts texts;
  if (selected.empty())
    return texts;
  if (selected.size() == 1)
    texts.description = selected.front()->m_strDescription;
  std::int64_t total = 0;
  for (const CUpdateItem* item : selected)
    total += item->m_nLength;
  texts.size = FormatSizeText(total);
  return texts;
}

}  // namespace gantrell
