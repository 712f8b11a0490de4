// Moving, sizing and stacking windows, and what the window manager is told
// of it.
#pragma once

#include "platform/linux/windows/window_records.h"

// Moves, sizes and stacks a window as SetWindowPos does.
BOOL placeWindow(WindowRecord* record, HWND insertAfter, int x, int y, int width, int height,
                 UINT flags);
// WM_NORMAL_HINTS from the record: the program's own place and size. A window
// the manager decorates asks for its frame's corner at the record's corner.
void publishPlacementHints(const WindowRecord& record, unsigned long xid);
// Puts a just-shown X window exactly where the record says: FLTK's show()
// pulls windows onto the screen, and the strip lives at y = -2.
void placeShownHost(const WindowRecord& record);
void applyZOrder(WindowRecord* record);
// A window manager (or FLTK's echo of our own request) reports where the X
// window is, in screen pixels.
void noteHostConfigured(WindowRecord* record, int x, int y, int width, int height);
// Puts every window where its record says at the scale now.
void placeHostsAtScale();
void publishWindowState(WindowRecord* record, bool windowManagerRunning);
