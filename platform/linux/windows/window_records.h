// The window table: the Linux layer's record of each window and its class,
// shared by the window, message, menu and drawing code. The program itself
// sees only HWND values.
#pragma once

#include <vector>

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
  RECT outer;   // screen coordinates in 96-dpi units, the frame included
  HWND zOrder;  // the last HWND_TOPMOST/BOTTOM/TOP/NOTOPMOST asked for, reapplied on show
  bool visible;
  bool paintPending;
  bool destroying;
  unsigned publishedState;  // the _NET_WM_STATE bits last written, so unchanged ones cost nothing
  HostWindow* host;
};

// A class of the layer's own, registered once; 0 if the name is taken.
ATOM registerHostClass(LPCSTR name, WNDPROC procedure, HostFactory factory);
// By atom or by name (any case); null for neither.
const WindowClass* findClass(LPCSTR name);
// A fresh handle from the windows' sequence, for controls that are not windows here.
HWND allocateWindowHandle();

// The table owns nothing: records are made and freed by the window calls.
void addWindowRecord(WindowRecord* record);
void removeWindowRecord(WindowRecord* record);
// In the order they were made.
const std::vector<WindowRecord*>& allWindows();
// Null for a handle that names no live window.
WindowRecord* findWindow(HWND window);
// A visible window waiting for WM_PAINT, or null.
WindowRecord* windowNeedingPaint();

bool hasCaption(DWORD style);
// Frame width on each side, in units, for a style word: 1 for WS_BORDER, 4
// for WS_THICKFRAME, 5 for both; 0 for a window with a caption, which the
// window manager frames outside its X window.
int frameWidth(DWORD style);
int clientWidth(const WindowRecord& record);
int clientHeight(const WindowRecord& record);
// The record's rectangle as the screen has it: its corner and its size each
// converted from units, so a move never changes the size on screen.
struct ScreenRect {
  int x, y, width, height;
};
ScreenRect screenRectOf(const WindowRecord& record);
// The X window, or 0 while the window has never been shown or is hidden.
unsigned long hostXid(const WindowRecord& record);

// Sends a message straight to the window's procedure; 0 for a dead handle.
LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void sendSizeMessage(const WindowRecord& record);
