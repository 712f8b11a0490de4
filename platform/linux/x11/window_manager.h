// What Kivo asks of the window manager, through EWMH and ICCCM properties and
// client messages, and who has the keyboard. Only the Linux layer includes this.
#pragma once

#include <X11/Xlib.h>

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
// size alone), never given the keyboard, so never activated as it maps, and
// on every workspace.
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
