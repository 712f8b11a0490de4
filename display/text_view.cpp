#include "display/text_view.h"

#include <cstring>

#include "app/app_state.h"
#include "measure/status_line.h"

namespace {
constexpr COLORREF TEXT_GREEN = 0x00FF00;
}

void drawTextView(HWND window) {
  HDC windowDC = GetDC(window);
  RECT client{};
  GetClientRect(window, &client);
  // Black brush and the default black pen: the whole client area goes black.
  // The stock brush stays selected; it is never deleted.
  SelectObject(backBuffer.memoryDC, GetStockObject(BLACK_BRUSH));
  Rectangle(backBuffer.memoryDC, client.left, client.top, client.right, client.bottom);
  composeStatusLine();
  SetTextColor(backBuffer.memoryDC, TEXT_GREEN);
  SetBkMode(backBuffer.memoryDC, TRANSPARENT);
  HGDIOBJ previous = SelectObject(backBuffer.memoryDC, DisplayFont);
  TextOutA(backBuffer.memoryDC, 0, 0, StatusLine, static_cast<int>(std::strlen(StatusLine)));
  SelectObject(backBuffer.memoryDC, previous);
  BitBlt(windowDC, 0, 0, client.right - client.left, client.bottom - client.top,
         backBuffer.memoryDC, 0, 0, SRCCOPY);
  ReleaseDC(window, windowDC);
}
