// ChooseFontA. FLTK has no font dialog, so this is a small one of its own:
// the screen's font families, four styles, a size in pixels and a sample.
// It opens on what the record resolves to and, on OK only, writes the choice
// back; a family left alone keeps the record's own face name, so "Courier
// New" stays "Courier New" rather than becoming its Linux stand-in. Sizes are
// in units, as the record's are; the chooser is laid out in units too and
// shown at the screen's scale.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Return_Button.H>
#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/drawing.h"
#include "platform/linux/drawing/gdi_fonts.h"
#include "platform/linux/drawing/toolkit_fonts.h"
#include "platform/linux/menus_dialogs/limited_input.h"
#include "platform/linux/menus_dialogs/modal_window.h"
#include "platform/linux/text/ansi_text.h"
#include "platform/linux/windows/message_queue.h"
#include "platform/linux/windows/window_records.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/window_manager.h"
#include "platform/linux/x11/x11_session.h"

namespace {

// The manager puts its frame's corner where the chooser was meant to open.
void askForFrameCorner(Window xid, void* context) {
  const auto* window = static_cast<const Fl_Window*>(context);
  x11SetPlacementHints(xid, window->x(), window->y(), window->w(), window->h(), true);
}

constexpr char CHOOSER_TITLE[] = "Kivo Font";
constexpr Fl_Font SAMPLE_FONT_SLOT = FL_FREE_FONT + 1;
constexpr LONG FW_SEMIBOLD = 600;  // where the fonts layer starts drawing bold
constexpr int DEFAULT_SIZE = 13;   // the fonts layer's size for a height of 0
constexpr int TEXT_SIZE = 14;      // the toolkit's own, for the chooser's widgets
constexpr int LARGEST_SIZE = 999;
constexpr char SAMPLE_TEXT[] = "AaBbYyZz 0123456789";
const char* const STYLE_NAMES[] = {"Regular", "Bold", "Italic", "Bold Italic"};
const int LISTED_SIZES[] = {8, 9, 10, 11, 12, 13, 14, 16, 18, 20, 22, 24, 28, 36, 48, 72};

struct Choice {
  std::string family;  // UTF-8, as fontconfig names it
  bool bold, italic;
  int size;  // character height in pixels
};

std::vector<std::string> screenFamilies() {
  std::vector<std::string> families;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = pattern && objects ? FcFontList(nullptr, pattern, objects) : nullptr;
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcChar8* family = nullptr;
    if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch && family) {
      families.emplace_back(reinterpret_cast<const char*>(family));
    }
  }
  if (fonts) FcFontSetDestroy(fonts);
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  std::sort(families.begin(), families.end(), [](const std::string& a, const std::string& b) {
    const int order = strcasecmp(a.c_str(), b.c_str());
    return order != 0 ? order < 0 : a < b;
  });
  families.erase(std::unique(families.begin(), families.end()), families.end());
  return families;
}

// The size the record draws at, whichever sign its height has.
int pixelSizeOf(const LOGFONTA& record) {
  XftFont* face = openFace(record, 100);
  double pixels = DEFAULT_SIZE;
  if (face) FcPatternGetDouble(face->pattern, FC_PIXEL_SIZE, 0, &pixels);
  closeFace(face);
  return std::clamp(static_cast<int>(std::lround(pixels)), 1, LARGEST_SIZE);
}

Choice choiceOf(const LOGFONTA& record) {
  char face[LF_FACESIZE * 3];
  ansiToUtf8(record.lfFaceName, LF_FACESIZE, face, sizeof face);
  char family[256];
  resolvedFamily(face, family, sizeof family);
  return Choice{family, record.lfWeight >= FW_SEMIBOLD, record.lfItalic != 0, pixelSizeOf(record)};
}

// Enter belongs to the OK button, not to the list that has the focus.
class ListBrowser : public Fl_Hold_Browser {
 public:
  ListBrowser(int x, int y, int width, int height, const char* label)
      : Fl_Hold_Browser(x, y, width, height, label) {
    format_char(0);  // family names are shown as they are
    align(FL_ALIGN_TOP_LEFT);
    when(FL_WHEN_CHANGED);
  }
  int handle(int event) override {
    const int key = Fl::event_key();
    if (event == FL_KEYBOARD && (key == FL_Enter || key == FL_KP_Enter)) return 0;
    return Fl_Hold_Browser::handle(event);
  }
};

class ChooserWindow : public Fl_Double_Window {
 public:
  ChooserWindow(int x, int y, int width, int height)
      : Fl_Double_Window(x, y, width, height, CHOOSER_TITLE), drawn_(false) {}
  void draw() override {
    Fl_Double_Window::draw();
    takeKeyboardAtFirstDraw(this, &drawn_);
  }

