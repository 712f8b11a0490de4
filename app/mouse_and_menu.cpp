#include "app/mouse_and_menu.h"

#include "app/app_state.h"
#include "dialogs/dialogs.h"
#include "display/display_font.h"
#include "settings/settings.h"

HMENU buildContextMenu() {
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, CMD_ALWAYS_ON_TOP, "Always on Top");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CMD_SELECT_FONT, "Select Font");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CMD_SETUP, "Setup");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CMD_ABOUT, "About...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CMD_QUIT, "Quit");
  return menu;
}

void beginDrag(HWND window, int x, int y) {
  if (app.dragging == 1) return;
  POINT press{x, y};
  ClientToScreen(window, &press);
  app.dragAnchor = press;
  app.dragging = 1;
  SetCapture(window);
}

// The window follows the cursor by increments: the anchor moves with it.
void dragMove(int x, int y) {
  if (app.dragging == 0) return;
  RECT outer{};
  GetWindowRect(app.monitorWindow, &outer);
  POINT cursor{x, y};
  ClientToScreen(app.monitorWindow, &cursor);
  const LONG dx = cursor.x - app.dragAnchor.x;
  const LONG dy = cursor.y - app.dragAnchor.y;
  app.dragAnchor = cursor;
  SetWindowPos(app.monitorWindow, insertAfterHandle(), outer.left + dx, outer.top + dy, 0, 0,
               SWP_NOSIZE);
}

// Popup, then thin border and sizing frame, then border only, then sizing
// frame only, and those two in turn from then on.
void toggleFrame(HWND window) {
  DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  if ((style & WS_THICKFRAME) != 0) {
    style &= ~static_cast<DWORD>(WS_THICKFRAME);
    style |= WS_BORDER;
  } else {
    style ^= WS_BORDER;
    style |= WS_THICKFRAME;
  }
  settings.caption = style;
  SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(style));
  // Two placements, one pixel apart: each changes the client size, so the
  // back buffer follows the new frame.
  RECT outer{};
  GetWindowRect(window, &outer);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const UINT flags = SWP_NOMOVE | SWP_FRAMECHANGED;
  SetWindowPos(window, insertAfterHandle(), outer.left, outer.top, width + 1, height, flags);
  SetWindowPos(window, insertAfterHandle(), outer.left, outer.top, width, height, flags);
}

void showContextMenu(HWND window, int x, int y) {
  RECT outer{};
  GetWindowRect(window, &outer);
  const UINT check = insertAfter == Z_TOPMOST ? MF_CHECKED : MF_UNCHECKED;
  CheckMenuItem(app.contextMenu, GetMenuItemID(app.contextMenu, 0), check);
  TrackPopupMenuEx(app.contextMenu, 0, outer.left + x, outer.top + y, window, nullptr);
}

void setAlwaysOnTop(bool onTop) {
  insertAfter = onTop ? Z_TOPMOST : Z_BOTTOM;
  SetWindowPos(app.monitorWindow, insertAfterHandle(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void onCommand(HWND window, WORD id, WORD code, LPARAM lParam) {
  switch (id) {
    case CMD_ABOUT:
      DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_ABOUT), app.monitorWindow, AboutDlgProc,
                      0);
      break;
    case CMD_SETUP:
      DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_SETUP), app.monitorWindow, SetupDlgProc,
                      0);
      break;
    case CMD_ALWAYS_ON_TOP:
      setAlwaysOnTop(insertAfter == Z_BOTTOM);
      break;
    case CMD_SELECT_FONT:
      selectDisplayFont(window);
      break;
    case CMD_QUIT:
      PostMessageA(app.monitorWindow, WM_CLOSE, 0, 0);
      break;
    default: {
      const WPARAM rebuilt = (static_cast<WPARAM>(code) << 16) | id;
      DefWindowProcA(window, WM_COMMAND, rebuilt, lParam);
    }
  }
}
