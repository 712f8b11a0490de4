// The FLTK window behind each HWND. It only forwards: input becomes posted
// mouse messages, exposure a pending WM_PAINT, and a move made by a window
// manager reaches the window record.
#pragma once

#include <FL/Fl_Window.H>

#include "platform/linux/windows/window_records.h"

class HostWindow : public Fl_Window {
 public:
  HostWindow(HWND windowHandle, int x, int y, int width, int height);
  int handle(int event) override;
  void draw() override;
  void resize(int x, int y, int width, int height) override;

  HWND hwnd;  // null once the HWND is destroyed
};

// Lets go of the mouse and of a frame drag if `window` holds them.
void dropCapture(HWND window);
// The sizing frame Windows draws for WS_BORDER and WS_THICKFRAME.
void drawHostFrame(const WindowRecord& record);
