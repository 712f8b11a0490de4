#include "display/text_view.h"

#include <cstring>

#include "app/app_state.h"
#include "measure/status_line.h"
#include "settings/settings.h"

namespace {

constexpr COLORREF TEXT_GREEN = 0x00FF00;

// A battery adds its field to the line, and the default width has no room for
// it: on a run without a stored width, the first line wider than the strip
// widens it once, to the line's width plus the margin. A stored width is the
// user's and stays as it is.
void widenOnceToFit(HWND window, LONG lineWidth, const RECT& client) {
  if (!widthMayGrow || lineWidth <= client.right - client.left) return;
  widthMayGrow = false;
  RECT outer{};
  GetWindowRect(window, &outer);
  SetWindowPos(window, nullptr, outer.left, outer.top, lineWidth + STRIP_TEXT_MARGIN,
               outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

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
  const int length = static_cast<int>(std::strlen(StatusLine));
  TextOutA(backBuffer.memoryDC, 0, 0, StatusLine, length);
  SIZE line{};
  if (widthMayGrow) GetTextExtentPoint32A(backBuffer.memoryDC, StatusLine, length, &line);
  SelectObject(backBuffer.memoryDC, previous);
  BitBlt(windowDC, 0, 0, client.right - client.left, client.bottom - client.top,
         backBuffer.memoryDC, 0, 0, SRCCOPY);
  ReleaseDC(window, windowDC);
  // Last: the new size makes a new back buffer.
  widenOnceToFit(window, line.cx, client);
}
