// Kivo's persisted settings: read once at start-up, written once at close.
#pragma once

#include "platform/base_types.h"
#include "platform/drawing.h"
#include "platform/windowing.h"

struct Settings {
  LONG x;
  LONG y;
  LONG width;
  LONG height;
  LONG top;  // the z-order handle value: -1 topmost, 1 bottom, 0 top
  LONG refresh;
  LONG memused;
  DWORD caption;  // the whole window style
  LONG view;
  LOGFONTA font;
};

// The values written at close only when they differ from these.
struct StartupValues {
  LONG top;
  LONG refresh;
  LONG memused;
  DWORD caption;
  LONG view;
};

// The strip's place and size when none is stored; also where it comes back
// to when no monitor shows its stored place.
constexpr LONG DEFAULT_X = 443;
constexpr LONG DEFAULT_Y = -2;  // hugs the top edge
constexpr LONG DEFAULT_WIDTH = 450;
constexpr LONG DEFAULT_HEIGHT = 14;

extern Settings settings;
extern StartupValues startupValues;
// Set by loadSettings when no width was stored. The default width was chosen
// without knowing what the status line will hold on this machine, so the text
// view may widen the strip once to fit the line; cleared once it has.
extern bool widthMayGrow;

void loadSettings();
void saveSettings(HWND window);
