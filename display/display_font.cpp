#include "display/display_font.h"

#include <cstring>

#include "app/app_state.h"
#include "display/text_view.h"
#include "measure/status_line.h"
#include "settings/settings.h"

namespace {

// Shaped like the widest bar labels: a two-digit percentage and an
// eight-digit grouped amount.
constexpr char FIT_SAMPLE[] = "99%99,999,999";
constexpr int FIT_SAMPLE_LENGTH = sizeof FIT_SAMPLE - 1;
// Past 0 the heights turn into growing character heights, so a window too
// small for any font would otherwise never stop trying.
constexpr int MOST_FIT_TRIES = 1024;
constexpr LONG FIT_MARGIN = 4;

struct FitLimits {
  LONG width;
  LONG height;
};

FitLimits fitLimitsOf(const RECT& client) {
  return FitLimits{client.right - client.left - FIT_MARGIN, client.bottom / 2};
}

// Makes the candidate for the current height and keeps it when the sample
// fits; a rejected candidate is gone before the next height is tried.
bool tryFitHeight(HDC dc, const FitLimits& limits) {
  DisplayFont = CreateFontIndirectA(&settings.font);
  if (DisplayFont == nullptr) return true;  // nothing more to try: no font at all
  HGDIOBJ previous = SelectObject(dc, DisplayFont);
  SIZE sample{};
  GetTextExtentPoint32A(dc, FIT_SAMPLE, FIT_SAMPLE_LENGTH, &sample);
  SelectObject(dc, previous);
  if (sample.cx <= limits.width && sample.cy <= limits.height) return true;
  deleteDisplayFont();
  --settings.font.lfHeight;
  return false;
}

// The strip takes the status line's size in the new font, where it stands.
void shapeStripToStatusLine(HWND window) {
  HDC dc = GetDC(window);
  HGDIOBJ previous = SelectObject(dc, DisplayFont);
  RECT outer{};
  GetWindowRect(window, &outer);
  SIZE text{};
  GetTextExtentPoint32A(dc, StatusLine, static_cast<int>(std::strlen(StatusLine)), &text);
  SelectObject(dc, previous);
  SetWindowPos(window, insertAfterHandle(), outer.left, outer.top, text.cx + STRIP_TEXT_MARGIN,
               text.cy, SWP_NOMOVE | SWP_FRAMECHANGED);
  ReleaseDC(window, dc);
}

}  // namespace

void createDisplayFont() { DisplayFont = CreateFontIndirectA(&settings.font); }

void deleteDisplayFont() {
  if (DisplayFont == nullptr) return;
  DeleteObject(DisplayFont);
  DisplayFont = nullptr;
}

// Counts down from a height that could only fit a very roomy window; the
// chosen height stays in the settings, so it is also what is saved.
void fitDisplayFont() {
  if (app.monitorWindow == nullptr) return;
  HDC dc = GetDC(app.monitorWindow);
  if (dc == nullptr) return;
  deleteDisplayFont();
  RECT client{};
  GetClientRect(app.monitorWindow, &client);
  const FitLimits limits = fitLimitsOf(client);
  settings.font.lfHeight = (client.right - client.left - FIT_MARGIN) / 6;
  for (int tries = 0; tries < MOST_FIT_TRIES; ++tries)
    if (tryFitHeight(dc, limits)) break;
  ReleaseDC(app.monitorWindow, dc);
}

// The dialog writes the choice straight into the settings; a font that
// cannot be made leaves the old one showing, though the choice is kept.
void selectDisplayFont(HWND window) {
  CHOOSEFONTA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = app.monitorWindow;
  dialog.lpLogFont = &settings.font;
  dialog.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_NOSCRIPTSEL;
  if (ChooseFontA(&dialog) != TRUE) return;
  HFONT chosen = CreateFontIndirectA(&settings.font);
  if (chosen == nullptr) return;
  deleteDisplayFont();
  DisplayFont = chosen;
  shapeStripToStatusLine(window);
}
