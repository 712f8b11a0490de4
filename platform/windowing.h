// Windows and messages.
#pragma once

#include "platform/base_types.h"

#ifndef _WIN32
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *LPRECT;

#define SW_SHOWNORMAL 1

BOOL GetWindowRect(HWND window, LPRECT rect);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
#endif
