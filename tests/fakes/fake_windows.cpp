// A deterministic window manager: windows are records, messages go through a
// plain queue, and every call that changes something is logged.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include "fakes/fakes.h"
#include "resources/resource_ids.h"

namespace fake {

namespace {

struct MenuItem {
  UINT flags;
  UINT_PTR id;
  bool checked;
};
struct FakeMenu {
  std::vector<MenuItem> items;
};

struct World {
  std::map<std::string, WNDCLASSEXA> classes;
  std::vector<std::unique_ptr<FakeWindow>> windows;
  std::vector<std::unique_ptr<FakeMenu>> menus;
  std::vector<std::unique_ptr<FakeDialog>> dialogs;
  std::deque<MSG> queue;
};

// The controls of each template the program opens, and its radio pairs.
struct DialogShape {
  std::vector<int> ids;
  std::vector<std::pair<int, int>> radioPairs;
};

const std::map<int, DialogShape>& dialogShapes() {
  static const std::map<int, DialogShape> shapes = {
      {IDD_SETUP,
       {{IDOK, IDCANCEL, IDC_REFRESH, IDC_USED, IDC_FREE, IDC_PERFVIEW, IDC_LEGACY},
        {{IDC_USED, IDC_FREE}, {IDC_PERFVIEW, IDC_LEGACY}}}},
      {IDD_ABOUT, {{IDOK}, {}}},
  };
  return shapes;
}

World& world() {
  static World state;
  return state;
}

HWND handleOf(FakeWindow* window) { return reinterpret_cast<HWND>(window); }

int frameOf(DWORD style) {
  if ((style & WS_THICKFRAME) != 0) return 4;
  return (style & WS_BORDER) != 0 ? 1 : 0;
}

std::string nameOf(HWND window) {
  const FakeWindow* record = windowOf(window);
  return record != nullptr ? record->title : "(none)";
}

void note(const std::string& entry) { desktop().log.push_back(entry); }

LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  FakeWindow* record = windowOf(window);
  if (record == nullptr || record->destroyed) return 0;
  return world().classes.at(record->className).lpfnWndProc(window, message, wParam, lParam);
}

LPARAM packed(int low, int high) {
  return static_cast<LPARAM>((static_cast<DWORD>(high & 0xffff) << 16) |
                             static_cast<DWORD>(low & 0xffff));
}

void sendSize(HWND window) {
  const RECT client = clientRect(window);
  note("size " + nameOf(window) + " " + std::to_string(client.right) + "x" +
       std::to_string(client.bottom));
  send(window, WM_SIZE, 0, packed(client.right, client.bottom));
}

void destroy(HWND window) {
  FakeWindow* record = windowOf(window);
  if (record == nullptr || record->destroyed) return;
  note("destroy " + record->title);
  send(window, WM_DESTROY, 0, 0);
  record->destroyed = true;
  auto& timers = desktop().timers;
  for (auto it = timers.begin(); it != timers.end();)
    it = it->first.first == window ? timers.erase(it) : std::next(it);
}

bool intersects(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

FakeMenu* menuOf(HMENU menu) { return reinterpret_cast<FakeMenu*>(menu); }

FakeDialog* dialogOf(HWND dialog) {
  for (const auto& record : world().dialogs)
    if (reinterpret_cast<HWND>(record.get()) == dialog) return record.get();
  return nullptr;
}

DialogControl* controlOf(HWND control) {
  for (const auto& record : world().dialogs)
    for (auto& entry : record->controls)
      if (reinterpret_cast<HWND>(&entry.second) == control) return &entry.second;
  return nullptr;
}

void sendToDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  FakeDialog* record = dialogOf(dialog);
  record->answers.push_back(record->procedure(dialog, message, wParam, lParam));
}

void sendCommand(HWND dialog, int id) {
  sendToDialog(dialog, WM_COMMAND, static_cast<WPARAM>(id),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Runs the user's actions until one ends the dialog.
void runDialog(HWND dialog) {
  FakeDialog* record = dialogOf(dialog);
  auto& actions = desktop().dialogActions;
  while (!record->ended && !actions.empty()) {
    const DialogAction action = actions.front();
    actions.erase(actions.begin());
    action(dialog);
  }
}

// Only what Kivo formats: %s, %d, %u and %%.
std::string formatted(LPCSTR format, va_list arguments) {
  std::string text;
  for (const char* at = format; *at != '\0'; ++at) {
    if (*at != '%' || at[1] == '\0') {
      text += *at;
      continue;
    }
    switch (*++at) {
      case 's':
        text += va_arg(arguments, const char*);
        break;
      case 'd':
        text += std::to_string(va_arg(arguments, int));
        break;
      case 'u':
        text += std::to_string(va_arg(arguments, unsigned));
        break;
      default:
        text += *at;
    }
  }
  return text;
}

}  // namespace

Desktop& desktop() {
  static Desktop state;
  return state;
}

void resetDesktop() {
  desktop() = Desktop{};
  world().classes.clear();
  world().windows.clear();
  world().menus.clear();
  world().dialogs.clear();
  world().queue.clear();
}

FakeWindow* windowOf(HWND window) {
  for (const auto& record : world().windows)
    if (handleOf(record.get()) == window) return record.get();
  return nullptr;
}

HWND findWindow(const std::string& title) {
  for (const auto& record : world().windows)
    if (record->title == title && !record->destroyed) return handleOf(record.get());
  return nullptr;
}

HWND makeWindow(RECT outer, DWORD style) {
  auto record = std::make_unique<FakeWindow>();
  record->className = "(test)";
  record->title = "(test)";
  record->style = style | WS_VISIBLE;
  record->outer = outer;
  world().windows.push_back(std::move(record));
  return handleOf(world().windows.back().get());
}

DialogAction typeText(int id, const std::string& text) {
  return [id, text](HWND dialog) { dialogOf(dialog)->controls.at(id).text = text; };
}

DialogAction clickRadio(int id) {
  return [id](HWND dialog) {
    FakeDialog* record = dialogOf(dialog);
    for (const auto& pair : dialogShapes().at(record->templateId).radioPairs) {
      if (pair.first != id && pair.second != id) continue;
      record->controls.at(pair.first).checked = pair.first == id;
      record->controls.at(pair.second).checked = pair.second == id;
    }
    sendCommand(dialog, id);
  };
}

DialogAction pressButton(int id) {
  return [id](HWND dialog) { sendCommand(dialog, id); };
}

FakeDialog* lastDialog() {
  return world().dialogs.empty() ? nullptr : world().dialogs.back().get();
}

RECT clientRect(HWND window) {
  const FakeWindow* record = windowOf(window);
  if (record == nullptr) return RECT{};
  const int frame = frameOf(record->style);
  return RECT{0, 0, record->outer.right - record->outer.left - 2 * frame,
              record->outer.bottom - record->outer.top - 2 * frame};
}

std::vector<std::string> logEntries(const std::string& prefix) {
  std::vector<std::string> entries;
  for (const std::string& entry : desktop().log)
    if (entry.rfind(prefix, 0) == 0) entries.push_back(entry);
  return entries;
}

}  // namespace fake

using fake::desktop;
using fake::note;
using fake::windowOf;
using fake::world;

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
  const std::string name = windowClass->lpszClassName;
  const auto& failing = desktop().failRegister;
  if (std::find(failing.begin(), failing.end(), name) != failing.end()) return 0;
  if (!world().classes.emplace(name, *windowClass).second) return 0;
  note("register " + name);
  return static_cast<ATOM>(world().classes.size());
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR) { return reinterpret_cast<HCURSOR>(1); }

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
  const std::string name = className;
  const auto& failing = desktop().failCreate;
  if (world().classes.count(name) == 0 ||
      std::find(failing.begin(), failing.end(), name) != failing.end())
    return nullptr;
  auto record = std::make_unique<fake::FakeWindow>();
  record->className = name;
  record->title = windowName;
  record->style = style;
  record->exStyle = exStyle;
  record->outer = RECT{x, y, x + width, y + height};
  record->owner = parent;
  world().windows.push_back(std::move(record));
  HWND window = fake::handleOf(world().windows.back().get());
  note("create " + std::string(windowName));
  // As Windows does, the new window hears of its size before its creator
  // learns its handle.
  fake::sendSize(window);
  return window;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_CLOSE) fake::destroy(window);
  if (message == WM_COMMAND) {
    char entry[64];
    std::snprintf(entry, sizeof entry, "default command 0x%08lx",
                  static_cast<unsigned long>(wParam));
    note(entry);
  }
  return 0;
}

