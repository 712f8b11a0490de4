// The one window procedure that serves both windows, and what it calls.
#pragma once

#include "platform/windowing.h"

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void refreshView(HWND window);
void onSize(HWND window, int width, int height);
void closeAndSave(HWND window);
