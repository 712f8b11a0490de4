// The entry: the strip is built, then the message loop runs until Quit.
#include "app/start_up.h"
#include "display/display_font.h"

namespace {

int runMessageLoop() {
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
  (void)previous;
  (void)commandLine;
  const int failure = startUp(instance, showCommand);
  if (failure != 0) return failure;
  const int exitCode = runMessageLoop();
  deleteDisplayFont();
  return exitCode;
}
