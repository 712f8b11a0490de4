#include "app/window_procedure.h"

#include "app/app_state.h"
#include "app/mouse_and_menu.h"
#include "display/back_buffer.h"
#include "display/bar_view.h"
#include "display/display_font.h"
#include "display/text_view.h"
#include "settings/settings.h"

namespace {

// Positions and sizes arrive as two signed 16-bit halves of lParam.
int lowHalf(LPARAM packed) { return static_cast<short>(LOWORD(packed)); }
int highHalf(LPARAM packed) { return static_cast<short>(HIWORD(packed)); }

void paint(HWND window) {
  PAINTSTRUCT paintStruct{};
  BeginPaint(window, &paintStruct);
  refreshView(window);
  EndPaint(window, &paintStruct);
  DefWindowProcA(window, WM_PAINT, 0, 0);
}

}  // namespace

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      // Closing the hidden owner destroys the strip first, which saves; the
      // owner's own rectangle must not then overwrite the strip's.
      if (window == app.monitorWindow) closeAndSave(window);
      return 0;
    case WM_ENDSESSION:
      // The session is ending and the strip will not see WM_DESTROY: save now.
      // The hidden owner hears of it too, but its rectangle is not the strip's.
      if (wParam != 0 && window == app.monitorWindow) closeAndSave(window);
      return 0;
    case WM_SIZE:
      onSize(window, lowHalf(lParam), highHalf(lParam));
      return 0;
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_TIMER:
      refreshView(window);
      return 0;
    case WM_COMMAND:
      onCommand(window, LOWORD(wParam), HIWORD(wParam), lParam);
      return 0;
    case WM_MOUSEMOVE:
      dragMove(lowHalf(lParam), highHalf(lParam));
      return 0;
    case WM_LBUTTONDOWN:
      beginDrag(window, lowHalf(lParam), highHalf(lParam));
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      app.dragging = 0;
      return 0;
    case WM_LBUTTONDBLCLK:
      toggleFrame(window);
      return 0;
    case WM_RBUTTONDOWN:
      showContextMenu(window, lowHalf(lParam), highHalf(lParam));
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void refreshView(HWND window) {
  if (settings.view == 0)
    drawTextView(window);
  else
    drawBarView(window);
}

void onSize(HWND window, int width, int height) {
  if (window == app.ownerWindow) {
    if (IsIconic(app.ownerWindow) == 1) ShowWindow(app.ownerWindow, SW_HIDE);
    return;
  }
  // The first size message comes while the monitor window is being created,
  // before its handle is known: the timer is started by start-up then.
  if (app.monitorWindow != nullptr) stopRefreshTimer();
  recreateBackBuffer(width, height);
  if (settings.view != 0) fitDisplayFont();
  if (app.monitorWindow != nullptr) startRefreshTimer();
}

void closeAndSave(HWND window) {
  stopRefreshTimer();
  releaseBackBuffer();
  saveSettings(window);
  PostQuitMessage(0);
}
