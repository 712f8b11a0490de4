// Dragging, the frame toggle, the context menu and its commands.
#pragma once

#include "platform/windowing.h"

HMENU buildContextMenu();

void beginDrag(HWND window, int x, int y);
void dragMove(int x, int y);
void toggleFrame(HWND window);
void showContextMenu(HWND window, int x, int y);
void setAlwaysOnTop(bool onTop);
void onCommand(HWND window, WORD id, WORD code, LPARAM lParam);
