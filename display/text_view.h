// The performance view: the status line in green on black.
#pragma once

#include "platform/windowing.h"

// The room left after the status line whenever the strip is sized to it.
constexpr LONG STRIP_TEXT_MARGIN = 5;

void drawTextView(HWND window);
