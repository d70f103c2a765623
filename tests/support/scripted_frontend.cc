#include "support/scripted_frontend.h"

#include <gtest/gtest.h>

namespace gantrell::testing {

MessageAnswer ScriptedFrontend::ShowMessage(const std::string& text, MessageIcon icon,
                                            MessageButtons buttons) {
  messages.push_back({text, icon, buttons});
  if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << text;
    return MessageAnswer::kNo;
  }
  MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

PromptResult ScriptedFrontend::AskFolder(std::string* folder) {
  ++folder_prompts;
  if (folder_answers.empty()) return PromptResult::kUnavailable;
  FolderAnswer answer = folder_answers.front();
  folder_answers.pop_front();
  *folder = answer.folder;
  return answer.result;
}

}  // namespace gantrell::testing
