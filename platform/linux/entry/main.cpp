// Linux has no WinMain: hand over to it the way the Windows loader would.
#include "platform/linux/local_time.h"
#include "platform/windowing.h"

int main() {
  settleLocalTimeZone();
  char noCommandLine[] = "";
  return WinMain(nullptr, nullptr, noCommandLine, SW_SHOWNORMAL);
}
