#include "app/app_state.h"

#include "settings/settings.h"

AppState app;
BackBuffer backBuffer;
HFONT DisplayFont;
LONG& insertAfter = settings.top;

HWND insertAfterHandle() { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(insertAfter)); }

void startRefreshTimer() {
  SetTimer(app.monitorWindow, REFRESH_TIMER, static_cast<UINT>(settings.refresh), nullptr);
}

void stopRefreshTimer() { KillTimer(app.monitorWindow, REFRESH_TIMER); }
