// The legacy view: physical memory and paging file bars.
#pragma once

#include "platform/drawing.h"
#include "platform/system_status.h"
#include "platform/windowing.h"

constexpr int GROUPED_TEXT_BYTES = 30;

// The available figures of the last drawing; a reading that repeats both is
// not drawn again.
extern ULONGLONG lastAvailPhys;
extern ULONGLONG lastAvailPageFile;

// What one bar shows: its share, which also picks its colour, and its two
// labels as they are drawn.
struct BarFigures {
  ULONGLONG percent;
  char percentText[GROUPED_TEXT_BYTES + 2];
  char amountText[GROUPED_TEXT_BYTES];
};

struct BarViewFigures {
  BarFigures physical;
  BarFigures paging;
};

void drawBarView(HWND window);
// The figures of one memory reading, apart from the drawing so that each can
// be measured on its own.
void composeBarView(const MEMORYSTATUSEX& memory, BarViewFigures& figures);
