#include "display/back_buffer.h"

#include "app/app_state.h"

void releaseBackBuffer() {
  if (backBuffer.memoryDC == nullptr) return;
  // The context goes first, so the bitmap is selected nowhere when it is deleted.
  DeleteDC(backBuffer.memoryDC);
  DeleteObject(backBuffer.bitmap);
  // A second close (session end, then destroy) must not free them again.
  backBuffer = BackBuffer{};
}

void recreateBackBuffer(int width, int height) {
  // Before the monitor window's handle is known this borrows the screen's
  // context, which gives a buffer of the same format.
  HDC windowDC = GetDC(app.monitorWindow);
  releaseBackBuffer();
  backBuffer.memoryDC = CreateCompatibleDC(windowDC);
  // Compatible with the window, not with the new memory context, whose own
  // bitmap is one bit deep.
  backBuffer.bitmap = CreateCompatibleBitmap(windowDC, width, height);
  SelectObject(backBuffer.memoryDC, backBuffer.bitmap);
  ReleaseDC(app.monitorWindow, windowDC);
}
