// The one X connection, shared with FLTK, and the few X facts the windowing and
// drawing code need from it. Only the Linux layer's own sources include this.
#pragma once

#include <X11/Xlib.h>

typedef unsigned long PixelValue;

// The connection, opened on first need; null when no X server answers. Opening
// it ourselves (rather than through fl_open_display()) lets a missing display
// fail a call instead of ending the process.
Display* x11Display();
Window x11Root();
Visual* x11Visual();
Colormap x11Colormap();
int x11Depth();

// The pixel of a 0x00BBGGRR colour in the true-colour visual FLTK uses.
PixelValue x11Pixel(unsigned long colourRef);

enum X11Atom {
  NET_WM_STATE,
  NET_WM_STATE_ABOVE,
  NET_WM_STATE_BELOW,
  NET_WM_STATE_SKIP_TASKBAR,
  NET_WM_STATE_SKIP_PAGER,
  NET_SUPPORTING_WM_CHECK,
  NET_WM_NAME,
  UTF8_STRING,
  X11_ATOM_COUNT
};
Atom x11Atom(X11Atom which);

// Asks the root window whether an EWMH window manager runs. A round trip, so
// callers keep the answer for a while.
bool x11WindowManagerRunning();

// _NET_WM_STATE as a client message to the window manager: `add` true adds the
// atoms, false removes them (the second may be None).
void x11SendWmState(Window window, bool add, Atom first, Atom second);

// Names a window for window-manager rules and tools such as xdotool.
void x11SetNames(Window window, const char* utf8Title, const char* className);
