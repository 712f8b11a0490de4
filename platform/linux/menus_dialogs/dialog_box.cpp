// Modal dialogs from the template data, as the Windows dialog manager makes
// them: the dialog is an HWND of its own class whose procedure hands every
// message to the DLGPROC; controls are FLTK widgets with handles of their
// own, so GetDlgItem and the text calls reach them. Keys follow
// IsDialogMessage: Enter presses the focused or default push button, Escape
// sends IDCANCEL, and the close box sends WM_CLOSE, which becomes IDCANCEL.
// The layout is worked out in units, from the font's 96-dpi metrics, as the
// Windows exes lay it out; the widgets take it at the screen's scale, and
// take it again when the scale changes while the dialog is open.
#include "platform/linux/menus_dialogs/dialog_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_draw.H>
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/drawing/gdi_fonts.h"
#include "platform/linux/drawing/toolkit_fonts.h"
#include "platform/linux/menus_dialogs/limited_input.h"
#include "platform/linux/menus_dialogs/modal_window.h"
#include "platform/linux/text/ansi_text.h"
#include "platform/linux/windows/host_window.h"
#include "platform/linux/windows/message_queue.h"
#include "platform/linux/windows/program_icon.h"
#include "platform/linux/windows/window_calls.h"
#include "platform/linux/windows/window_records.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/window_manager.h"
#include "platform/linux/x11/x11_session.h"
#include "resources/app_icon.h"

namespace {

constexpr DWORD WS_TABSTOP = 0x00010000, WS_GROUP = 0x00020000, WS_DISABLED = 0x08000000;
constexpr DWORD BS_TYPE_MASK = 0x0F, BS_DEFPUSHBUTTON = 0x01, BS_RADIOBUTTON = 0x04,
                BS_GROUPBOX = 0x07, BS_AUTORADIOBUTTON = 0x09;
constexpr DWORD SS_TYPE_MASK = 0x1F, SS_CENTER = 0x01, SS_RIGHT = 0x02, SS_ICON = 0x03,
                SS_ETCHEDHORZ = 0x10;
constexpr DWORD ES_AUTOHSCROLL = 0x0080, ES_NUMBER = 0x2000;
constexpr WORD BN_CLICKED = 0;
constexpr int SCREEN_DPI = 96, POINTS_PER_INCH = 72;
constexpr int ICON_SIZE = 32;
constexpr int GROUP_TEXT_INDENT = 8;
constexpr Fl_Font DIALOG_FONT_SLOT = FL_FREE_FONT;
constexpr char DIALOG_CLASS[] = "#32770";  // the Windows dialog class's name

enum class Kind { PushButton, RadioButton, GroupBox, Text, Line, Icon, Edit, Other };

struct Control {
  HWND handle;
  WORD id;
  Kind kind;
  int group;  // radio buttons exclude each other within one WS_GROUP group
  Fl_Widget* widget;
  std::string text;  // ANSI, for GetWindowTextA of anything but an edit field
  RECT place;        // in units, in the dialog's client area
};

struct Dialog {
  HWND window;
  DLGPROC procedure;
  std::vector<Control> controls;
  WORD defaultId;
  bool ended;
  INT_PTR result;
  std::vector<unsigned char> iconBytes;
  std::unique_ptr<Fl_RGB_Image> icon;
  std::unique_ptr<Fl_Image> shownIcon;  // the icon at the screen's scale
  int fontSize;                         // in units
};

// Windows converts dialog units from the font's average width of the 52
// letters (rounded) and its cell height.
struct BaseUnits {
  int x, y;
  char family[256];
};

std::vector<Dialog*> openDialogs;  // innermost last
DialogTemplateSource templateSource = findDialogTemplate;

Dialog* findDialog(HWND window) {
  for (Dialog* dialog : openDialogs) {
    if (dialog->window == window) return dialog;
  }
  return nullptr;
}

Control* findControl(HWND handle, Dialog** owner = nullptr) {
  if (!handle) return nullptr;
  for (Dialog* dialog : openDialogs) {
    for (Control& control : dialog->controls) {
      if (control.handle != handle) continue;
      if (owner) *owner = dialog;
      return &control;
    }
  }
  return nullptr;
}

Control* controlById(Dialog& dialog, int id) {
  for (Control& control : dialog.controls) {
    if (control.id == static_cast<WORD>(id)) return &control;
  }
  return nullptr;
}

// MulDiv: the product in 64 bits, rounded half away from zero.
int mulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>((product >= 0 ? product + half : product - half) / denominator);
}

