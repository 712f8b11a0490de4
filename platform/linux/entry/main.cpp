// Linux has no WinMain: hand over to it the way the Windows loader would.
#include <cstdio>
#include <cstring>

#include "platform/linux/readings/local_time.h"
#include "platform/linux/windows/window_calls.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/termination.h"
#include "platform/linux/x11/x11_session.h"
#include "platform/windowing.h"

namespace {

constexpr int KEEP_GOING = -1;

const char USAGE[] =
    "Usage: kivo [--help | --version]\n"
    "\n"
    "Shows a small strip, always on top, with the date, memory in use, free disk\n"
    "space, network receive and send rates, battery charge and processor load,\n"
    "redrawn every second. Drag it to move it, double-click it for a frame, and\n"
    "right-click it for its menu. Settings are kept in ~/.config/kivo/kivo.reg\n"
    "(in $XDG_CONFIG_HOME/kivo/ when that is set).\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

// The strip itself takes no options; a user who asks gets an answer rather
// than a second strip, and anything else is a mistake worth saying so.
int answerCommandLine(int argc, char** argv) {
  if (argc <= 1) return KEEP_GOING;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(USAGE, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("kivo " KIVO_VERSION);
    return 0;
  }
  const bool firstKnown =
      std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0;
  std::fprintf(stderr, "kivo: unexpected argument '%s'\n", argv[firstKnown ? 2 : 1]);
  std::fputs(USAGE, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int answered = answerCommandLine(argc, argv);
  if (answered != KEEP_GOING) return answered;
  settleLocalTimeZone();
  char whyNot[512];
  if (!x11Connect(whyNot, sizeof whyNot)) {
    std::fprintf(stderr, "kivo: %s\n", whyNot);
    return 1;
  }
  // The scale before anything is measured or placed, and its changes heard from then on.
  x11ReadScale();
  installTerminationHandlers();
  char noCommandLine[] = "";
  const int exitCode = WinMain(nullptr, nullptr, noCommandLine, SW_SHOWNORMAL);
  releaseAllWindows();
  return exitCode;
}
