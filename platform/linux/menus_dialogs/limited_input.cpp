#include "platform/linux/menus_dialogs/limited_input.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <string>

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
