// The main window's state beyond its list: the provider addresses handed to
// it and their registration, and the texts it shows for its entries and
// their selection. The windowed client's dialog maps its widgets onto this;
// nothing here needs a window.
//
// Addresses wait in m_strPending, each followed by " * ". They come from
// start-up (the file argument and what an earlier hand-off left in
// "newprov") and from later instances, whose hand-off notice the window
// turns into OnNewProvider. They are registered one after the other, and
// the window's list is rebuilt after each registration.
//
// Interface thread only.
#pragma once

#include <functional>
#include <string>

#include "app/main_window_model.h"

namespace gantrell {

class CClientApp;

class CMainWindowSession {
 public:
  // `rebuild` refills the window's pending list (FillPendingList and the
  // count text); it runs after every registration.
  CMainWindowSession(CClientApp& app, std::function<void()> rebuild);

  // The hand-off notice of another instance: reads "newprov"; the addresses
  // stored there that the pending text does not hold yet are appended and
  // registered, unless a registration loop is already running (it then
  // takes the new addresses too). Nothing new: nothing happens.
  //
  // While the window runs another dialog of its own (a download, a fetch,
  // the configuration), a notice only waits: registering then would grow
  // the provider list under a worker that walks it, or change selections
  // that dialog is editing. The notice is taken when the last such dialog
  // has ended.
  void OnNewProvider();

  // Brackets a dialog the window runs besides registration (see
  // OnNewProvider); they nest. EndDialog takes a notice that waited.
  void BeginDialog();
  void EndDialog();
  // Whether a hand-off notice waits for the window's dialogs to end.
  bool hand_off_waiting() const { return m_bHandOffWaiting; }

  // Offers the pending addresses in order (CClientApp::OfferProvider: the
  // check, the question, the registration), rebuilding the list after
  // each. Blanks and line breaks around an address are dropped (a file of
  // addresses usually ends with a line break); an empty address (a
  // hand-off value already taken) is skipped. Empties the pending text.
  void RegisterPendingProviders();

  // Appends handed-over addresses, each followed by " * " (as
  // TakeHandedOffProviders gives them), to the pending text without
  // registering them yet.
  void AddPending(const std::string& addresses);

  bool registering() const { return m_bRegistering; }
  const std::string& pending() const { return m_strPending; }

 private:
  CClientApp& m_app;
  std::function<void()> m_rebuild;
  bool m_bRegistering = false;
  std::string m_strPending;
  int m_nOpenDialogs = 0;
  bool m_bHandOffWaiting = false;
};

// Keeps a window dialog bracketed for as long as it lives.
class CWindowDialogScope {
 public:
  explicit CWindowDialogScope(CMainWindowSession& session) : m_session(session) {
    m_session.BeginDialog();
  }
  ~CWindowDialogScope() { m_session.EndDialog(); }
  CWindowDialogScope(const CWindowDialogScope&) = delete;
  CWindowDialogScope& operator=(const CWindowDialogScope&) = delete;

 private:
  CMainWindowSession& m_session;
};

// The text of a list entry: the item's name, " from ", its provider's name.
std::string ListEntryText(const CUpdateItem& item);

// The description and size texts for the selected entries: the description
// only when exactly one is selected, the size of all of them together; both
// empty when none is.
struct SelectionTexts {
  std::string description;
  std::string size;
};
SelectionTexts DescribeSelection(const ItemList& selected);

}  // namespace gantrell
