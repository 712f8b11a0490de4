// Linux has no WinMain: hand over to it the way the Windows loader would.
#include <cstdio>

#include "platform/linux/local_time.h"
#include "platform/linux/termination.h"
#include "platform/linux/window_records.h"
#include "platform/linux/x11_session.h"
#include "platform/windowing.h"

int main() {
  settleLocalTimeZone();
  if (!x11Display()) {
    std::fputs("kivo: no X display to show the strip on (is DISPLAY set?)\n", stderr);
    return 1;
  }
  installTerminationHandlers();
  char noCommandLine[] = "";
  const int exitCode = WinMain(nullptr, nullptr, noCommandLine, SW_SHOWNORMAL);
  releaseAllWindows();
  return exitCode;
}