BOOL ShowWindow(HWND window, int showCommand) {
  fake::FakeWindow* record = windowOf(window);
  if (record == nullptr) return FALSE;
  const bool wasVisible = (record->style & WS_VISIBLE) != 0;
  if (showCommand == SW_HIDE)
    record->style &= ~static_cast<DWORD>(WS_VISIBLE);
  else
    record->style |= WS_VISIBLE;
  note("show " + record->title + " " + std::to_string(showCommand));
  return wasVisible;
}

BOOL UpdateWindow(HWND window) {
  fake::FakeWindow* record = windowOf(window);
  if (record == nullptr) return FALSE;
  if ((record->style & WS_VISIBLE) != 0) fake::send(window, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL IsIconic(HWND) { return FALSE; }

LONG GetWindowLongA(HWND window, int index) {
  const fake::FakeWindow* record = windowOf(window);
  return record != nullptr && index == GWL_STYLE ? static_cast<LONG>(record->style) : 0;
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
  fake::FakeWindow* record = windowOf(window);
  if (record == nullptr || index != GWL_STYLE) return 0;
  const LONG previous = static_cast<LONG>(record->style);
  record->style = static_cast<DWORD>(value);
  return previous;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  fake::FakeWindow* record = windowOf(window);
  if (record == nullptr) return FALSE;
  const RECT clientBefore = fake::clientRect(window);
  RECT& outer = record->outer;
  if ((flags & SWP_NOMOVE) == 0)
    outer = RECT{x, y, x + outer.right - outer.left, y + outer.bottom - outer.top};
  if ((flags & SWP_NOSIZE) == 0)
    outer = RECT{outer.left, outer.top, outer.left + width, outer.top + height};
  const auto zOrder = reinterpret_cast<LONG_PTR>(insertAfter);
  if ((flags & SWP_NOZORDER) == 0) record->zOrder = zOrder;
  char entry[160];
  std::snprintf(entry, sizeof entry, "place %s z=%ld %ld,%ld %ldx%ld flags=0x%x",
                record->title.c_str(), static_cast<long>(zOrder), static_cast<long>(outer.left),
                static_cast<long>(outer.top), static_cast<long>(outer.right - outer.left),
                static_cast<long>(outer.bottom - outer.top), flags);
  note(entry);
  const RECT clientAfter = fake::clientRect(window);
  if (clientAfter.right != clientBefore.right || clientAfter.bottom != clientBefore.bottom)
    fake::sendSize(window);
  return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  const fake::FakeWindow* record = windowOf(window);
  if (record == nullptr) return FALSE;
  *rect = record->outer;
  return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  if (windowOf(window) == nullptr) return FALSE;
  *rect = fake::clientRect(window);
  return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point) {
  const fake::FakeWindow* record = windowOf(window);
  if (record == nullptr) return FALSE;
  const int frame = fake::frameOf(record->style);
  point->x += record->outer.left + frame;
  point->y += record->outer.top + frame;
  return TRUE;
}

HMONITOR MonitorFromRect(const RECT* rect, DWORD) {
  for (const RECT& monitor : desktop().monitors)
    if (fake::intersects(*rect, monitor)) return reinterpret_cast<HMONITOR>(1);
  return nullptr;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC) {
  desktop().timers[{window, id}] = elapse;
  note("SetTimer " + fake::nameOf(window) + " " + std::to_string(id) + " " +
       std::to_string(elapse));
  return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  note("KillTimer " + fake::nameOf(window) + " " + std::to_string(id));
  return desktop().timers.erase({window, id}) > 0;
}

HWND SetCapture(HWND window) {
  note("capture " + fake::nameOf(window));
  return nullptr;
}

BOOL ReleaseCapture() {
  note("release capture");
  return TRUE;
}

HMENU CreatePopupMenu() {
  world().menus.push_back(std::make_unique<fake::FakeMenu>());
  return reinterpret_cast<HMENU>(world().menus.back().get());
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, LPCSTR text) {
  fake::menuOf(menu)->items.push_back({flags, id, false});
  note("menu item " + std::to_string(id) + " " + (text != nullptr ? text : "-"));
  return TRUE;
}

UINT GetMenuItemID(HMENU menu, int position) {
  const auto& items = fake::menuOf(menu)->items;
  if (position < 0 || static_cast<std::size_t>(position) >= items.size()) return ~0u;
  return static_cast<UINT>(items[static_cast<std::size_t>(position)].id);
}

DWORD CheckMenuItem(HMENU menu, UINT id, UINT check) {
  for (auto& item : fake::menuOf(menu)->items) {
    if (item.id != id || (item.flags & MF_SEPARATOR) != 0) continue;
    const DWORD previous = item.checked ? MF_CHECKED : MF_UNCHECKED;
    item.checked = (check & MF_CHECKED) != 0;
    return previous;
  }
  return ~0u;
}

BOOL TrackPopupMenuEx(HMENU menu, UINT, int x, int y, HWND window, LPTPMPARAMS) {
  const bool checked = fake::menuOf(menu)->items.at(0).checked;
  note("menu at " + std::to_string(x) + "," + std::to_string(y) +
       (checked ? " checked" : " unchecked"));
  if (desktop().menuChoice != 0) PostMessageA(window, WM_COMMAND, desktop().menuChoice, 0);
  return TRUE;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam) {
  const auto templateId = static_cast<int>(reinterpret_cast<UINT_PTR>(templateName));
  const std::string name = "dialog " + std::to_string(templateId);
  const auto shape = fake::dialogShapes().find(templateId);
  if (shape == fake::dialogShapes().end()) {
    note(name + " missing");
    return -1;
  }
  note(name);
  auto record = std::make_unique<fake::FakeDialog>();
  record->templateId = templateId;
  record->owner = owner;
  record->procedure = procedure;
  for (int id : shape->second.ids) record->controls[id];
  world().dialogs.push_back(std::move(record));
  HWND dialog = reinterpret_cast<HWND>(world().dialogs.back().get());
  fake::sendToDialog(dialog, WM_INITDIALOG, 0, initParam);
  fake::runDialog(dialog);
  const fake::FakeDialog* ended = fake::dialogOf(dialog);
  if (!ended->ended) {
    note(name + " left open");
    return -1;
  }
  note(name + " ended " + std::to_string(ended->result));
  return ended->result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  fake::FakeDialog* record = fake::dialogOf(dialog);
  if (record == nullptr || record->ended) return FALSE;
  record->ended = true;
  record->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  fake::FakeDialog* record = fake::dialogOf(dialog);
  if (record == nullptr || record->controls.count(id) == 0) return nullptr;
  return reinterpret_cast<HWND>(&record->controls.at(id));
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  const std::string value = text != nullptr ? text : "";
  if (fake::DialogControl* control = fake::controlOf(window)) {
    control->text = value;
    return TRUE;
  }
  fake::FakeWindow* record = windowOf(window);
  if (record == nullptr) return FALSE;
  record->title = value;
  return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
  if (text == nullptr || maxCount <= 0) return 0;
  std::string value;
  if (const fake::DialogControl* control = fake::controlOf(window))
    value = control->text;
  else if (const fake::FakeWindow* record = windowOf(window))
    value = record->title;
  const std::size_t copied = std::min(value.size(), static_cast<std::size_t>(maxCount - 1));
  std::memcpy(text, value.data(), copied);
  text[copied] = '\0';
  return static_cast<int>(copied);
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) {
  fake::FakeDialog* record = fake::dialogOf(dialog);
  if (record == nullptr) return FALSE;
  for (auto& entry : record->controls)
    if (entry.first >= firstId && entry.first <= lastId)
      entry.second.checked = entry.first == checkId;
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  const fake::FakeDialog* record = fake::dialogOf(dialog);
  if (record == nullptr || record->controls.count(id) == 0) return BST_UNCHECKED;
  return record->controls.at(id).checked ? BST_CHECKED : BST_UNCHECKED;
}

// As Windows does, the text is cut at 1024 bytes, terminator included.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string text = fake::formatted(format, arguments);
  va_end(arguments);
  if (text.size() > 1023) text.resize(1023);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

BOOL GetMessageA(LPMSG msg, HWND, UINT, UINT) {
  auto& queue = world().queue;
  while (queue.empty() && desktop().whenIdle && desktop().whenIdle()) {
  }
  if (queue.empty()) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = fake::RAN_DRY;
    return FALSE;
  }
  *msg = queue.front();
  queue.pop_front();
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  return fake::send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  world().queue.push_back(msg);
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  note("quit " + std::to_string(exitCode));
  PostMessageA(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  paint->hdc = GetDC(window);
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  ReleaseDC(window, paint->hdc);
  return TRUE;
}

// The bounding box of the monitors, as Windows measures its virtual screen.
int GetSystemMetrics(int index) {
  const auto& monitors = desktop().monitors;
  if (monitors.empty()) return 0;
  LONG low = 0x7fffffff;
  LONG high = -0x7fffffff;
  for (const RECT& monitor : monitors) {
    low = std::min(low, index == SM_CXVIRTUALSCREEN ? monitor.left : monitor.top);
    high = std::max(high, index == SM_CXVIRTUALSCREEN ? monitor.right : monitor.bottom);
  }
  return index == SM_CXVIRTUALSCREEN || index == SM_CYVIRTUALSCREEN ? high - low : 0;
}
