#include "settings/settings.h"

#include <cstring>

#include "settings/settings_store.h"

Settings settings;
StartupValues startupValues;
bool widthMayGrow = false;

namespace {

constexpr LONG DEFAULT_TOP = 0;
constexpr LONG DEFAULT_REFRESH = 1000;
constexpr LONG DEFAULT_MEMUSED = 1;
constexpr DWORD DEFAULT_CAPTION = WS_POPUP;
constexpr LONG DEFAULT_VIEW = 0;
constexpr LONG DEFAULT_FONT_HEIGHT = -11;

void useDefaultFont(LOGFONTA& font) {
  std::memset(&font, 0, sizeof font);
  std::strcpy(font.lfFaceName, "Courier New");
  font.lfHeight = DEFAULT_FONT_HEIGHT;
  font.lfWeight = FW_NORMAL;
}

static_assert(NOT_FOUND == DEFAULT_Y, "a missing y reads as the default");

LONG orDefault(LONG value, LONG fallback) { return value == NOT_FOUND ? fallback : value; }

void applyDefaults(Settings& s) {
  s.x = orDefault(s.x, DEFAULT_X);
  // y needs no default of its own: a failed read gives the default already.
  s.width = orDefault(s.width, DEFAULT_WIDTH);
  s.height = orDefault(s.height, DEFAULT_HEIGHT);
  s.top = orDefault(s.top, DEFAULT_TOP);
  s.refresh = orDefault(s.refresh, DEFAULT_REFRESH);
  s.memused = orDefault(s.memused, DEFAULT_MEMUSED);
  if (static_cast<LONG>(s.caption) == NOT_FOUND) s.caption = DEFAULT_CAPTION;
  if (s.view < 0 || s.view > 1) s.view = DEFAULT_VIEW;
}

void writeIfChanged(const char* name, LONG value, LONG atStartup) {
  if (value != atStartup) writeDword(name, value);
}

}  // namespace

void loadSettings() {
  buildKeyPath("Kivo", "2.0");
  keepKeyOpenForReading();
  settings.x = readDword("x");
  settings.y = readDword("y");
  settings.width = readDword("width");
  widthMayGrow = settings.width == NOT_FOUND;
  settings.height = readDword("height");
  settings.top = readDword("top");
  settings.refresh = readDword("refresh");
  settings.memused = readDword("memused");
  settings.caption = static_cast<DWORD>(readDword("caption"));
  settings.view = readDword("view");
  if (!readBytes("font", &settings.font, sizeof settings.font)) useDefaultFont(settings.font);
  closeKeptKey();
  applyDefaults(settings);
  startupValues = {settings.top, settings.refresh, settings.memused, settings.caption,
                   settings.view};
}

void saveSettings(HWND window) {
  // Without the window's rectangle the stored geometry is kept: writing a
  // zero rectangle would bring the strip back invisible at 0 x 0.
  RECT rect{};
  keepKeyOpenForWriting();
  if (GetWindowRect(window, &rect)) {
    writeDword("x", rect.left);
    writeDword("y", rect.top);
    writeDword("width", rect.right - rect.left);
    writeDword("height", rect.bottom - rect.top);
  }
  writeIfChanged("top", settings.top, startupValues.top);
  writeIfChanged("refresh", settings.refresh, startupValues.refresh);
  writeIfChanged("memused", settings.memused, startupValues.memused);
  writeIfChanged("caption", static_cast<LONG>(settings.caption),
                 static_cast<LONG>(startupValues.caption));
  writeIfChanged("view", settings.view, startupValues.view);
  writeBytes("font", &settings.font, sizeof settings.font);
  closeKeptKey();  // the save lands here, all values together
}
