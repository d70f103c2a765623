#include "app/main_window_session.h"

#include <set>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "model/size_text.h"
#include "platform/catalogue.h"

namespace gantrell {
namespace {

constexpr std::string_view kSeparator = " * ";

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

void CMainWindowSession::AddPending(const std::string& addresses) {
  if (addresses.empty())
    return;
  m_strPending += addresses;
  if (!m_strPending.ends_with(kSeparator))
    m_strPending += kSeparator;
}

void CMainWindowSession::OnNewProvider() {
  // A registration loop running only gathers the new addresses, so it may
  // take them during any dialog; anything else waits.
  if (m_nOpenDialogs > 0 && !m_bRegistering) {
    m_bHandOffWaiting = true;
    return;
  }
  m_bHandOffWaiting = false;
  // "newprov" gathers every address handed over and not yet registered;
  // only those the pending text does not hold yet are taken.
  const std::size_t before = m_strPending.size();
  ReceiveHandedOffProviders(m_app, &m_strPending);
  if (m_strPending.size() == before)
    return;
  if (!m_bRegistering)
    RegisterPendingProviders();
}

void CMainWindowSession::BeginDialog() {
  ++m_nOpenDialogs;
}

void CMainWindowSession::EndDialog() {
  if (m_nOpenDialogs > 0)
    --m_nOpenDialogs;
  if (m_nOpenDialogs == 0 && m_bHandOffWaiting)
    OnNewProvider();
}

void CMainWindowSession::RegisterPendingProviders() {
  m_bRegistering = true;
  // The pending text may grow while a registration runs (its question and
  // its wait dialog deliver hand-off notices), so it is searched afresh
  // every turn. A notice then reads "newprov" while it still holds the
  // address being dealt with; that address is not offered twice.
  std::set<std::string> offered;
  for (std::size_t at; (at = m_strPending.find(kSeparator)) != std::string::npos;) {
    const std::string address = Trimmed(m_strPending.substr(0, at));
    m_strPending.erase(0, at + kSeparator.size());
    if (address.empty() || !offered.insert(address).second)
      continue;
    // Every address here came from outside (a file argument or another
    // instance): it is asked about before it is registered.
    m_app.OfferProvider(address);
    if (m_rebuild)
      m_rebuild();
  }
  m_bRegistering = false;
  m_strPending.clear();
}

std::string ListEntryText(const CUpdateItem& item) {
  const CProvider* provider = item.m_pGroup != nullptr ? item.m_pGroup->m_pProvider : nullptr;
  return Subst(Tr("%1 from %2"),
               {item.m_strName, provider != nullptr ? provider->m_strKeyName : ""});
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