WPARAM commandOf(WORD id) {
  return static_cast<WPARAM>(id) | (static_cast<WPARAM>(BN_CLICKED) << 16);
}

void sendCommand(Dialog& dialog, WORD id) {
  const Control* control = controlById(dialog, id);
  sendMessage(dialog.window, WM_COMMAND, commandOf(id),
              control ? reinterpret_cast<LPARAM>(control->handle) : 0);
}

// FLTK reads "@" as the start of a symbol.
std::string toolkitLabel(const char* ansi) {
  const std::size_t length = ansi ? std::strlen(ansi) : 0;
  std::vector<char> utf8(length * 3 + 1);
  ansiToUtf8(ansi, length, utf8.data(), utf8.size());
  std::string label;
  for (const char* c = utf8.data(); *c; ++c) {
    label += *c;
    if (*c == '@') label += '@';
  }
  return label;
}

// Enter presses the push button that has the focus, else the default one;
// with no default button Windows sends IDOK.
WORD enterCommandId(const Dialog& dialog) {
  for (const Control& control : dialog.controls) {
    if (control.kind == Kind::PushButton && control.widget == Fl::focus()) return control.id;
  }
  return dialog.defaultId;
}

class DialogWindow : public HostWindow {
 public:
  DialogWindow(HWND window, int x, int y, int width, int height)
      : HostWindow(window, x, y, width, height), drawn_(false) {
    box(FL_FLAT_BOX);
    color(FL_BACKGROUND_COLOR);
    resizable(nullptr);
    size_range(width, height, width, height);
  }

  int handle(int event) override {
    Dialog* dialog = findDialog(hwnd);
    if (dialog && (event == FL_KEYBOARD || event == FL_SHORTCUT)) {
      const int key = Fl::event_key();
      if (key == FL_Escape) {
        sendCommand(*dialog, IDCANCEL);
        return 1;
      }
      if (key == FL_Enter || key == FL_KP_Enter) {
        sendCommand(*dialog, enterCommandId(*dialog));
        return 1;
      }
    }
    return Fl_Window::handle(event);
  }

  void draw() override {
    Fl_Window::draw();
    takeKeyboardAtFirstDraw(this, &drawn_);
  }

 private:
  bool drawn_;
};

HostWindow* makeDialogWindow(HWND window, int x, int y, int width, int height) {
  return new DialogWindow(window, x, y, width, height);
}

// The close box asks to close, as WM_CLOSE; Escape that no widget took
// reaches the window's callback too, and cancels.
void dialogWindowCallback(Fl_Widget* widget, void*) {
  const HWND window = static_cast<DialogWindow*>(widget)->hwnd;
  if (Fl::event() == FL_CLOSE) {
    PostMessageA(window, WM_CLOSE, 0, 0);
  } else if (Dialog* dialog = findDialog(window)) {
    sendCommand(*dialog, IDCANCEL);
  }
}

// DefDlgProc's share: what the DLGPROC leaves, WM_CLOSE above all, which
// becomes IDCANCEL rather than the end of the window.
LRESULT CALLBACK dialogWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* dialog = findDialog(window);
  const INT_PTR handled =
      dialog && dialog->procedure ? dialog->procedure(window, message, wParam, lParam) : FALSE;
  if (message == WM_CLOSE) {
    if (!handled && (dialog = findDialog(window))) {
      const Control* cancel = controlById(*dialog, IDCANCEL);
      PostMessageA(window, WM_COMMAND, commandOf(IDCANCEL),
                   cancel ? reinterpret_cast<LPARAM>(cancel->handle) : 0);
    }
    return 0;
  }
  return handled ? 0 : DefWindowProcA(window, message, wParam, lParam);
}

// GetWindowRect answers for a control in units, from where it was placed.
bool controlScreenRect(HWND handle, RECT* rect) {
  Dialog* dialog = nullptr;
  const Control* control = findControl(handle, &dialog);
  POINT origin{0, 0};
  if (!control || !ClientToScreen(dialog->window, &origin)) return false;
  *rect = RECT{origin.x + control->place.left, origin.y + control->place.top,
               origin.x + control->place.right, origin.y + control->place.bottom};
  return true;
}

int pixels(long units) { return static_cast<int>(toScreen(units)); }

