// User messages through the application's responder (see message.h).
#include "framework/ui/message.h"

#include "framework/base/application.h"

short xw_wr_message(short /*window*/, short kind, std::string_view text, short /*flags*/) {
  int level = 1;
  if (kind >= kXwInformation && kind <= kXwFatal) level = kind - kXwInformation + 1;
  TSGetApp()->Message(text, level);
  return 1;
}
