// The one X connection, shared with FLTK, and the few X facts the windowing and
// drawing code need from it. Only the Linux layer's own sources include this.
#pragma once

#include <X11/Xlib.h>

typedef unsigned long PixelValue;

// The connection, opened on first need; null when no X server answers. Opening
// it ourselves (rather than through fl_open_display()) lets a missing display
// fail a call instead of ending the process.
Display* x11Display();
// Opens the connection at start-up. A busy server turns clients away now and
// then, so this tries again for up to two seconds. On failure `whyNot` gets
// one line naming the display and the reason.
bool x11Connect(char* whyNot, unsigned long size);
// True once the connection broke: from then on nothing may be sent to X.
bool x11ConnectionLost();
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
  NET_WM_WINDOW_TYPE,
  NET_WM_WINDOW_TYPE_UTILITY,
  NET_ACTIVE_WINDOW,
  NET_WM_STATE_STICKY,
  NET_WM_DESKTOP,
  NET_WM_WINDOW_TYPE_DIALOG,
  X11_ATOM_COUNT
};
Atom x11Atom(X11Atom which);

// What runs when the X connection breaks, set by the windows above it so they
// can save what their records hold. Nothing may reach X from there, and the
// process ends right after.
void x11OnConnectionLost(void (*closeWindows)());
