#include "platform/linux/x11/x11_session.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xutil.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Channel {
  int shift;
  int bits;
};

struct Session {
  bool ready = false;
  Atom atoms[X11_ATOM_COUNT] = {};
  Channel red{}, green{}, blue{};
};

constexpr int CONNECT_ATTEMPTS = 40;
constexpr useconds_t CONNECT_PAUSE_US = 50000;  // 40 x 50 ms: two seconds

Session session;
bool openFailed = false;
bool connectionLost = false;
void (*closeWindowsOnLoss)() = nullptr;

Channel channelOf(unsigned long mask) {
  Channel channel{0, 0};
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++channel.shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++channel.bits;
  }
  return channel;
}

PixelValue channelPixel(unsigned long value8, Channel channel) {
  if (channel.bits >= 8) return (value8 << (channel.bits - 8)) << channel.shift;
  return (value8 >> (8 - channel.bits)) << channel.shift;
}

void prepareSession() {
  static const char* const names[X11_ATOM_COUNT] = {"_NET_WM_STATE",
                                                    "_NET_WM_STATE_ABOVE",
                                                    "_NET_WM_STATE_BELOW",
                                                    "_NET_WM_STATE_SKIP_TASKBAR",
                                                    "_NET_WM_STATE_SKIP_PAGER",
                                                    "_NET_SUPPORTING_WM_CHECK",
                                                    "_NET_WM_NAME",
                                                    "UTF8_STRING",
                                                    "_NET_WM_WINDOW_TYPE",
                                                    "_NET_WM_WINDOW_TYPE_UTILITY",
                                                    "_NET_ACTIVE_WINDOW",
                                                    "_NET_WM_STATE_STICKY",
                                                    "_NET_WM_DESKTOP",
                                                    "_NET_WM_WINDOW_TYPE_DIALOG"};
  XInternAtoms(fl_display, const_cast<char**>(names), X11_ATOM_COUNT, False, session.atoms);
  session.red = channelOf(fl_visual->red_mask);
  session.green = channelOf(fl_visual->green_mask);
  session.blue = channelOf(fl_visual->blue_mask);
  session.ready = true;
}

// A log-out ends the X server under us. Xlib must not get control back from
// here (it would end the process with status 1), so the windows hear of the
// session's end, save as Quit does, and the process leaves at once.
int onConnectionLost(Display* display) {
  connectionLost = true;
  std::fprintf(stderr, "kivo: the X display %s went away; closing as on Quit\n",
               DisplayString(display));
  if (closeWindowsOnLoss) closeWindowsOnLoss();
  _exit(0);
}

void adoptDisplay(Display* display) {
  fl_open_display(display);
  XSetIOErrorHandler(onConnectionLost);
}

}  // namespace

Display* x11Display() {
  if (!fl_display && !openFailed) {
    Display* display = XOpenDisplay(nullptr);
    if (display) {
      adoptDisplay(display);
    } else {
      openFailed = true;
    }
  }
  if (fl_display && !session.ready) prepareSession();
  return fl_display;
}

bool x11Connect(char* whyNot, unsigned long size) {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    std::snprintf(whyNot, size, "no X display to show the strip on: DISPLAY is not set");
    return false;
  }
  int reason = 0;
  for (int attempt = 0; !fl_display && attempt < CONNECT_ATTEMPTS; ++attempt) {
    if (attempt > 0) usleep(CONNECT_PAUSE_US);
    errno = 0;
    if (Display* display = XOpenDisplay(nullptr)) {
      adoptDisplay(display);
    } else {
      reason = errno;
    }
  }
  if (fl_display) return x11Display() != nullptr;
  std::snprintf(whyNot, size, "cannot connect to the X display %s: %s", name,
                reason ? std::strerror(reason) : "the server refused the connection");
  return false;
}

bool x11ConnectionLost() { return connectionLost; }

Window x11Root() { return RootWindow(fl_display, fl_screen); }
Visual* x11Visual() { return fl_visual->visual; }
Colormap x11Colormap() { return fl_colormap; }
int x11Depth() { return fl_visual->depth; }

PixelValue x11Pixel(unsigned long colourRef) {
  return channelPixel(colourRef & 0xFF, session.red) |
         channelPixel((colourRef >> 8) & 0xFF, session.green) |
         channelPixel((colourRef >> 16) & 0xFF, session.blue);
}

Atom x11Atom(X11Atom which) { return session.atoms[which]; }

void x11OnConnectionLost(void (*closeWindows)()) { closeWindowsOnLoss = closeWindows; }
