// tsResponder: the one place where messages and message boxes meet a person.
//
// There are no screens: the application object (framework/base/application.h)
// hands every message and message box to its responder. The default responder
// is a tsConsoleResponder; tests install a tsScriptedResponder
// (framework/base/scripted_responder.h); a program may install its own.
//
// Message-box styles and answers use the classic constants: the low four bits
// of a style choose the buttons, the next four the icon, the next four the
// default button. Style 21 (MB_RETRYCANCEL | MB_ICONSTOP) offers Retry and
// Cancel with the stop icon.
#pragma once

#include <cstdio>
#include <string_view>

#include "framework/base/export.h"

// Answers of a message box.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Buttons (style & MB_TYPEMASK).
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_TYPEMASK = 0xF;
// Icons (style & MB_ICONMASK).
inline constexpr unsigned MB_ICONSTOP = 0x10;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONHAND = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_ICONMASK = 0xF0;
// Default button for a person at a terminal (style & MB_DEFMASK).
inline constexpr unsigned MB_DEFBUTTON1 = 0x000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x200;
inline constexpr unsigned MB_DEFMASK = 0xF00;

class TS_EXPORT tsResponder {
 public:
  virtual ~tsResponder();
  // Shows one message at a level (0 none, 1 information, 2 warning, 3 error,
  // 4 fatal error).
  virtual void ShowMessage(std::string_view text, int level) = 0;
  // Asks a question; returns one of the ID* answers the style offers.
  virtual int MessageBox(std::string_view title, std::string_view text, unsigned style) = 0;
};

// The answer given when nobody can answer (unattended runs, no terminal, end
// of input). It never asks to go on waiting or to try again, so a caller that
// loops on Retry always ends: Cancel for OK/Cancel, Retry/Cancel and
// Yes/No/Cancel; No for Yes/No; Abort for Abort/Retry/Ignore; OK for OK and
// for unknown button sets. The style's default button is not consulted.
TS_EXPORT int tsSafeAnswer(unsigned style);

// The name of an answer ("OK", "Cancel", ...), "unknown answer" otherwise.
TS_EXPORT const char* tsAnswerName(int answer);

// The default responder.
//   Unattended (TSGetApp()->IsUnattended()): messages go to the log (x_log,
//   framework/base/log.h) at their level; a message box is logged with the
//   answer tsSafeAnswer gives, and that answer is returned.
//   Attended: messages are written to `out`, one line each, prefixed
//   "Warning: ", "Error: " or "Fatal error: " by level. A message box is
//   written to `out` with its buttons, and when `in` is a terminal one line is
//   read from `in`: the first letter of a button chooses it (O, C, A, R, I, Y,
//   N, any case), an empty line chooses the style's default button, anything
//   else asks again; end of input gives tsSafeAnswer. When `in` is not a
//   terminal the box is answered with tsSafeAnswer without reading.
class TS_EXPORT tsConsoleResponder : public tsResponder {
 public:
  // `interactive` forces whether `in` counts as a terminal (tests); by
  // default it is isatty() of `in`, checked at each message box.
  enum class Interactive { kDetect, kYes, kNo };
  explicit tsConsoleResponder(std::FILE* in = stdin, std::FILE* out = stderr,
                              Interactive interactive = Interactive::kDetect)
      : in_(in), out_(out), interactive_(interactive) {}

  void ShowMessage(std::string_view text, int level) override;
  int MessageBox(std::string_view title, std::string_view text, unsigned style) override;

 private:
  bool InIsTerminal() const;
  std::FILE* in_;
  std::FILE* out_;
  Interactive interactive_;
};
