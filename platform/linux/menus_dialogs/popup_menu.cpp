// The pop-up menu, shown with FLTK's own menu. Items keep their Windows
// positions (separators count), and the check marks are ours: FLTK shows the
// state it is handed and the toggle is the caller's business, as on Windows.
// FLTK 1.3 sizes a menu (its text, item height and check boxes) from its
// normal font size, so that is set to the screen's scale while a menu is open.
#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/linux/text/ansi_text.h"
#include "platform/linux/windows/message_queue.h"
#include "platform/linux/windows/window_records.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/window_manager.h"
#include "platform/linux/x11/x11_session.h"

#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_BYPOSITION 0x00000400L

struct MenuEntry {
  UINT id;
  UINT flags;
  bool checkable;     // once CheckMenuItem has touched it, it shows a check box
  std::string label;  // UTF-8, '@' doubled since FLTK reads it as a symbol
};

struct HMENU__ {
  std::vector<MenuEntry> entries;
  std::vector<Fl_Menu_Item> shown;  // rebuilt on every TrackPopupMenuEx, capacity kept
};

namespace {

// Menus last as long as the process, as without DestroyMenu on Windows. The
// list is never destroyed, so at exit they are still reachable, not leaked.
std::vector<HMENU>& menus = *new std::vector<HMENU>;
bool menuOpen = false;
bool openAgain = false;  // the scale changed while the menu was open

// FLTK 1.3 puts a fixed 4 pixels between a menu's items, whatever their
// size. At a scale the items' labels say they are taller by what those pixels
// lack, so a whole item is as high as it is at 100 % times the scale.
constexpr int MENU_LEADING = 4;
constexpr Fl_Labeltype SCALED_ITEM_LABEL = FL_FREE_LABELTYPE;

void drawItemLabel(const Fl_Label* label, int x, int y, int width, int height, Fl_Align align) {
  fl_font(label->font, label->size);
  fl_color(static_cast<Fl_Color>(label->color));
  fl_draw(label->value, x, y, width, height, align, label->image);
}

void measureItemLabel(const Fl_Label* label, int& width, int& height) {
  const int unitSize = static_cast<int>(fromScreen(label->size));
  int unitWidth = 0, unitHeight = 0;
  fl_font(label->font, unitSize);
  fl_measure(label->value, unitWidth, unitHeight);
  fl_font(label->font, label->size);
  width = height = 0;
  fl_measure(label->value, width, height);
  height = static_cast<int>(toScreen(unitHeight + MENU_LEADING)) - MENU_LEADING;
}

HMENU__* findMenu(HMENU menu) {
  return std::find(menus.begin(), menus.end(), menu) != menus.end() ? menu : nullptr;
}

std::string toolkitLabel(LPCSTR text) {
  char utf8[1024];
  ansiToUtf8(text, text ? std::string::traits_type::length(text) : 0, utf8, sizeof utf8);
  std::string label;
  for (const char* c = utf8; *c; ++c) {
    label += *c;
    if (*c == '@') label += '@';
  }
  return label;
}

MenuEntry* entryFor(HMENU__& menu, UINT item, UINT flags) {
  if (flags & MF_BYPOSITION) return item < menu.entries.size() ? &menu.entries[item] : nullptr;
  for (MenuEntry& entry : menu.entries) {
    if (entry.id == item && !(entry.flags & MF_SEPARATOR)) return &entry;
  }
  return nullptr;
}

Fl_Menu_Item toolkitItem(const MenuEntry& entry) {
  Fl_Menu_Item item{};
  item.text = entry.label.c_str();
  item.argument(static_cast<long>(entry.id));
  item.flags = (entry.checkable ? FL_MENU_TOGGLE : 0) |
               ((entry.flags & MF_CHECKED) ? FL_MENU_VALUE : 0) |
               ((entry.flags & (MF_GRAYED | MF_DISABLED)) ? FL_MENU_INACTIVE : 0);
  if (x11ScalePercent() != 100) {
    Fl::set_labeltype(SCALED_ITEM_LABEL, drawItemLabel, measureItemLabel);
    item.labeltype_ = SCALED_ITEM_LABEL;
  }
  return item;
}

// FLTK draws a separator as a line under the item before it.
void buildToolkitItems(HMENU__& menu) {
  menu.shown.clear();
  for (const MenuEntry& entry : menu.entries) {
    if (!(entry.flags & MF_SEPARATOR)) {
      menu.shown.push_back(toolkitItem(entry));
    } else if (!menu.shown.empty()) {
      menu.shown.back().flags |= FL_MENU_DIVIDER;
    }
  }
  menu.shown.push_back(Fl_Menu_Item{});
}

// FLTK's menu window is override-redirect and goes unnamed; a name lets tools
// such as xdotool find it while it is open. It is mapped only once the menu's
// own loop runs, so this looks again until it has named it.
void nameMenuWindows(void*) {
  bool named = false;
  for (Fl_Window* window = Fl::first_window(); window; window = Fl::next_window(window)) {
    if (window->menu_window() && window->shown() && window->visible()) {
      x11SetNames(fl_xid(window), "Kivo menu", "Kivo");
      named = true;
    }
  }
  if (!named) Fl::repeat_timeout(0.02, nameMenuWindows);
}

// Dismisses the menu as Escape would.
void closeOpenMenu() {
  if (!menuOpen || !Fl::grab()) return;
  // FLTK's menu has no call that ends it; its loop ends on Escape.
  static char noText[] = "";
  Fl::e_keysym = FL_Escape;
  Fl::e_text = noText;
  Fl::e_length = 0;
  Fl::handle(FL_KEYBOARD, Fl::grab());
}

// A menu open when the scale changes closes and opens again at the same
// place in units: FLTK 1.3 lays a menu window out once, as it opens.
void followScaleInMenu() {
  if (!menuOpen) return;
  openAgain = true;
  closeOpenMenu();
}

// The menu's place is in units on the screen; FLTK takes it relative to the
// window of the last event, whatever that is by now.
const Fl_Menu_Item* showMenu(const HMENU__& menu, int x, int y) {
  const Fl_Fontsize normalSize = FL_NORMAL_SIZE;
  FL_NORMAL_SIZE = static_cast<Fl_Fontsize>(toScreen(normalSize));
  const int offsetX = Fl::event_x_root() - Fl::event_x();
  const int offsetY = Fl::event_y_root() - Fl::event_y();
  Fl::add_timeout(0.0, nameMenuWindows);
  const Fl_Menu_Item* picked = menu.shown.front().popup(static_cast<int>(toScreen(x)) - offsetX,
                                                        static_cast<int>(toScreen(y)) - offsetY);
  Fl::remove_timeout(nameMenuWindows);
  FL_NORMAL_SIZE = normalSize;
  return picked;
}

}  // namespace

