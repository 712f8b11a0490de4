// The legacy view: physical memory and paging file bars.
#pragma once

#include "platform/windowing.h"

void drawBarView(HWND window);
