// tsScriptedResponder: a responder for tests. It records every message and
// message box it receives and answers message boxes from a queue of answers
// set up beforehand.
//
// Constructing one installs it as the application's responder; destroying it
// puts back the responder installed before. With the queue empty a message
// box gets tsSafeAnswer(style), so a test never blocks and a Retry loop ends.
#pragma once

#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/application.h"
#include "framework/base/export.h"
#include "framework/base/responder.h"

class TS_EXPORT tsScriptedResponder : public tsResponder {
 public:
  struct Shown {
    std::string text;
    int level;
  };
  struct Box {
    std::string title;
    std::string text;
    unsigned style;
    int answer;  // what this responder answered
  };

  tsScriptedResponder() : scope_(this) {}
  ~tsScriptedResponder() override = default;

  // Answers for the next message boxes, in order.
  void QueueAnswer(int answer) { answers_.push_back(answer); }
  void QueueAnswers(std::initializer_list<int> answers) { answers_.insert(answers_.end(), answers); }
  size_t PendingAnswers() const { return answers_.size(); }

  void ShowMessage(std::string_view text, int level) override;
  int MessageBox(std::string_view title, std::string_view text, unsigned style) override;

  const std::vector<Shown>& Messages() const { return messages_; }
  const std::vector<Box>& Boxes() const { return boxes_; }
  // Forgets what was recorded (not the queued answers).
  void ClearRecorded() {
    messages_.clear();
    boxes_.clear();
  }

 private:
  std::deque<int> answers_;
  std::vector<Shown> messages_;
  std::vector<Box> boxes_;
  tsResponderScope scope_;  // last member: installed once the rest exists
};
