// The Linux windowing and drawing layer on a real X server (Xvfb, no window
// manager). Each test registers its own class, records what reached the window
// procedure, and destroys its windows, so tests do not see each other.
#pragma once

#include <gtest/gtest.h>

#include <FL/x.H>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/drawing.h"
#include "platform/windowing.h"

struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class X11Test : public ::testing::Test {
 public:
  // What reached the window procedure of the test's windows, in order.
  static std::vector<Received> received;
  // Runs shell commands (xdotool, as a user would act) without waiting for them.
  static void inBackground(const std::string& commands);
  // The layer's own handler of a broken connection, which saves and exits 0.
  // The tests put one in its place that fails the run, so an X server that
  // dies under them cannot pass for success; a test of that handler puts it back.
  static XIOErrorHandler programConnectionLostHandler;

 protected:
  void SetUp() override;
  void TearDown() override;

  // A class of its own for each test, with or without CS_DBLCLKS.
  const char* registerClass(UINT classStyle = 0);
  HWND create(DWORD style, int x, int y, int width, int height, DWORD exStyle = 0,
              HWND owner = nullptr);
  // Runs the message loop until `done` holds or about two seconds pass.
  template <typename Done>
  bool pumpUntil(Done done);
  // Posts a marker and dispatches everything up to it.
  void pumpQueued();
  std::vector<Received> receivedOf(HWND window, UINT message) const;

  // The X window behind an HWND, and its place as the X server has it.
  static Window xidOf(HWND window);
  static XWindowAttributes attributesOf(HWND window);
  static std::vector<std::string> stateAtomsOf(HWND window);
  // Top-level X windows from the top of the stack down.
  static std::vector<Window> stacking();
  // A pixel of a DC's surface, as 0x00RRGGBB.
  static unsigned long pixelAt(HDC context, int x, int y);
  // Puts `Xft.dpi` in the root's resources as a desktop does (0 takes it
  // out). With `readNow` the scale is in force at once and no listener hears
  // of it; without, the layer follows once the loop takes the PropertyNotify.
  // TearDown goes back to 100 %.
  static void setXftDpi(int dpi, bool readNow = true);

  std::vector<HWND> windows;
  std::string className;
};

// Ends a modal loop that a fault left open, so the test fails instead of
// hanging: if still armed after ten seconds, a thread of its own sends an X
// event to the X window `target`, and `onFire` runs on the GUI thread when the loop takes
// it. Timeouts would not do: FLTK runs them only at the start of its next wait.
class Watchdog {
 public:
  Watchdog(Window target, void (*onFire)());
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  static int hear(void* event, void* data);
  void (*onFire_)();
  Window target_;
  Atom type_;
  std::mutex mutex_;
  std::condition_variable disarmed_;
  bool stop_ = false;
  std::thread thread_;
};

template <typename Done>
bool X11Test::pumpUntil(Done done) {
  if (windows.empty()) return done();
  // A ticking timer keeps the loop turning while the X server answers.
  SetTimer(windows.front(), 0xBEEF, 10, nullptr);
  for (int turns = 0; turns < 200 && !done(); ++turns) {
    MSG msg;
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) return false;
    DispatchMessageA(&msg);
  }
  return done();
}
