// The scripted responder for tests.
#include "framework/base/scripted_responder.h"

void tsScriptedResponder::ShowMessage(std::string_view text, int level) {
  messages_.push_back(Shown{std::string(text), level});
}

int tsScriptedResponder::MessageBox(std::string_view title, std::string_view text, unsigned style) {
  int answer = tsSafeAnswer(style);
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  boxes_.push_back(Box{std::string(title), std::string(text), style, answer});
  return answer;
}
