// The edit field with the Windows edit control's limits, for the dialog
// boxes and the font chooser.
#pragma once

#include <FL/Fl_Input.H>

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