HMENU CreatePopupMenu() {
  menus.push_back(new HMENU__);
  return menus.back();
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, LPCSTR text) {
  HMENU__* target = findMenu(menu);
  const UINT known = MF_SEPARATOR | MF_CHECKED | MF_GRAYED | MF_DISABLED;
  if (!target || (flags & ~known) || (!(flags & MF_SEPARATOR) && !text)) return FALSE;
  const bool separator = (flags & MF_SEPARATOR) != 0;
  target->entries.push_back(MenuEntry{static_cast<UINT>(id), flags, (flags & MF_CHECKED) != 0,
                                      separator ? std::string() : toolkitLabel(text)});
  return TRUE;
}

UINT GetMenuItemID(HMENU menu, int position) {
  const HMENU__* target = findMenu(menu);
  if (!target || position < 0 || static_cast<std::size_t>(position) >= target->entries.size()) {
    return static_cast<UINT>(-1);
  }
  return target->entries[static_cast<std::size_t>(position)].id;
}

DWORD CheckMenuItem(HMENU menu, UINT id, UINT check) {
  HMENU__* target = findMenu(menu);
  MenuEntry* entry = target ? entryFor(*target, id, check) : nullptr;
  if (!entry) return static_cast<DWORD>(-1);
  const DWORD previous = entry->flags & MF_CHECKED;
  entry->flags = (entry->flags & ~static_cast<UINT>(MF_CHECKED)) | (check & MF_CHECKED);
  entry->checkable = true;
  return previous;
}

BOOL TrackPopupMenuEx(HMENU menu, UINT, int x, int y, HWND window, LPTPMPARAMS) {
  HMENU__* target = findMenu(menu);
  if (!target || !findWindow(window) || menuOpen || !x11Display()) return FALSE;
  buildToolkitItems(*target);
  if (target->shown.size() < 2) return FALSE;
  ReleaseCapture();
  menuOpen = true;
  setTerminationCloser(closeOpenMenu);
  x11OnScaleChange(followScaleInMenu);
  enterToolkitModalLoop();
  const Fl_Menu_Item* picked = nullptr;
  do {
    openAgain = false;
    picked = showMenu(*target, x, y);
    if (openAgain) buildToolkitItems(*target);  // the items' labels follow the scale
  } while (!picked && openAgain);
  leaveToolkitModalLoop();
  menuOpen = false;
  if (picked) PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(picked->argument()), 0);
  return TRUE;
}
