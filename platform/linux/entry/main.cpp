// Linux has no WinMain: hand over to it the way the Windows loader would.
#include "platform/windowing.h"

int main() {
  char noCommandLine[] = "";
  return WinMain(nullptr, nullptr, noCommandLine, SW_SHOWNORMAL);
}
