// The legacy view: physical memory and paging file bars.
#pragma once

#include "platform/drawing.h"
#include "platform/windowing.h"

// The available figures of the last drawing; a reading that repeats both is
// not drawn again.
extern ULONGLONG lastAvailPhys;
extern ULONGLONG lastAvailPageFile;

enum class BarLabel { percentage, amount };

void drawBarView(HWND window);
void drawBar(HWND window, HDC context, ULONGLONG amount, ULONGLONG scaledAmount,
             ULONGLONG scaledTotal, int upper);
// Returns the width of the label area left of the bars; draws only when draw is 1.
int drawBarLabel(HDC context, ULONGLONG value, const RECT& bar, BarLabel kind, int draw);
