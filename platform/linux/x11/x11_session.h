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
  NET_WM_USER_TIME,
  NET_ACTIVE_WINDOW,
  X11_ATOM_COUNT
};
Atom x11Atom(X11Atom which);

// Asks the root window whether an EWMH window manager runs. A round trip, so
// callers keep the answer for a while.
bool x11WindowManagerRunning();

// A client message to the window manager about `window`, as EWMH asks for.
void x11SendToWindowManager(Window window, Atom messageType, long first, long second, long third,
                            long fourth);

// _NET_WM_STATE as a client message to the window manager: `add` true adds the
// atoms, false removes them (the second may be None).
void x11SendWmState(Window window, bool add, Atom first, Atom second);

class Fl_Window;

// Shows an FLTK window the way a window manager should first see it: FLTK
// creates and maps the X window in one call, and a manager decides how to
// treat a window as it maps, so the server is held between the two while
// `describe` writes the properties it decides by.
void x11ShowDescribed(Fl_Window* window, void (*describe)(Window xid, void* context),
                      void* context);

// A tool window for the window manager: floated (a tiling manager leaves its
// size alone), never given the keyboard, not activated as it maps.
void x11DescribeToolWindow(Window xid);

// WM_NORMAL_HINTS say the program chose this place and size. With
// `frameCorner` a decorating manager puts its frame's corner there (the title
// bar then stays where the window was meant to be); without, the window itself
// goes there.
void x11SetPlacementHints(Window xid, int x, int y, int width, int height, bool frameCorner);

// A manager that ignores the frame-corner hint (i3) may put a title bar
// above the work area, and any frame is wider than the window it holds: once
// framed, the window moves so its whole frame is inside the work area (x, y,
// width, height), or at least its top-left corner when it is larger.
void x11KeepFrameOnScreen(Window xid, const int work[4]);

// The window that has the keyboard: the manager's active window, or with no
// manager the focus itself. 0 for none.
Window x11FocusedWindow();
// Gives `xid` the keyboard: through the window manager where one runs, as a
// pager would ask, or directly. Nothing for 0 or a window no longer shown.
void x11GiveFocus(Window xid);

// Names a window for window-manager rules and tools such as xdotool.
void x11SetNames(Window window, const char* utf8Title, const char* className);
