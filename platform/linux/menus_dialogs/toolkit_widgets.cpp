#include "platform/linux/menus_dialogs/toolkit_widgets.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "platform/linux/x11/window_manager.h"
#include "platform/linux/x11/x11_session.h"

namespace {

// Fl_Input_ keeps a few pixels clear inside its box on each side.
constexpr int INNER_MARGIN = 3;

bool allDigits(const char* text, int length) {
  for (int i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace

LimitedInput::LimitedInput(int x, int y, int width, int height)
    : Fl_Input(x, y, width, height), digitsOnly(false), fitWidth(false) {
  when(FL_WHEN_NEVER);
}

// Keys that insert text carry it in event_text(); editing and navigation
// keys carry a control character or nothing, and shortcuts a modifier.
bool LimitedInput::refuses(int event) const {
  if (!digitsOnly) return false;
  const char* text = Fl::event_text();
  const int length = Fl::event_length();
  if (event == FL_PASTE) return text && !allDigits(text, length);
  if (event != FL_KEYBOARD || (Fl::event_state() & (FL_CTRL | FL_ALT | FL_META))) return false;
  if (!text || length == 0) return false;
  const auto first = static_cast<unsigned char>(text[0]);
  if (first < 0x20 || first == 0x7F) return false;
  return !allDigits(text, length);
}

bool LimitedInput::textFits() const {
  fl_font(textfont(), textsize());
  const double room = w() - Fl::box_dw(box()) - 2 * INNER_MARGIN;
  return fl_width(value(), size()) <= room;
}

// The width check undoes an edit after the fact, which covers typing and
// pasting alike, wherever the insertion point is.
int LimitedInput::handle(int event) {
  if (refuses(event)) {
    fl_beep(FL_BEEP_ERROR);
    return 1;
  }
  if (!fitWidth || (event != FL_KEYBOARD && event != FL_PASTE)) return Fl_Input::handle(event);
  const std::string before(value(), static_cast<std::size_t>(size()));
  const int insertion = position(), selectionEnd = mark();
  const int handled = Fl_Input::handle(event);
  if (!textFits()) {
    value(before.data(), static_cast<int>(before.size()));
    position(insertion, selectionEnd);
    fl_beep(FL_BEEP_ERROR);
  }
  return handled;
}

std::vector<unsigned char> iconRgba(const IconPixels& icon) {
  std::vector<unsigned char> rgba;
  for (int i = 0; icon.pixels && i < icon.size * icon.size; ++i) {
    for (const int shift : {16, 8, 0, 24})
      rgba.push_back(static_cast<unsigned char>(icon.pixels[i] >> shift));
  }
  return rgba;
}

Fl_Font toolkitFont(Fl_Font slot, const char* family, bool bold, bool italic) {
  static std::set<std::string> names;
  // Fl::get_font() reads past FLTK's table for a slot never set, so this remembers.
  static std::map<Fl_Font, const std::string*> slotNames;
  const char style = bold && italic ? 'P' : bold ? 'B' : italic ? 'I' : ' ';
  const std::string* name = &*names.insert(style + std::string(family)).first;
  const std::string*& current = slotNames[slot];
  if (current != name) Fl::set_font(slot, name->c_str());
  current = name;
  return slot;
}

void resolvedFamily(const char* utf8Face, char* family, int familySize) {
  family[0] = '\0';
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return;
  if (utf8Face && utf8Face[0]) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(utf8Face));
  }
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return;
  FcChar8* name = nullptr;
  if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name) {
    std::strncpy(family, reinterpret_cast<const char*>(name), static_cast<std::size_t>(familySize));
    family[familySize - 1] = '\0';
  }
  FcPatternDestroy(match);
}

POINT modalOrigin(HWND owner, POINT offset, int width, int height) {
  POINT origin = offset;
  ClientToScreen(owner, &origin);
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_work_area(x, y, w, h, static_cast<int>(origin.x), static_cast<int>(origin.y));
  origin.x = std::max<LONG>(std::min<LONG>(origin.x, x + w - width), x);
  origin.y = std::max<LONG>(std::min<LONG>(origin.y, y + h - height), y);
  return origin;
}

void takeKeyboard(Fl_Window* window) {
  if (!window->shown()) return;
  int work[4] = {};
  Fl::screen_work_area(work[0], work[1], work[2], work[3], window->x(), window->y());
  x11KeepFrameOnScreen(fl_xid(window), work);
  x11GiveFocus(fl_xid(window));
}