void showIconAtScale(Dialog& dialog, Fl_Widget* box) {
  if (!dialog.icon) return;
  const int size = pixels(ICON_SIZE);
  dialog.shownIcon.reset(size == ICON_SIZE ? nullptr : dialog.icon->copy(size, size));
  box->image(dialog.shownIcon ? dialog.shownIcon.get() : dialog.icon.get());
}

void setFontSizes(const Dialog& dialog, const Control& control) {
  const int size = pixels(dialog.fontSize);
  control.widget->labelsize(size);
  if (control.kind == Kind::Edit) static_cast<Fl_Input*>(control.widget)->textsize(size);
}

// The window itself is re-placed with the other windows; its controls here.
void followScaleInDialogs() {
  for (Dialog* dialog : openDialogs) {
    for (const Control& control : dialog->controls) {
      placeWidgetAtScale(control.widget, control.place);
      setFontSizes(*dialog, control);
      if (control.kind == Kind::Icon) showIconAtScale(*dialog, control.widget);
    }
    if (WindowRecord* record = findWindow(dialog->window)) record->host->redraw();
  }
}

bool registerDialogClass() {
  static ATOM atom = 0;
  if (!atom) atom = registerHostClass(DIALOG_CLASS, dialogWindowProcedure, makeDialogWindow);
  setControlRectSource(controlScreenRect);
  x11OnScaleChange(followScaleInDialogs);
  return atom != 0;
}

BaseUnits baseUnitsOf(const DialogTemplate& dialogTemplate) {
  BaseUnits units{6, 13, "sans-serif"};  // MS Sans Serif 8's, should no face open
  LOGFONTA record{};
  record.lfHeight = -mulDiv(dialogTemplate.pointSize, SCREEN_DPI, POINTS_PER_INCH);
  record.lfWeight = FW_NORMAL;
  if (dialogTemplate.fontFace) {
    std::strncpy(record.lfFaceName, dialogTemplate.fontFace, LF_FACESIZE - 1);
  }
  XftFont* face = openFace(record, 100);
  if (!face) return units;
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  XGlyphInfo extents{};
  XftTextExtentsUtf8(x11Display(), face, reinterpret_cast<const FcChar8*>(letters),
                     static_cast<int>(sizeof letters - 1), &extents);
  units.x = std::max((extents.xOff / 26 + 1) / 2, 1);
  units.y = std::max(face->ascent + face->descent, 1);
  FcChar8* family = nullptr;
  if (FcPatternGetString(face->pattern, FC_FAMILY, 0, &family) == FcResultMatch && family) {
    std::strncpy(units.family, reinterpret_cast<const char*>(family), sizeof units.family - 1);
  }
  closeFace(face);
  return units;
}

class GroupBox : public Fl_Box {
 public:
  GroupBox(int x, int y, int width, int height) : Fl_Box(x, y, width, height) {}
  // The frame runs through the middle of the caption, which is cut out of it.
  void draw() override {
    fl_font(labelfont(), labelsize());
    const int textHeight = fl_height();
    draw_box(FL_ENGRAVED_FRAME, x(), y() + textHeight / 2, w(), h() - textHeight / 2, color());
    if (!label() || !*label()) return;
    int textWidth = 0, ignored = 0;
    measure_label(textWidth, ignored);
    const int indent = pixels(GROUP_TEXT_INDENT), gap = pixels(2);
    fl_color(color());
    fl_rectf(x() + indent - gap, y(), textWidth + 2 * gap, textHeight);
    draw_label(x() + indent, y(), textWidth, textHeight, FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  }
};

// A Windows static draws its text from its very edge; FLTK's boxes keep a
// margin that would cut off text the template sized to fit.
class StaticText : public Fl_Box {
 public:
  StaticText(int x, int y, int width, int height) : Fl_Box(x, y, width, height) {}
  void draw() override {
    draw_box();
    draw_label(x(), y(), w(), h(), align());
  }
};

class EtchedLine : public Fl_Box {
 public:
  EtchedLine(int x, int y, int width) : Fl_Box(x, y, width, 2) {}
  void draw() override {
    fl_color(FL_DARK3);
    fl_rectf(x(), y(), w(), h() / 2);
    fl_color(FL_LIGHT3);
    fl_rectf(x(), y() + h() / 2, w(), h() - h() / 2);
  }
};

class PushButton : public Fl_Button {
 public:
  PushButton(int x, int y, int width, int height, bool isDefault)
      : Fl_Button(x, y, width, height), isDefault_(isDefault) {}
  void draw() override {
    Fl_Button::draw();
    if (!isDefault_) return;
    fl_color(FL_FOREGROUND_COLOR);
    for (int inset = 0; inset < pixels(1); ++inset) {
      fl_rect(x() + inset, y() + inset, w() - 2 * inset, h() - 2 * inset);
    }
  }

