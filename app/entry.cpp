// The entry. The strip window arrives next; for now a run reads the settings,
// composes one status line and ends.
#include "measure/status_line.h"
#include "platform/windowing.h"
#include "settings/settings.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)showCommand;
  loadSettings();
  composeStatusLine();
  return 0;
}
