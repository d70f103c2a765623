#include "cli/console_frontend.h"

#include <algorithm>
#include <cstdio>

#include "app/client_app.h"
#include "app/wait_handshake.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "platform/catalogue.h"
#include "platform/interrupt_watch.h"

namespace gantrell::cli {
namespace {

constexpr const char* kWaitText = TrNoop("Downloading Update Lists...");

// What a user can do about a failed registration.
std::string Hint(const TransferOutcome& outcome) {
  switch (outcome.http.failure) {
    case HttpFailure::kRefused:
      return Tr("is the server running, and is the port right?");
    case HttpFailure::kHostNotFound:
      return Tr("check the server's name in the address.");
    case HttpFailure::kTimedOut:
      return Tr("the server did not answer in time; try again later or give a longer --timeout.");
    case HttpFailure::kTls:
      return Tr(
          "the secure connection could not be made; check that the server speaks https "
          "on this port.");
    case HttpFailure::kCertificate:
      return Tr("the server's certificate is not trusted; ask the provider's publisher to fix it.");
    case HttpFailure::kInsecureRedirect:
      return Tr(
          "the https address redirects to one that is not https, which is refused; ask its "
          "publisher to keep the redirect on https.");
    case HttpFailure::kOther:
      return Tr("check the address and the network.");
    case HttpFailure::kNone:
      break;
  }
  if (outcome.http.status == 404 || outcome.http.status == 410)
    return Tr(
        "check the address: it must name the provider's folder, which holds public.dat, "
        "control.txt and control.sig.");
  if (outcome.http.status >= 400)
    return Tr("the server refused the request; check the address.");
  return Tr("the provider's files do not verify; ask its publisher.");
}
constexpr int kSpinnerPeriodMs = 120;

std::string Lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

ConsoleFrontend::ConsoleFrontend(Answer answer, Command command)
    : m_answer(answer), m_command(std::move(command)) {}

MessageAnswer ConsoleFrontend::ShowMessage(const std::string& text, MessageIcon icon,
                                           MessageButtons buttons) {
  {
    std::lock_guard<std::mutex> lock(m_messagesMutex);
    m_messages.push_back({text, icon});
  }
  {
    std::lock_guard<std::mutex> lock(m_outputMutex);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
  }
  ExplainRegistration(text);
  if (buttons == MessageButtons::kOk)
    return MessageAnswer::kOk;
  return AskYesNo(buttons == MessageButtons::kYesNoOrLater);
}

MessageAnswer ConsoleFrontend::AskYesNo(bool may_stay_unanswered) {
  if (m_bEndRequested) {
    Note(Tr("Answered No (the program was asked to end)."));
    return MessageAnswer::kNo;
  }
  if (m_answer != Answer::kAsk) {
    const bool yes = m_answer == Answer::kYes;
    Note(yes ? Tr("Answered Yes (--yes).") : Tr("Answered No (--no)."));
    return yes ? MessageAnswer::kYes : MessageAnswer::kNo;
  }
  for (;;) {
    std::string line;
    switch (AskOnTerminal(Tr("Yes or No? [y/N] "), &line)) {
      case PromptResult::kUnavailable:
        if (may_stay_unanswered) {
          Note(
              Tr("No terminal to ask on: the question is left for a later start (give --yes or "
                 "--no to answer it)."));
          return MessageAnswer::kUnanswered;
        }
        Note(Tr("No terminal to ask on: answered No (give --yes to answer Yes)."));
        return MessageAnswer::kNo;
      case PromptResult::kCancel:
        Note(Tr("Answered No (end of input)."));
        return MessageAnswer::kNo;
      case PromptResult::kOk:
        break;
    }
    line = Lowered(line);
    // The English answers always count; a translation adds its own.
    if (line == "y" || line == "yes" || line == Lowered(Tr("y")) || line == Lowered(Tr("yes")))
      return MessageAnswer::kYes;
    if (line == "n" || line == "no" || line.empty() || line == Lowered(Tr("n")) ||
        line == Lowered(Tr("no")))
      return MessageAnswer::kNo;
  }
}

PromptResult ConsoleFrontend::AskFolder(std::string* folder) {
  const PromptResult result = AskOnTerminal(Tr("Choose a default download folder: "), folder);
  if (result == PromptResult::kUnavailable) {
    Note(Tr("No download folder is set, and there is no terminal to ask for one."));
  }
  // At the end of the input nobody can answer any more; asking again would
  // never end.
  return result == PromptResult::kCancel ? PromptResult::kUnavailable : result;
}

void ConsoleFrontend::ExplainRegistration(const std::string& text) {
  // The core reports a failed registration while the provider is still in
  // the list, so what its fetch saw can be read here.
  // The core's sentence, in the language it was made in.
  const std::string sentence = Tr("Address %1 was not set up successfully.");
  const std::size_t hole = sentence.find("%1");
  if (hole == std::string::npos)
    return;
  const std::string_view kNotSetUpStart = std::string_view(sentence).substr(0, hole);
  const std::string_view kNotSetUpEnd = std::string_view(sentence).substr(hole + 2);
  if (m_pApp == nullptr || text.size() < kNotSetUpStart.size() + kNotSetUpEnd.size() ||
      text.rfind(kNotSetUpStart, 0) != 0 ||
      text.compare(text.size() - kNotSetUpEnd.size(), kNotSetUpEnd.size(), kNotSetUpEnd) != 0) {
    return;
  }
  const std::string address =
      text.substr(kNotSetUpStart.size(), text.size() - kNotSetUpStart.size() - kNotSetUpEnd.size());
  const int last = m_pApp->GetProviderCount() - 1;
  if (last < 0 || m_pApp->GetProvider(last)->m_strAddress != address)
    return;
  std::string reason = FetchProblem(*m_pApp, last);
  if (reason.empty())
    reason = FetchStatusText(*m_pApp, last, false);
  m_registrationProblems.emplace_back(address, reason);
  Note(Subst(Tr("cannot add %1: %2; %3"),
             {address, reason, Hint(m_pApp->GetProvider(last)->m_lastTransfer)}),
       MessageIcon::kError);
}

std::string ConsoleFrontend::RegistrationProblem(const std::string& address) const {
  for (auto it = m_registrationProblems.rbegin(); it != m_registrationProblems.rend(); ++it) {
    if (it->first == address)
      return it->second;
  }
  return {};
}

int ConsoleFrontend::RunWaitDialog(CWaitHandshake& handshake) {
  const bool terminal = StderrIsTerminal();
  WakePipe done;
  InterruptWatch interrupt;
  std::string label = m_strWaitPurpose.empty()
                          ? Tr(kWaitText)
                          : Subst(Tr("%1 (%2)"), {Tr(kWaitText), m_strWaitPurpose});
  m_strWaitPurpose.clear();
  // On a terminal the line is redrawn in place, so it must not wrap: room
  // for the spinner or "cancelled" stays free.
  if (terminal) {
    const std::size_t room = static_cast<std::size_t>(std::max(TerminalWidth() - 11, 20));
    if (label.size() > room)
      label = label.substr(0, room - 3) + "...";
  }
  {
    std::lock_guard<std::mutex> lock(m_outputMutex);
    std::fprintf(stderr, terminal ? "%s " : "%s\n", label.c_str());
    std::fflush(stderr);
  }
  const auto finish = [&](const char* how) {
    if (!terminal)
      return;
    std::lock_guard<std::mutex> lock(m_outputMutex);
    std::fprintf(stderr, "\r\x1b[2K%s %s\n", label.c_str(), how);
    std::fflush(stderr);
  };
  if (handshake.DialogShown([&done] { done.Notify(); })) {
    finish(Tr("done").c_str());
    return 1;
  }
  static constexpr char kSpinner[] = "|/-\\";
  for (int turn = 0;; ++turn) {
    WaitForWakeOrInterrupt(done, interrupt, terminal ? kSpinnerPeriodMs : -1);
    // An end request stops the job, which then ends the wait as usual; it
    // did not finish, so the wait reads as cancelled.
    if (done.Drain() && !m_bEndRequested) {
      handshake.DialogEnded();
      finish(Tr("done").c_str());
      return 1;
    }
    if (m_bEndRequested || interrupt.Fired()) {
      handshake.Cancel();
      finish(Tr("cancelled").c_str());
      if (!terminal)
        Note(Tr("Cancelled."));
      return 2;
    }
    if (terminal) {
      std::lock_guard<std::mutex> lock(m_outputMutex);
      std::fprintf(stderr, "\r%s %c", label.c_str(), kSpinner[turn % 4]);
      std::fflush(stderr);
    }
  }
}

void ConsoleFrontend::OnEndRequested() {
  m_bEndRequested = true;
}

int ConsoleFrontend::RunMainWindow(CClientApp& app) {
  m_pApp = &app;
  m_bCommandRan = true;
  m_nExitStatus = m_command ? m_command(app) : kExitOk;
  m_nMessagesAtCommandEnd = message_count();
  return m_nExitStatus;
}

void ConsoleFrontend::Note(const std::string& text, MessageIcon icon) {
  {
    std::lock_guard<std::mutex> lock(m_messagesMutex);
    m_messages.push_back({text, icon, true});
  }
  std::lock_guard<std::mutex> lock(m_outputMutex);
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(kProgram.size()), kProgram.data(),
               text.c_str());
  std::fflush(stderr);
}

std::vector<ConsoleFrontend::Shown> ConsoleFrontend::messages() const {
  std::lock_guard<std::mutex> lock(m_messagesMutex);
  return m_messages;
}

bool ConsoleFrontend::ErrorShownAfter(std::size_t count) const {
  std::lock_guard<std::mutex> lock(m_messagesMutex);
  for (std::size_t i = count; i < m_messages.size(); ++i) {
    if (m_messages[i].icon == MessageIcon::kError && !m_messages[i].own)
      return true;
  }
  return false;
}

std::size_t ConsoleFrontend::message_count() const {
  std::lock_guard<std::mutex> lock(m_messagesMutex);
  return m_messages.size();
}

}  // namespace gantrell::cli
