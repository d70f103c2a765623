#include "cli/console_frontend.h"

#include <poll.h>

#include <cstdio>

#include "app/wait_handshake.h"
#include "cli/interrupt_watch.h"
#include "cli/terminal.h"

namespace gantrell::cli {
namespace {

constexpr const char* kWaitText = "Downloading Update Lists...";
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
  if (buttons == MessageButtons::kOk)
    return MessageAnswer::kOk;
  return AskYesNo();
}

MessageAnswer ConsoleFrontend::AskYesNo() {
  if (m_answer != Answer::kAsk) {
    const bool yes = m_answer == Answer::kYes;
    Note(yes ? "Answered Yes (--yes)." : "Answered No (--no).");
    return yes ? MessageAnswer::kYes : MessageAnswer::kNo;
  }
  for (;;) {
    std::string line;
    switch (AskOnTerminal("Yes or No? [y/N] ", &line)) {
      case PromptResult::kUnavailable:
        Note("No terminal to ask on: answered No (give --yes to answer Yes).");
        return MessageAnswer::kNo;
      case PromptResult::kCancel:
        Note("Answered No (end of input).");
        return MessageAnswer::kNo;
      case PromptResult::kOk:
        break;
    }
    line = Lowered(line);
    if (line == "y" || line == "yes")
      return MessageAnswer::kYes;
    if (line == "n" || line == "no" || line.empty())
      return MessageAnswer::kNo;
  }
}

PromptResult ConsoleFrontend::AskFolder(std::string* folder) {
  const PromptResult result = AskOnTerminal("Choose a default download folder: ", folder);
  if (result == PromptResult::kUnavailable) {
    Note("No download folder is set, and there is no terminal to ask for one.");
  }
  // At the end of the input nobody can answer any more; asking again would
  // never end.
  return result == PromptResult::kCancel ? PromptResult::kUnavailable : result;
}

int ConsoleFrontend::RunWaitDialog(CWaitHandshake& handshake) {
  const bool terminal = StderrIsTerminal();
  WakePipe done;
  InterruptWatch interrupt;
  {
    std::lock_guard<std::mutex> lock(m_outputMutex);
    std::fprintf(stderr, terminal ? "%s " : "%s\n", kWaitText);
    std::fflush(stderr);
  }
  const auto finish = [&](const char* how) {
    if (!terminal)
      return;
    std::lock_guard<std::mutex> lock(m_outputMutex);
    std::fprintf(stderr, "\r%s %s\n", kWaitText, how);
    std::fflush(stderr);
  };
  if (handshake.DialogShown([&done] { done.Notify(); })) {
    finish("done");
    return 1;
  }
  static constexpr char kSpinner[] = "|/-\\";
  for (int turn = 0;; ++turn) {
    pollfd fds[2] = {{done.fd(), POLLIN, 0}, {interrupt.fd(), POLLIN, 0}};
    ::poll(fds, interrupt.fd() >= 0 ? 2 : 1, terminal ? kSpinnerPeriodMs : -1);
    if (done.Drain()) {
      handshake.DialogEnded();
      finish("done");
      return 1;
    }
    if (interrupt.Fired()) {
      handshake.Cancel();
      finish("cancelled");
      if (!terminal)
        Note("Cancelled.");
      return 2;
    }
    if (terminal) {
      std::lock_guard<std::mutex> lock(m_outputMutex);
      std::fprintf(stderr, "\r%s %c", kWaitText, kSpinner[turn % 4]);
      std::fflush(stderr);
    }
  }
}

int ConsoleFrontend::RunMainWindow(CClientApp& app) {
  m_bCommandRan = true;
  m_nExitStatus = m_command ? m_command(app) : kExitOk;
  m_nMessagesAtCommandEnd = message_count();
  return m_nExitStatus;
}

void ConsoleFrontend::Note(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_outputMutex);
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

std::vector<ConsoleFrontend::Shown> ConsoleFrontend::messages() const {
  std::lock_guard<std::mutex> lock(m_messagesMutex);
  return m_messages;
}

bool ConsoleFrontend::ErrorShownAfter(std::size_t count) const {
  std::lock_guard<std::mutex> lock(m_messagesMutex);
  for (std::size_t i = count; i < m_messages.size(); ++i) {
    if (m_messages[i].icon == MessageIcon::kError)
      return true;
  }
  return false;
}

std::size_t ConsoleFrontend::message_count() const {
  std::lock_guard<std::mutex> lock(m_messagesMutex);
  return m_messages.size();
}

}  // namespace gantrell::cli