 private:
  bool isDefault_;
};

// An auto radio button checks itself and clears the others of its group.
void buttonPressed(Fl_Widget*, void* data) {
  Dialog* dialog = nullptr;
  Control* pressed = findControl(static_cast<HWND>(data), &dialog);
  if (!pressed) return;
  if (pressed->kind == Kind::RadioButton) {
    for (Control& other : dialog->controls) {
      if (other.kind == Kind::RadioButton && other.group == pressed->group) {
        static_cast<Fl_Button*>(other.widget)->value(&other == pressed ? 1 : 0);
      }
    }
  }
  sendCommand(*dialog, pressed->id);
}

Kind kindOf(const DialogControl& control) {
  const char* name = control.className ? control.className : "";
  if (strcasecmp(name, "EDIT") == 0) return Kind::Edit;
  if (strcasecmp(name, "STATIC") == 0) {
    const DWORD type = control.style & SS_TYPE_MASK;
    if (type == SS_ICON) return Kind::Icon;
    return type == SS_ETCHEDHORZ ? Kind::Line : Kind::Text;
  }
  if (strcasecmp(name, "BUTTON") == 0) {
    const DWORD type = control.style & BS_TYPE_MASK;
    if (type == BS_GROUPBOX) return Kind::GroupBox;
    if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) return Kind::RadioButton;
    return Kind::PushButton;
  }
  return Kind::Other;
}

Fl_Align textAlignment(DWORD style) {
  const DWORD type = style & SS_TYPE_MASK;
  const Fl_Align across = type == SS_CENTER ? 0 : type == SS_RIGHT ? FL_ALIGN_RIGHT : FL_ALIGN_LEFT;
  return FL_ALIGN_INSIDE | FL_ALIGN_TOP | FL_ALIGN_WRAP | FL_ALIGN_CLIP | across;
}

// As Windows scales an icon for a program that is not DPI aware, by its pixels.
Fl_Widget* makeIcon(Dialog& dialog, int x, int y) {
  auto* box = new Fl_Box(x, y, ICON_SIZE, ICON_SIZE);
  const IconPixels icon = appIconPixels(ICON_SIZE);
  if (!icon.pixels || icon.size != ICON_SIZE) return box;
  dialog.iconBytes = iconRgba(icon);
  dialog.icon = std::make_unique<Fl_RGB_Image>(dialog.iconBytes.data(), ICON_SIZE, ICON_SIZE, 4);
  showIconAtScale(dialog, box);
  return box;
}

// The widget for a control, made in units and placed by the caller.
Fl_Widget* makeWidget(Dialog& dialog, const DialogControl& source, Kind kind, int x, int y,
                      int width, int height) {
  const std::string label = toolkitLabel(source.text);
  Fl_Widget* widget = nullptr;
  switch (kind) {
    case Kind::PushButton:
      widget =
          new PushButton(x, y, width, height, (source.style & BS_TYPE_MASK) == BS_DEFPUSHBUTTON);
      break;
    case Kind::RadioButton:
      widget = new Fl_Round_Button(x, y, width, height);
      static_cast<Fl_Button*>(widget)->type(FL_NORMAL_BUTTON);
      break;
    case Kind::GroupBox:
      widget = new GroupBox(x, y, width, height);
      break;
    case Kind::Text:
      widget = new StaticText(x, y, width, height);
      widget->align(textAlignment(source.style));
      break;
    case Kind::Line:
      return new EtchedLine(x, y, width);
    case Kind::Icon:
      return makeIcon(dialog, x, y);
    case Kind::Edit: {
      auto* input = new LimitedInput(x, y, width, height);
      input->box((source.style & WS_BORDER) ? FL_DOWN_BOX : FL_FLAT_BOX);
      input->digitsOnly = (source.style & ES_NUMBER) != 0;
      input->fitWidth = !(source.style & ES_AUTOHSCROLL);
      input->value(label.c_str());
      return input;
    }
    case Kind::Other:
      return new Fl_Box(x, y, width, height);
  }
  widget->copy_label(label.c_str());
  return widget;
}

