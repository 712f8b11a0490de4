// What the dialogs and the tests need of the window calls beyond the Win32 ones.
#pragma once

#include "platform/windowing.h"

// Frees every window still there when the program ends, sending nothing.
void releaseAllWindows();
// DestroyWindow: owned windows first, WM_DESTROY, then the X window goes.
void destroyWindow(HWND window);

// Dialog controls are not windows here, yet GetWindowRect answers for them:
// the dialogs set where their rectangles come from.
typedef bool (*ControlRectSource)(HWND control, RECT* rect);
void setControlRectSource(ControlRectSource source);
