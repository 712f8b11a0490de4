#include "platform/linux/x11_session.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xatom.h>

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

Session session;
bool openFailed = false;

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
                                                    "UTF8_STRING"};
  XInternAtoms(fl_display, const_cast<char**>(names), X11_ATOM_COUNT, False, session.atoms);
  session.red = channelOf(fl_visual->red_mask);
  session.green = channelOf(fl_visual->green_mask);
  session.blue = channelOf(fl_visual->blue_mask);
  session.ready = true;
}

}  // namespace

Display* x11Display() {
  if (!fl_display && !openFailed) {
    Display* display = XOpenDisplay(nullptr);
    if (display) {
      fl_open_display(display);
    } else {
      openFailed = true;
    }
  }
  if (fl_display && !session.ready) prepareSession();
  return fl_display;
}

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

bool x11WindowManagerRunning() {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  const int status =
      XGetWindowProperty(fl_display, x11Root(), x11Atom(NET_SUPPORTING_WM_CHECK), 0, 1, False,
                         XA_WINDOW, &type, &format, &count, &remaining, &data);
  const bool running = status == Success && type == XA_WINDOW && count == 1;
  if (data) XFree(data);
  return running;
}

void x11SendWmState(Window window, bool add, Atom first, Atom second) {
  XEvent event;
  std::memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = x11Atom(NET_WM_STATE);
  event.xclient.format = 32;
  event.xclient.data.l[0] = add ? 1 : 0;
  event.xclient.data.l[1] = static_cast<long>(first);
  event.xclient.data.l[2] = static_cast<long>(second);
  event.xclient.data.l[3] = 1;  // a normal application asks
  XSendEvent(fl_display, x11Root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
             &event);
}

void x11SetNames(Window window, const char* utf8Title, const char* className) {
  const int titleLength = static_cast<int>(std::strlen(utf8Title));
  XChangeProperty(fl_display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8Title), titleLength);
  XChangeProperty(fl_display, window, x11Atom(NET_WM_NAME), x11Atom(UTF8_STRING), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(utf8Title), titleLength);
  char classHint[2 * 256 + 2];
  const std::size_t length = strnlen(className, 255);
  std::memcpy(classHint, className, length);
  classHint[length] = '\0';
  std::memcpy(classHint + length + 1, className, length);
  classHint[2 * length + 1] = '\0';
  XChangeProperty(fl_display, window, XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(classHint),
                  static_cast<int>(2 * length + 2));
}
