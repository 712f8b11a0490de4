// The process-wide state of the strip. Settings and their start-up copies live
// in settings/, the status line and the probes in measure/; everything else
// the shell and the views share is here. Touched by the GUI thread only.
#pragma once

#include "platform/drawing.h"
#include "platform/windowing.h"
#include "resources/resource_ids.h"

constexpr UINT_PTR REFRESH_TIMER = 1;

// Context menu commands and dialog templates.
constexpr WORD CMD_ABOUT = 105;
constexpr WORD CMD_SETUP = 106;
constexpr WORD CMD_ALWAYS_ON_TOP = 107;
constexpr WORD CMD_SELECT_FONT = 109;
constexpr WORD CMD_QUIT = 110;

// The z-order choices insertAfter takes.
constexpr LONG Z_TOPMOST = -1;
constexpr LONG Z_BOTTOM = 1;

struct BackBuffer {
  HDC memoryDC;
  HBITMAP bitmap;
};

struct AppState {
  HINSTANCE instance;
  HWND ownerWindow;
  HWND monitorWindow;
  HMENU contextMenu;
  DWORD dragging;
  POINT dragAnchor;
};

extern AppState app;
extern BackBuffer backBuffer;
extern HFONT DisplayFont;

// The monitor window's refresh timer, at the period in the settings. Starting
// a running timer starts its period afresh.
void startRefreshTimer();
void stopRefreshTimer();

// The z-order handle for every placement of the monitor window. It is the
// settings' top field itself: one variable, saved as "top" at close.
extern LONG& insertAfter;
HWND insertAfterHandle();
