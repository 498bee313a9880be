// The default (console) responder and the message-box answer rules.
#include "framework/base/responder.h"

#include <unistd.h>

#include <cctype>
#include <string>
#include <vector>

#include "framework/base/application.h"
#include "framework/base/log.h"

tsResponder::~tsResponder() = default;

namespace {

// The buttons a style offers, in order.
std::vector<int> Buttons(unsigned style) {
  switch (style & MB_TYPEMASK) {
    case MB_OK: return {IDOK};
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
  }
  return {IDOK};
}

const char* LevelPrefix(int level) {
  switch (level) {
    case 2: return "Warning: ";
    case 3: return "Error: ";
    case 4: return "Fatal error: ";
  }
  return "";
}

void Write(std::FILE* out, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace

int tsSafeAnswer(unsigned style) {
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
  }
  return IDOK;
}

const char* tsAnswerName(int answer) {
  switch (answer) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
  }
  return "unknown answer";
}

bool tsConsoleResponder::InIsTerminal() const {
  switch (interactive_) {
    case Interactive::kYes: return true;
    case Interactive::kNo: return false;
    case Interactive::kDetect: break;
  }
  return in_ != nullptr && isatty(fileno(in_)) == 1;
}

void tsConsoleResponder::ShowMessage(std::string_view text, int level) {
  if (TSGetApp()->IsUnattended()) {
    x_log(level, text);
    return;
  }
  std::string line = LevelPrefix(level);
  line.append(text);
  line.push_back('\n');
  Write(out_, line);
  std::fflush(out_);
}

int tsConsoleResponder::MessageBox(std::string_view title, std::string_view text, unsigned style) {
  const int safe = tsSafeAnswer(style);
  if (TSGetApp()->IsUnattended()) {
    std::string line = "message box \"";
    line.append(title).append("\": ").append(text).append(" -> ").append(tsAnswerName(safe));
    x_log(1, line);
    return safe;
  }

  const std::vector<int> buttons = Buttons(style);
  size_t default_index = (style & MB_DEFMASK) >> 8;
  if (default_index >= buttons.size()) default_index = 0;

  std::string box;
  if (!title.empty()) box.append(title).append("\n");
  box.append(text).append("\n");
  for (size_t i = 0; i < buttons.size(); ++i) {
    const char* name = tsAnswerName(buttons[i]);
    box.append(i == 0 ? "" : ", ").append("[").append(1, name[0]).append("]").append(name + 1);
    if (i == default_index) box.append(" (default)");
  }

  if (!InIsTerminal()) {
    box.append(": ").append(tsAnswerName(safe)).append(" (no terminal to answer)\n");
    Write(out_, box);
    std::fflush(out_);
    return safe;
  }

  box.append("? ");
  for (;;) {
    Write(out_, box);
    std::fflush(out_);
    std::string answer;
    int c;
    while ((c = std::fgetc(in_)) != EOF && c != '\n') answer.push_back(static_cast<char>(c));
    if (c == EOF && answer.empty()) {
      Write(out_, "\n");
      return safe;
    }
    size_t first = answer.find_first_not_of(" \t\r");
    if (first == std::string::npos) return buttons[default_index];
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(answer[first])));
    for (int b : buttons) {
      if (tsAnswerName(b)[0] == letter) return b;
    }
  }
}
