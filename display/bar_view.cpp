#include "display/bar_view.h"

#include <charconv>
#include <cstring>

#include "app/app_state.h"
#include "platform/system_status.h"
#include "settings/settings.h"

ULONGLONG lastAvailPhys;
ULONGLONG lastAvailPageFile;

namespace {

constexpr COLORREF BAR_GREEN = 0x008000;
constexpr COLORREF BAR_BLUE = 0xFF0000;
constexpr COLORREF BAR_RED = 0x0000FF;
constexpr COLORREF BAR_GREY = 0x7F7F7F;
constexpr COLORREF BAR_FRAME = 0x000000;
constexpr COLORREF AMOUNT_WHITE = 0xFFFFFF;

constexpr int LABEL_AREA_MARGIN = 3;

// A failed grouping shows whatever the buffer held before, so it outlives
// the call.
char groupedText[GROUPED_TEXT_BYTES];
char commaSeparator[] = ",";

// FillRect takes a system colour's index plus one in place of a brush.
HBRUSH systemColour(int index) { return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(index + 1)); }

COLORREF colourOfPercent(ULONGLONG percent) {
  if (percent <= 50) return BAR_GREEN;
  return percent <= 75 ? BAR_BLUE : BAR_RED;
}

// Scaled by a hundred first, as the bars always were: 7,600 of 10,099 is 76.
// The product cannot overflow, since scaledAmount is at most a hundredth of a
// 64-bit amount; a total under 100 bytes has no share to show; a reading with
// more available than in total must not push the fill past the bar.
ULONGLONG percentOf(ULONGLONG scaledAmount, ULONGLONG scaledTotal) {
  if (scaledTotal == 0) return 0;
  const ULONGLONG percent = scaledAmount * 100 / scaledTotal;
  return percent < 100 ? percent : 100;
}

ULONGLONG amountShown(ULONGLONG total, ULONGLONG available) {
  return settings.memused == 1 ? total - available : available;
}

// Each brush lives for its one use.
void paintBarBackground(HDC context, const RECT& bar) {
  HBRUSH grey = CreateSolidBrush(BAR_GREY);
  FillRect(context, &bar, grey);
  DeleteObject(grey);
  HBRUSH black = CreateSolidBrush(BAR_FRAME);
  FrameRect(context, &bar, black);
  DeleteObject(black);
}

void fillShare(HDC context, const RECT& bar, LONG fillRight, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ previous = SelectObject(context, brush);
  Rectangle(context, bar.left, bar.top, fillRight, bar.bottom);
  SelectObject(context, previous);
  DeleteObject(brush);
}

void groupDigits(ULONGLONG value) {
  char digits[24];
  *std::to_chars(digits, digits + sizeof digits - 1, value).ptr = '\0';
  NUMBERFMTA format{0, 0, 3, commaSeparator, commaSeparator, 0};
  GetNumberFormatA(0, 0, digits, &format, groupedText, GROUPED_TEXT_BYTES);
}

// 0 to 99 carry their sign; "100" would not fit the label area with one.
void composeBar(ULONGLONG total, ULONGLONG available, BarFigures& figures) {
  const ULONGLONG amount = amountShown(total, available);
  figures.percent = percentOf(amount / 100, total / 100);
  groupDigits(figures.percent);
  if (std::strlen(groupedText) < 3)
    wsprintfA(figures.percentText, "%s%%", groupedText);
  else
    wsprintfA(figures.percentText, "%s", groupedText);
  groupDigits(amount);
  std::strcpy(figures.amountText, groupedText);
}

// The label area left of the bars is as wide as a two-digit percentage.
SIZE labelCell(HDC context) {
  HGDIOBJ previous = SelectObject(context, DisplayFont);
  SIZE cell{};
  GetTextExtentPoint32A(context, "99%", 3, &cell);
  SelectObject(context, previous);
  return cell;
}

void drawLabel(HDC context, int x, int y, const char* text, COLORREF colour) {
  SetBkMode(context, TRANSPARENT);
  SetTextColor(context, colour);
  HGDIOBJ previous = SelectObject(context, DisplayFont);
  TextOutA(context, x, y, text, static_cast<int>(std::strlen(text)));
  SelectObject(context, previous);
}

void drawBar(HDC context, const BarFigures& figures, const RECT& strip, const SIZE& cell,
             bool upper) {
  const LONG height = strip.bottom - strip.top;
  RECT bar{};
  bar.top = upper ? 1 : height / 2 + 1;
  bar.bottom = upper ? height / 2 - 1 : height - 1;
  bar.left = cell.cx + LABEL_AREA_MARGIN;
  bar.right = strip.right - 1;
  paintBarBackground(context, bar);
  const COLORREF colour = colourOfPercent(figures.percent);
  const LONGLONG share =
      static_cast<LONGLONG>(bar.right - bar.left) * static_cast<LONGLONG>(figures.percent) / 100;
  fillShare(context, bar, static_cast<LONG>(share) + bar.left, colour);
  // Centres the text's cell on the bar; each halving rounds toward zero.
  const int y = bar.top + (bar.bottom - bar.top) / 2 - cell.cy / 2;
  drawLabel(context, 1, y, figures.percentText, colour);
  drawLabel(context, bar.left, y, figures.amountText, AMOUNT_WHITE);
}

// The bars take the strip's size even when another window asked for the
// drawing; the background and the copy take the asking window's.
void drawBars(HWND window, const BarViewFigures& figures) {
  HDC windowDC = GetDC(app.monitorWindow);
  RECT client{};
  GetClientRect(window, &client);
  FillRect(backBuffer.memoryDC, &client, systemColour(COLOR_MENU));
  RECT strip{};
  GetClientRect(app.monitorWindow, &strip);
  const SIZE cell = labelCell(backBuffer.memoryDC);
  drawBar(backBuffer.memoryDC, figures.physical, strip, cell, true);
  drawBar(backBuffer.memoryDC, figures.paging, strip, cell, false);
  BitBlt(windowDC, 0, 0, client.right - client.left, client.bottom - client.top,
         backBuffer.memoryDC, 0, 0, SRCCOPY);
  ReleaseDC(app.monitorWindow, windowDC);
}

}  // namespace

void composeBarView(const MEMORYSTATUSEX& memory, BarViewFigures& figures) {
  composeBar(memory.ullTotalPhys, memory.ullAvailPhys, figures.physical);
  composeBar(memory.ullTotalPageFile, memory.ullAvailPageFile, figures.paging);
}

void drawBarView(HWND window) {
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatusEx(&memory);
  // Unchanged figures are not drawn again, not even for a paint.
  if (memory.ullAvailPhys == lastAvailPhys && memory.ullAvailPageFile == lastAvailPageFile) return;
  lastAvailPhys = memory.ullAvailPhys;
  lastAvailPageFile = memory.ullAvailPageFile;
  BarViewFigures figures{};
  composeBarView(memory, figures);
  drawBars(window, figures);
}