void addControls(Dialog& dialog, const DialogTemplate& dialogTemplate, const BaseUnits& units,
                 Fl_Window* window) {
  const Fl_Font font = toolkitFont(DIALOG_FONT_SLOT, units.family, false, false);
  dialog.fontSize = mulDiv(dialogTemplate.pointSize, SCREEN_DPI, POINTS_PER_INCH);
  int group = 0;
  bool defaultFound = false;
  Fl_Group::current(nullptr);
  for (int i = 0; i < dialogTemplate.controlCount; ++i) {
    const DialogControl& source = dialogTemplate.controls[i];
    if (source.style & WS_GROUP) ++group;
    const Kind kind = kindOf(source);
    const int x = mulDiv(source.x, units.x, 4), y = mulDiv(source.y, units.y, 8);
    Fl_Widget* widget = makeWidget(dialog, source, kind, x, y, mulDiv(source.width, units.x, 4),
                                   mulDiv(source.height, units.y, 8));
    // Lines and icons keep the size they were made at, whatever the template says.
    const RECT place{x, y, x + widget->w(), y + widget->h()};
    placeWidgetAtScale(widget, place);
    widget->labelfont(font);
    if (kind == Kind::Edit) static_cast<Fl_Input*>(widget)->textfont(font);
    widget->visible_focus((source.style & WS_TABSTOP) ? 1 : 0);
    if (!(source.style & WS_VISIBLE)) widget->hide();
    if (source.style & WS_DISABLED) widget->deactivate();
    const HWND handle = allocateWindowHandle();
    if (kind == Kind::PushButton || kind == Kind::RadioButton)
      widget->callback(buttonPressed, handle);
    window->add(widget);
    dialog.controls.push_back(Control{handle, static_cast<WORD>(source.id), kind, group, widget,
                                      source.text ? source.text : "", place});
    setFontSizes(dialog, dialog.controls.back());
    if (kind == Kind::PushButton && (source.style & BS_TYPE_MASK) == BS_DEFPUSHBUTTON &&
        !defaultFound) {
      defaultFound = true;
      dialog.defaultId = static_cast<WORD>(source.id);
    }
  }
}

const Control* firstTabStop(const Dialog& dialog) {
  for (const Control& control : dialog.controls) {
    Fl_Widget* widget = control.widget;
    if (widget->visible_focus() && widget->visible() && widget->active()) return &control;
  }
  return nullptr;
}

bool dialogFinished(void* context) {
  const auto* dialog = static_cast<const Dialog*>(context);
  return dialog->ended || !findWindow(dialog->window);
}

// Runs the dialog from WM_INITDIALOG to EndDialog.
void runDialog(Dialog& dialog, LPARAM initParam) {
  const Control* focus = firstTabStop(dialog);
  const WPARAM focusHandle = focus ? reinterpret_cast<WPARAM>(focus->handle) : 0;
  const INT_PTR setFocus =
      dialog.procedure ? dialog.procedure(dialog.window, WM_INITDIALOG, focusHandle, initParam)
                       : TRUE;
  WindowRecord* record = findWindow(dialog.window);
  if (dialog.ended || !record) return;
  if (setFocus && focus) focus->widget->take_focus();
  record->host->set_modal();
  ShowWindow(dialog.window, SW_SHOW);
  runToolkitModalLoop(dialogFinished, &dialog);
}

}  // namespace

void setDialogTemplateSourceForTests(DialogTemplateSource source) {
  templateSource = source ? source : findDialogTemplate;
}

