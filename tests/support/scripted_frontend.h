// A frontend for tests: records every message shown and answers questions
// and prompts from scripts given in advance.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/frontend.h"

namespace gantrell::testing {

class ScriptedFrontend : public Frontend {
 public:
  struct Message {
    std::string text;
    MessageIcon icon;
    MessageButtons buttons;
  };
  struct FolderAnswer {
    PromptResult result;
    std::string folder;
  };

  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  PromptResult AskFolder(std::string* folder) override;

  // Answers for Yes/No questions, in order; a question with none left is a
  // test failure answered No.
  std::deque<MessageAnswer> answers;
  // Answers for the folder prompt, in order; a prompt with none left is
  // answered kUnavailable.
  std::deque<FolderAnswer> folder_answers;

  std::vector<Message> messages;
  int folder_prompts = 0;
};

}  // namespace gantrell::testing
