#include "x11_fixture.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/linux/drawing/gdi_objects.h"
#include "platform/linux/windows/window_calls.h"
#include "platform/linux/windows/window_records.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/x11_session.h"

namespace {

constexpr UINT MARKER = 0x8001;  // WM_APP + 1
int classNumber = 0;

LRESULT CALLBACK recordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  X11Test::received.push_back(Received{window, message, wParam, lParam});
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

std::vector<Received> X11Test::received;
XIOErrorHandler X11Test::programConnectionLostHandler = nullptr;

void X11Test::SetUp() {
  ASSERT_NE(x11Display(), nullptr) << "these tests need an X server: run them through with_xvfb.sh";
  if (!programConnectionLostHandler) {
    programConnectionLostHandler = XSetIOErrorHandler([](Display*) -> int {
      std::fputs("the X server went away under the tests\n", stderr);
      std::_Exit(1);
    });
  }
  received.clear();
}

void X11Test::TearDown() {
  for (HWND window : windows) {
    KillTimer(window, 0xBEEF);
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  pumpQueued();
  windows.clear();
  if (x11ScalePercent() != 100) setXftDpi(0);
}

const char* X11Test::registerClass(UINT classStyle) {
  className = "KivoTest" + std::to_string(++classNumber);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = classStyle;
  windowClass.lpfnWndProc = recordingProcedure;
  windowClass.lpszClassName = className.c_str();
  EXPECT_NE(RegisterClassExA(&windowClass), 0);
  return className.c_str();
}

HWND X11Test::create(DWORD style, int x, int y, int width, int height, DWORD exStyle, HWND owner) {
  if (className.empty()) registerClass();
  HWND window = CreateWindowExA(exStyle, className.c_str(), "Kivo test", style, x, y, width, height,
                                owner, nullptr, nullptr, nullptr);
  if (window) windows.push_back(window);
  return window;
}

void X11Test::pumpQueued() {
  bool seen = false;
  PostMessageA(nullptr, MARKER, 0, 0);
  for (int turns = 0; turns < 1000 && !seen; ++turns) {
    MSG msg;
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) return;
    if (msg.message == MARKER && msg.hwnd == nullptr) seen = true;
    DispatchMessageA(&msg);
  }
  XSync(fl_display, False);
}

std::vector<Received> X11Test::receivedOf(HWND window, UINT message) const {
  std::vector<Received> found;
  for (const Received& entry : received) {
    if (entry.window == window && entry.message == message) found.push_back(entry);
  }
  return found;
}

Window X11Test::xidOf(HWND window) {
  const WindowRecord* record = findWindow(window);
  return record ? hostXid(*record) : 0;
}

XWindowAttributes X11Test::attributesOf(HWND window) {
  XSync(fl_display, False);
  XWindowAttributes attributes{};
  XGetWindowAttributes(fl_display, xidOf(window), &attributes);
  return attributes;
}

std::vector<std::string> X11Test::stateAtomsOf(HWND window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  std::vector<std::string> names;
  XGetWindowProperty(fl_display, xidOf(window), x11Atom(NET_WM_STATE), 0, 16, False, XA_ATOM, &type,
                     &format, &count, &remaining, &data);
  for (unsigned long i = 0; i < count; ++i) {
    char* name = XGetAtomName(fl_display, reinterpret_cast<Atom*>(data)[i]);
    names.emplace_back(name);
    XFree(name);
  }
  if (data) XFree(data);
  return names;
}

std::vector<Window> X11Test::stacking() {
  Window rootWindow = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  XQueryTree(fl_display, x11Root(), &rootWindow, &parent, &children, &count);
  std::vector<Window> topDown(children, children + count);
  std::reverse(topDown.begin(), topDown.end());
  if (children) XFree(children);
  return topDown;
}

unsigned long X11Test::pixelAt(HDC context, int x, int y) {
  const DcObject* dc = findDc(context);
  if (!dc || !dc->drawable) return ~0ul;
  XImage* image = XGetImage(fl_display, dc->drawable, dc->originX + x, dc->originY + y, 1, 1,
                            AllPlanes, ZPixmap);
  if (!image) return ~0ul;
  const unsigned long pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  // The 24-bit TrueColor visual of Xvfb: the pixel is already 0xRRGGBB.
  return pixel & 0xFFFFFF;
}

void X11Test::setXftDpi(int dpi, bool readNow) {
  if (dpi == 0) {
    XDeleteProperty(fl_display, x11Root(), XA_RESOURCE_MANAGER);
  } else {
    const std::string resources = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
    XChangeProperty(fl_display, x11Root(), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.c_str()),
                    static_cast<int>(resources.size()));
  }
  XFlush(fl_display);
  if (readNow) x11ReadScale();
}

void X11Test::inBackground(const std::string& commands) {
  const std::string line = "(" + commands + ") >/dev/null 2>&1 &";
  ASSERT_EQ(std::system(line.c_str()), 0);
}

Watchdog::Watchdog(Window target, void (*onFire)())
    : onFire_(onFire),
      target_(target),
      type_(XInternAtom(fl_display, "KIVO_TEST_WATCHDOG", False)) {
  Fl::add_system_handler(hear, this);
  thread_ = std::thread([this] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (disarmed_.wait_for(lock, std::chrono::seconds(10), [this] { return stop_; })) return;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = target_;
    event.xclient.message_type = type_;
    event.xclient.format = 32;
    XSendEvent(display, target_, False, 0, &event);
    XCloseDisplay(display);
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  disarmed_.notify_all();
  thread_.join();
  Fl::remove_system_handler(hear);
}

int Watchdog::hear(void* event, void* data) {
  const auto* watchdog = static_cast<const Watchdog*>(data);
  const auto* xevent = static_cast<const XEvent*>(event);
  if (xevent->type != ClientMessage || xevent->xclient.message_type != watchdog->type_) return 0;
  watchdog->onFire_();
  return 1;
}
