// Message boxes for tests: every box is recorded, answers come from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace kelvane::testing {

struct ShownBox {
  std::string prompt;
  std::string title;
  Buttons buttons;
  Icon icon;
};

class ScriptedMessageBoxes : public MessageBoxes {
 public:
  // Yes/No boxes take the scripted answers in turn, then `afterScript`.
  explicit ScriptedMessageBoxes(Answer afterScript = Answer::Yes) : afterScript_(afterScript) {}

  void script(std::vector<Answer> answers) { script_.assign(answers.begin(), answers.end()); }

  Answer show(const std::string& prompt, const std::string& title, Buttons buttons, Icon icon) override {
    shown.push_back({prompt, title, buttons, icon});
    if (onShow) onShow();
    if (buttons == Buttons::Ok) return Answer::Ok;
    if (script_.empty()) return afterScript_;
    const Answer answer = script_.front();
    script_.pop_front();
    return answer;
  }
  void fileLoadStarted() override { ++loadsStarted; }

  std::vector<ShownBox> shown;
  std::function<void()> onShow;  // runs while the box is "open"
  int loadsStarted = 0;

 private:
  std::deque<Answer> script_;
  Answer afterScript_;
};

}  // namespace kelvane::testing
