// How long the strip takes from exec to its first frame on the screen: starts
// the program itself, so the clock begins at the fork, watches the root window
// for the strip (WM_CLASS "Kivo") to map, then reads the strip's screen area
// about every millisecond until the first green pixel shows (the text view
// draws green on black; the Xvfb root has no green). Ends the program with
// SIGTERM and waits until its window has gone, so runs can follow each other.
//
// Usage: kivo_first_frame program [args...]     on the X display in $DISPLAY
// Prints "map_ms frame_ms" on success; exits 1 when no frame shows in 10 s.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

namespace {

constexpr double GIVE_UP_MS = 10000;

double msSince(const timespec& start) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec - start.tv_sec) * 1e3 +
         static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e6;
}

// A window can go between its MapNotify and our look at it.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

bool hasStripClass(Display* display, Window window) {
  XClassHint hint{};
  if (!XGetClassHint(display, window, &hint)) return false;
  const bool strip = hint.res_class && std::strcmp(hint.res_class, "Kivo") == 0;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return strip;
}

int maskShift(unsigned long mask) {
  int shift = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

// Whether the window's area, clipped to the screen, holds a pixel with green
// and neither red nor blue: antialiased glyph edges are darker greens.
bool showsGreen(Display* display, Window window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) {
    return false;
  }
  int x = 0, y = 0;
  Window child = 0;
  const Window root = DefaultRootWindow(display);
  if (!XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child)) return false;
  int right = x + attributes.width, bottom = y + attributes.height;
  const int screenWidth = DisplayWidth(display, DefaultScreen(display));
  const int screenHeight = DisplayHeight(display, DefaultScreen(display));
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  if (right > screenWidth) right = screenWidth;
  if (bottom > screenHeight) bottom = screenHeight;
  if (right <= x || bottom <= y) return false;
  // The root, not the window: a window partly off the screen (the strip sits
  // at y = -2) cannot be read whole.
  XImage* image = XGetImage(display, root, x, y, static_cast<unsigned>(right - x),
                            static_cast<unsigned>(bottom - y), AllPlanes, ZPixmap);
  if (!image) return false;
  const Visual* visual = DefaultVisual(display, DefaultScreen(display));
  const int redShift = maskShift(visual->red_mask);
  const int greenShift = maskShift(visual->green_mask);
  const int blueShift = maskShift(visual->blue_mask);
  bool green = false;
  for (int row = 0; row < image->height && !green; ++row) {
    for (int column = 0; column < image->width && !green; ++column) {
      const unsigned long pixel = XGetPixel(image, column, row);
      const unsigned long red = (pixel & visual->red_mask) >> redShift;
      const unsigned long greenLevel = (pixel & visual->green_mask) >> greenShift;
      const unsigned long blue = (pixel & visual->blue_mask) >> blueShift;
      green = red == 0 && blue == 0 && greenLevel > 0;
    }
  }
  XDestroyImage(image);
  return green;
}

void endProgram(Display* display, pid_t child, Window strip) {
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  if (!strip) return;
  // The server drops the window once it sees the connection close.
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  XWindowAttributes attributes{};
  while (msSince(start) < 2000 && XGetWindowAttributes(display, strip, &attributes)) {
    usleep(10000);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s program [args...]\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "kivo_first_frame: cannot open the display\n");
    return 2;
  }
  XSetErrorHandler(ignoreErrors);
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 2;
  }
  if (child == 0) {
    close(ConnectionNumber(display));
    execv(argv[1], argv + 1);
    std::perror(argv[1]);
    _exit(127);
  }

  // Each top-level window mapped so far, with when its MapNotify came.
  std::vector<std::pair<Window, double>> mapped;
  Window strip = 0;
  double mapMs = 0;
  while (msSince(start) < GIVE_UP_MS) {
    while (XPending(display)) {
      XEvent event{};
      XNextEvent(display, &event);
      if (event.type == MapNotify && !strip) {
        mapped.emplace_back(event.xmap.window, msSince(start));
      }
    }
    // The class may be set just after the map; look again on every pass.
    for (const auto& [window, when] : mapped) {
      if (strip || !hasStripClass(display, window)) continue;
      strip = window;
      mapMs = when;
    }
    if (strip && showsGreen(display, strip)) {
      const double frameMs = msSince(start);
      std::printf("%.1f %.1f\n", mapMs, frameMs);
      endProgram(display, child, strip);
      XCloseDisplay(display);
      return 0;
    }
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      std::fprintf(stderr, "kivo_first_frame: %s ended before its first frame\n", argv[1]);
      XCloseDisplay(display);
      return 1;
    }
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, 1);
  }
  std::fprintf(stderr, "kivo_first_frame: no frame from %s within %.0f ms\n", argv[1], GIVE_UP_MS);
  endProgram(display, child, strip);
  XCloseDisplay(display);
  return 1;
}
