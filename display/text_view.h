// The performance view: the status line in green on black.
#pragma once

#include "platform/windowing.h"

void drawTextView(HWND window);
