// What the dialog boxes and the font chooser share: the edit field with the
// Windows edit control's limits, fonts by family name, and placement and
// focus of a modal window. Only the Linux layer's own sources include this.
#pragma once

#include <FL/Enumerations.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>

#include <vector>

#include "platform/windowing.h"
#include "resources/app_icon.h"

// Fl_Int_Input takes signs and hex digits, so ES_NUMBER needs its own filter.
class LimitedInput : public Fl_Input {
 public:
  LimitedInput(int x, int y, int width, int height);
  int handle(int event) override;

  bool digitsOnly;  // typed and pasted text must be all digits
  bool fitWidth;    // the text may not grow wider than the field shows

 private:
  bool refuses(int event) const;
  bool textFits() const;
};

// An icon's pixels as the RGBA bytes Fl_RGB_Image takes; empty without pixels.
std::vector<unsigned char> iconRgba(const IconPixels& icon);

// The FLTK font for a fontconfig family in the given style, kept in `slot`
// (FL_FREE_FONT and up). FLTK keeps the name's pointer, so names are kept
// for the life of the process.
Fl_Font toolkitFont(Fl_Font slot, const char* family, bool bold, bool italic);

// The fontconfig family a face name resolves to, as Xft would open it.
// Empty when fontconfig has nothing.
void resolvedFamily(const char* utf8Face, char* family, int familySize);

// Where a modal window of this size opens: its top-left at `offset` in the
// owner's client area (on the screen when there is no owner), moved onto the
// screen it is on, as Windows keeps a dialog visible.
POINT modalOrigin(HWND owner, POINT offset, int width, int height);

// Windows activates a modal dialog as it opens, with its title bar on the
// screen (which this makes sure of, too). Some window managers keep a
// new window from taking the keyboard while another program has it, and with
// none nothing gives it at all, so this asks. For a window's first draw(),
// which FLTK runs only once the X window is exposed and so can take the focus.
void takeKeyboard(Fl_Window* window);
