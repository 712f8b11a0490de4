// The Linux layer's record of each window, shared by the window, message,
// menu and drawing code. The program itself sees only HWND values.
#pragma once

#include "platform/windowing.h"

class HostWindow;

#define GWL_EXSTYLE (-20)
#define SIZE_RESTORED 0

// Builds the FLTK window behind a new HWND, for classes whose windows are more
// than a plain host (the dialogs').
typedef HostWindow* (*HostFactory)(HWND window, int x, int y, int width, int height);

struct WindowClass {
  ATOM atom;
  UINT style;
  WNDPROC procedure;
  HostFactory hostFactory;  // null: a plain HostWindow
  char name[256];
};

struct WindowRecord {
  HWND handle;
  const WindowClass* windowClass;
  DWORD style;  // the stored word without WS_VISIBLE, which follows `visible`
  DWORD exStyle;
  DWORD frameStyle;  // the word whose frame is drawn: catches up with `style` on SWP_FRAMECHANGED
  HWND owner;
  RECT outer;   // screen coordinates, the frame included
  HWND zOrder;  // the last HWND_TOPMOST/BOTTOM/TOP/NOTOPMOST asked for, reapplied on show
  bool visible;
  bool paintPending;
  bool destroying;
  unsigned publishedState;  // the _NET_WM_STATE bits last written, so unchanged ones cost nothing
  HostWindow* host;
};

// A class of the layer's own, registered once; 0 if the name is taken.
ATOM registerHostClass(LPCSTR name, WNDPROC procedure, HostFactory factory);
// A fresh handle from the windows' sequence, for controls that are not windows here.
HWND allocateWindowHandle();
// The screen rectangle of a dialog control; false for any other handle.
bool controlScreenRect(HWND control, RECT* rect);

// Frees every window still there when the program ends, sending nothing.
void releaseAllWindows();
// Null for a handle that names no live window.
WindowRecord* findWindow(HWND window);
// A termination signal closes what the user sees, as the close box would.
void postCloseToShownWindows();
// Dismisses the pop-up menu if one is open, as Escape would.
void closeOpenMenu();
// The X connection broke: the program's own windows hear WM_ENDSESSION, as at
// a log-off, and save from what the records hold, sending nothing to X. Set
// with the X session as the first window is made.
void endSessionWithoutDisplay();
// A visible window waiting for WM_PAINT, or null.
WindowRecord* windowNeedingPaint();

// Frame width on each side, in pixels, for a style word: 1 for WS_BORDER, 4
// for WS_THICKFRAME, 5 for both; 0 for a window with a caption, which the
// window manager frames outside its X window.
int frameWidth(DWORD style);
int clientWidth(const WindowRecord& record);
int clientHeight(const WindowRecord& record);
// The X window, or 0 while the window has never been shown or is hidden.
unsigned long hostXid(const WindowRecord& record);

// Sends a message straight to the window's procedure; 0 for a dead handle.
LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void sendSizeMessage(const WindowRecord& record);
// DestroyWindow: owned windows first, WM_DESTROY, then the X window goes.
void destroyWindow(HWND window);

// Moves, sizes and stacks a window as SetWindowPos does.
BOOL placeWindow(WindowRecord* record, HWND insertAfter, int x, int y, int width, int height,
                 UINT flags);
// Hands the record's rectangle to the FLTK window (and so to its X window).
void syncHostGeometry(WindowRecord* record);
// WM_NORMAL_HINTS from the record: the program's own place and size. A window
// the manager decorates asks for its frame's corner at the record's corner.
void publishPlacementHints(const WindowRecord& record, unsigned long xid);
// Puts a just-shown X window exactly where the record says: FLTK's show()
// pulls windows onto the screen, and the strip lives at y = -2.
void placeShownHost(const WindowRecord& record);
void applyZOrder(WindowRecord* record);
// A window manager (or FLTK's echo of our own request) reports where the X window is.
void noteHostConfigured(WindowRecord* record, int x, int y, int width, int height);
void publishWindowState(WindowRecord* record, bool windowManagerRunning);

// Message queue internals for the input, timer and menu code.
BOOL queueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void queueMouseMove(HWND window, WPARAM keys, LPARAM position);
void dropQueuedMessages(HWND window);
void noteLastCursor(int screenX, int screenY);

// Timers.
bool takeDueTimer(MSG* msg);
double secondsToNextTimer();  // negative when no timer runs
void killWindowTimers(HWND window);
DWORD tickCount();

// Capture.
HWND captureWindow();
void dropCapture(HWND window);

// FLTK runs its own loops for pop-ups (menus, choosers). While one runs, these
// keep posted messages, paints and WM_TIMER reaching window procedures, as a
// Windows modal loop would.
void enterToolkitModalLoop();
void leaveToolkitModalLoop();
void wakeToolkitModalLoop();
// Runs FLTK's loop, with the above in force, until `finished` says so or a
// quit is posted (which stays posted for the outer loop). Termination signals
// are heard here as in GetMessageA.
void runToolkitModalLoop(bool (*finished)(void* context), void* context);
// Makes the running Fl::wait() return, for state changed outside an event.
void interruptToolkitWait();

// Mouse and frame handling of the host windows.
void drawHostFrame(const WindowRecord& record);