 private:
  bool drawn_;
};

int pixels(long units) { return static_cast<int>(toScreen(units)); }

class Chooser;
Chooser* openChooser = nullptr;  // one at a time

class Chooser {
 public:
  static constexpr int WIDTH = 460, HEIGHT = 330;

  Chooser(POINT origin, const Choice& initial, std::vector<std::string> families)
      : initial_(initial),
        families_(std::move(families)),
        window_(static_cast<int>(origin.x), static_cast<int>(origin.y), WIDTH, HEIGHT),
        familyList_(10, 28, 220, 180, "Font:"),
        styleList_(240, 28, 110, 80, "Style:"),
        sizeInput_(360, 28, 90, 24),
        sizeList_(360, 56, 90, 152, nullptr),
        sample_(10, 222, 440, 60, SAMPLE_TEXT),
        ok_(270, 292, 85, 28, "OK"),
        cancel_(365, 292, 85, 28, "Cancel") {
    window_.end();
    for (int i = 0; i < window_.children(); ++i) {
      const Fl_Widget* widget = window_.child(i);
      places_.push_back(
          RECT{widget->x(), widget->y(), widget->x() + widget->w(), widget->y() + widget->h()});
    }
    layOut();
    window_.xclass("Kivo");
    window_.callback(finishWith<false>, this);
    fillLists();
    sizeInput_.label("Size:");
    sizeInput_.align(FL_ALIGN_TOP_LEFT);
    sizeInput_.digitsOnly = true;
    sizeInput_.maximum_size(3);
    sizeInput_.when(FL_WHEN_CHANGED);
    sizeInput_.value(std::to_string(initial.size).c_str());
    showSizeInList();
    sample_.box(FL_DOWN_BOX);
    sample_.align(FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    familyList_.callback(changed, this);
    styleList_.callback(changed, this);
    sizeInput_.callback(changed, this);
    sizeList_.callback(sizeListed, this);
    ok_.callback(finishWith<true>, this);
    cancel_.callback(finishWith<false>, this);
    showSample();
  }

  // The same place in units, at the new scale.
  void followScale() {
    const int x = pixels(scaledFromScreen(window_.x(), percent_));
    const int y = pixels(scaledFromScreen(window_.y(), percent_));
    window_.resize(x, y, pixels(WIDTH), pixels(HEIGHT));
    layOut();
    showSample();
    window_.redraw();
  }

  // False when cancelled, or when the owner went while it was open.
  bool run(HWND owner, Choice* chosen) {
    owner_ = owner;
    familyList_.take_focus();
    window_.set_modal();
    const Window hadKeyboard = x11FocusedWindow();
    x11ShowDescribed(&window_, askForFrameCorner, &window_);
    runToolkitModalLoop(finished, this);
    window_.hide();
    x11GiveFocus(hadKeyboard);
    if (!accepted_) return false;
    *chosen = current();
    return true;
  }

 private:
  void fillLists() {
    if (std::find(families_.begin(), families_.end(), initial_.family) == families_.end()) {
      families_.push_back(initial_.family);
    }
    for (const std::string& family : families_) familyList_.add(family.c_str());
    const auto at = std::find(families_.begin(), families_.end(), initial_.family);
    const int line = static_cast<int>(at - families_.begin()) + 1;
    familyList_.value(line);
    familyList_.middleline(line);
    for (const char* style : STYLE_NAMES) styleList_.add(style);
    styleList_.value((initial_.bold ? 1 : 0) + (initial_.italic ? 2 : 0) + 1);
    for (int size : LISTED_SIZES) sizeList_.add(std::to_string(size).c_str());
  }

  void showSizeInList() {
    const std::string typed = sizeInput_.value();
    sizeList_.deselect();
    for (int line = 1; line <= sizeList_.size(); ++line) {
      if (typed != sizeList_.text(line)) continue;
      sizeList_.value(line);
      sizeList_.middleline(line);
    }
  }

  Choice current() const {
    Choice choice = initial_;
    if (familyList_.value() > 0) {
      choice.family = families_[static_cast<std::size_t>(familyList_.value() - 1)];
    }
    if (styleList_.value() > 0) {
      choice.bold = (styleList_.value() - 1) & 1;
      choice.italic = (styleList_.value() - 1) & 2;
    }
    const int size = std::atoi(sizeInput_.value());
    if (size > 0) choice.size = std::min(size, LARGEST_SIZE);
    return choice;
  }

  void showSample() {
    const Choice choice = current();
    sample_.labelfont(
        toolkitFont(SAMPLE_FONT_SLOT, choice.family.c_str(), choice.bold, choice.italic));
    sample_.labelsize(pixels(choice.size));
    sample_.redraw();
  }

  // By the edges, from the places the widgets were made at in units.
  void layOut() {
    percent_ = x11ScalePercent();
    window_.size(pixels(WIDTH), pixels(HEIGHT));
    for (int i = 0; i < window_.children(); ++i) {
      Fl_Widget* widget = window_.child(i);
      placeWidgetAtScale(widget, places_[static_cast<std::size_t>(i)]);
      widget->labelsize(pixels(TEXT_SIZE));
    }
    for (ListBrowser* list : {&familyList_, &styleList_, &sizeList_}) {
      list->textsize(pixels(TEXT_SIZE));
      list->scrollbar_size(pixels(Fl::scrollbar_size()));
    }
    sizeInput_.textsize(pixels(TEXT_SIZE));
  }

  static void changed(Fl_Widget* widget, void* data) {
    auto* chooser = static_cast<Chooser*>(data);
    if (widget == &chooser->sizeInput_) chooser->showSizeInList();
    chooser->showSample();
  }

  static void sizeListed(Fl_Widget*, void* data) {
    auto* chooser = static_cast<Chooser*>(data);
    const int line = chooser->sizeList_.value();
    if (line > 0) chooser->sizeInput_.value(chooser->sizeList_.text(line));
    chooser->showSample();
  }

  template <bool accept>
  static void finishWith(Fl_Widget*, void* data) {
    auto* chooser = static_cast<Chooser*>(data);
    chooser->done_ = true;
    chooser->accepted_ = accept;
  }

  static bool finished(void* data) {
    const auto* chooser = static_cast<const Chooser*>(data);
    return chooser->done_ || (chooser->owner_ && !findWindow(chooser->owner_));
  }

  Choice initial_;
  std::vector<std::string> families_;
  ChooserWindow window_;
  ListBrowser familyList_, styleList_;
  LimitedInput sizeInput_;
  ListBrowser sizeList_;
  Fl_Box sample_;
  Fl_Return_Button ok_;
  Fl_Button cancel_;
  std::vector<RECT> places_;  // of the window's widgets, in units
  int percent_ = 100;         // the scale they are shown at
  HWND owner_ = nullptr;
  bool done_ = false, accepted_ = false;
};

void followScaleInChooser() {
  if (openChooser) openChooser->followScale();
}

void writeChoice(const Choice& choice, const Choice& initial, CHOOSEFONTA* chooseFont) {
  LOGFONTA& record = *chooseFont->lpLogFont;
  // A size left alone keeps the record's own height: a cell height would
  // otherwise come back as a whole-pixel character height of another cell.
  if (choice.size != initial.size) record.lfHeight = -choice.size;
  record.lfWeight = choice.bold ? FW_BOLD : FW_NORMAL;
  record.lfItalic = choice.italic ? 1 : 0;
  if (choice.family != initial.family) {
    std::memset(record.lfFaceName, 0, sizeof record.lfFaceName);
    utf8ToAnsi(choice.family.c_str(), record.lfFaceName, sizeof record.lfFaceName);
  }
  // Tenths of a point at 96 pixels to the inch.
  chooseFont->iPointSize = (choice.size * 720 + 48) / 96;
}

}  // namespace

BOOL ChooseFontA(LPCHOOSEFONTA chooseFont) {
  static bool open = false;
  if (!chooseFont || chooseFont->lStructSize != sizeof(CHOOSEFONTA) || !chooseFont->lpLogFont ||
      open || !x11Display()) {
    return FALSE;
  }
  const HWND owner = chooseFont->hwndOwner;
  if (owner && !findWindow(owner)) return FALSE;
  LOGFONTA start{};
  if (chooseFont->Flags & CF_INITTOLOGFONTSTRUCT) start = *chooseFont->lpLogFont;
  const Choice initial = choiceOf(start);
  Choice chosen = initial;
  open = true;
  bool accepted = false;
  {
    Chooser chooser(modalOrigin(owner, POINT{0, 0}, Chooser::WIDTH, Chooser::HEIGHT), initial,
                    screenFamilies());
    openChooser = &chooser;
    x11OnScaleChange(followScaleInChooser);
    accepted = chooser.run(owner, &chosen);
    openChooser = nullptr;
  }
  open = false;
  if (!accepted) return FALSE;
  writeChoice(chosen, initial, chooseFont);
  return TRUE;
}
