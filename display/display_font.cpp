#include "display/display_font.h"

#include "app/app_state.h"
#include "settings/settings.h"

void createDisplayFont() { DisplayFont = CreateFontIndirectA(&settings.font); }

void deleteDisplayFont() {
  if (DisplayFont == nullptr) return;
  DeleteObject(DisplayFont);
  DisplayFont = nullptr;
}

// Fitting the font to the bars and the user's font choice arrive with the
// memory bar view and the font dialog; until then the font stays as it is.
void fitDisplayFont() {}

void selectDisplayFont(HWND window) { (void)window; }
