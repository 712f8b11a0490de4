// Linux has no WinMain: hand over to it the way the Windows loader would.
#include <cstdio>

#include "platform/linux/local_time.h"
#include "platform/linux/termination.h"
#include "platform/linux/window_records.h"
#include "platform/linux/x11_session.h"
#include "platform/windowing.h"

int main() {
  settleLocalTimeZone();
  char whyNot[512];
  if (!x11Connect(whyNot, sizeof whyNot)) {
    std::fprintf(stderr, "kivo: %s\n", whyNot);
    return 1;
  }
  installTerminationHandlers();
  char noCommandLine[] = "";
  const int exitCode = WinMain(nullptr, nullptr, noCommandLine, SW_SHOWNORMAL);
  releaseAllWindows();
  return exitCode;
}