// A named template (not a number) never exists here, nor does a dialog
// without an X display. The result of a dialog that went without EndDialog
// (its owner destroyed, or a quit posted) is 0.
INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam) {
  const auto id = reinterpret_cast<std::uintptr_t>(templateName);
  if (id >= 0x10000 || (owner && !findWindow(owner)) || !x11Display()) return -1;
  const DialogTemplate* dialogTemplate = templateSource(static_cast<WORD>(id));
  if (!dialogTemplate || !registerDialogClass()) return -1;
  const BaseUnits units = baseUnitsOf(*dialogTemplate);
  const int width = mulDiv(dialogTemplate->width, units.x, 4);
  const int height = mulDiv(dialogTemplate->height, units.y, 8);
  const POINT offset{mulDiv(dialogTemplate->x, units.x, 4), mulDiv(dialogTemplate->y, units.y, 8)};
  const POINT origin = modalOrigin(owner, offset, width, height);
  const HWND window = CreateWindowExA(0, DIALOG_CLASS, dialogTemplate->caption,
                                      dialogTemplate->style & ~static_cast<DWORD>(WS_VISIBLE),
                                      static_cast<int>(fromScreen(origin.x)),
                                      static_cast<int>(fromScreen(origin.y)), width, height, owner,
                                      nullptr, nullptr, nullptr);
  WindowRecord* record = findWindow(window);
  if (!record) return -1;
  Dialog dialog{window, procedure, {}, IDOK, false, 0, {}, nullptr, nullptr, 0};
  openDialogs.push_back(&dialog);
  record->host->xclass("Kivo");
  record->host->callback(dialogWindowCallback);
  addControls(dialog, *dialogTemplate, units, record->host);
  const Window hadKeyboard = x11FocusedWindow();
  runDialog(dialog, initParam);
  if (findWindow(window)) destroyWindow(window);
  x11GiveFocus(hadKeyboard);
  openDialogs.erase(std::find(openDialogs.begin(), openDialogs.end(), &dialog));
  return dialog.ended ? dialog.result : 0;
}

// The modal loop ends once the procedure that called this has returned.
BOOL EndDialog(HWND window, INT_PTR result) {
  Dialog* dialog = findDialog(window);
  if (!dialog) return FALSE;
  dialog->ended = true;
  dialog->result = result;
  interruptToolkitWait();
  return TRUE;
}

HWND GetDlgItem(HWND window, int id) {
  Dialog* dialog = findDialog(window);
  const Control* control = dialog ? controlById(*dialog, id) : nullptr;
  return control ? control->handle : nullptr;
}

// Like WM_SETTEXT, this bypasses the edit field's typing limits.
BOOL SetWindowTextA(HWND window, LPCSTR text) {
  const std::string label = toolkitLabel(text);
  if (Control* control = findControl(window)) {
    if (control->kind == Kind::Edit) {
      const std::size_t length = text ? std::strlen(text) : 0;
      std::vector<char> utf8(length * 3 + 1);
      ansiToUtf8(text, length, utf8.data(), utf8.size());
      static_cast<Fl_Input*>(control->widget)->value(utf8.data());
    } else {
      control->text = text ? text : "";
      control->widget->copy_label(label.c_str());
      control->widget->redraw();
    }
    return TRUE;
  }
  WindowRecord* record = findWindow(window);
  if (!record) return FALSE;
  const std::size_t length = text ? std::strlen(text) : 0;
  std::vector<char> utf8(length * 3 + 1);
  ansiToUtf8(text, length, utf8.data(), utf8.size());
  record->host->copy_label(utf8.data());
  return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
  if (!text || maxCount <= 0) return 0;
  std::string ansi;
  const char* utf8 = nullptr;
  if (const Control* control = findControl(window)) {
    if (control->kind == Kind::Edit) {
      utf8 = static_cast<const Fl_Input*>(control->widget)->value();
    } else {
      ansi = control->text;
    }
  } else if (const WindowRecord* record = findWindow(window)) {
    utf8 = record->host->label();
  } else {
    text[0] = '\0';
    return 0;
  }
  if (utf8) {
    ansi.resize(std::strlen(utf8) + 1);
    ansi.resize(utf8ToAnsi(utf8, &ansi[0], ansi.size()));
  }
  const std::size_t copied = std::min(ansi.size(), static_cast<std::size_t>(maxCount - 1));
  std::memcpy(text, ansi.data(), copied);
  text[copied] = '\0';
  return static_cast<int>(copied);
}

BOOL CheckRadioButton(HWND window, int firstId, int lastId, int checkId) {
  Dialog* dialog = findDialog(window);
  if (!dialog) return FALSE;
  for (Control& control : dialog->controls) {
    if (control.kind != Kind::RadioButton || control.id < firstId || control.id > lastId) continue;
    static_cast<Fl_Button*>(control.widget)->value(control.id == checkId ? 1 : 0);
  }
  return TRUE;
}

UINT IsDlgButtonChecked(HWND window, int id) {
  Dialog* dialog = findDialog(window);
  const Control* control = dialog ? controlById(*dialog, id) : nullptr;
  if (!control || control->kind != Kind::RadioButton) return BST_UNCHECKED;
  return static_cast<const Fl_Button*>(control->widget)->value() ? BST_CHECKED : BST_UNCHECKED;
}
