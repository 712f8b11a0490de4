// Runs the whole strip, WinMain included, against the fakes. Each step runs
// when the message queue has gone quiet; after the last one the strip is
// closed the way the window manager's close would.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "display/bar_view.h"
#include "fakes/fakes.h"
#include "measure/status_line.h"
#include "settings/settings.h"

class StripTest : public ::testing::Test {
 protected:
  using Step = std::function<void(HWND monitor)>;

  static const char* key() { return "Software\\Falvane\\Kivo\\2.0"; }

  void SetUp() override {
    fake::resetRegistry();
    fake::resetDesktop();
    fake::resetGdi();
    fake::resetPdh();
    fake::resetHost();
    fake::resetFontDialog();
    fake::host().now = 1765022400;
    app = AppState{};
    backBuffer = BackBuffer{};
    DisplayFont = nullptr;
    settings = Settings{};
    startupValues = StartupValues{};
    StatusLine[0] = '\0';
    lastAvailPhys = 0;
    lastAvailPageFile = 0;
    widthMayGrow = false;
  }
  // A run with no stored width leaves the strip free to grow; tests of the
  // views alone start with a strip that keeps its size.
  void TearDown() override { widthMayGrow = false; }

  int runStrip(std::vector<Step> steps = {}) {
    std::size_t next = 0;
    bool closing = false;
    fake::desktop().whenIdle = [&] {
      HWND monitor = fake::findWindow("Kivo2");
      if (monitor == nullptr) return false;
      if (next < steps.size()) {
        steps[next++](monitor);
        return true;
      }
      if (closing) return false;
      closing = true;
      PostMessageA(monitor, WM_CLOSE, 0, 0);
      return true;
    };
    return WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
  }

  static void post(HWND window, UINT message, int x = 0, int y = 0, WPARAM wParam = 0) {
    const auto packed = static_cast<LPARAM>((static_cast<DWORD>(y & 0xffff) << 16) |
                                            static_cast<DWORD>(x & 0xffff));
    PostMessageA(window, message, wParam, packed);
  }

  static std::vector<std::string> valuesWritten() { return fake::valuesWritten(); }
};
