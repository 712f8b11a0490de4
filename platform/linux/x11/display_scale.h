// The desktop's scale, and the one place where the 96-dpi units the program
// works in become screen pixels and back. Windows scales a program that
// declares no DPI awareness the same way: the program, its stored places and
// sizes all stay in 96-dpi units, and only the screen sees more pixels.
// Only the Linux layer's own sources include this.
#pragma once

// The scale in percent, in Windows' steps of 25: from the `Xft.dpi` line of
// an X resource text (the root window's RESOURCE_MANAGER), or where it has
// none, from a whole GDK_SCALE. 100 for nothing usable, or below 96 dpi.
// Either argument may be null.
int scalePercentFor(const char* resources, const char* gdkScale);

// A place or a length in 96-dpi units as screen pixels at `percent`, and
// back, each rounded to the nearest (a half up). Going there and back gives
// the same value at any scale of 100 % or more.
long scaledToScreenAt(long units, int percent);
long scaledFromScreenAt(long pixels, int percent);
// Inline, so 100 % costs a comparison: every drawing call converts.
inline long scaledToScreen(long units, int percent) {
  return percent == 100 ? units : scaledToScreenAt(units, percent);
}
inline long scaledFromScreen(long pixels, int percent) {
  return percent == 100 ? pixels : scaledFromScreenAt(pixels, percent);
}

namespace display_scale_detail {
extern int percentNow;
extern bool percentRead;
int readFirstPercent();
}  // namespace display_scale_detail

// The scale now: read with the first question once connected, and again
// whenever the root window's RESOURCE_MANAGER changes. 100 with no display.
// Inline: every drawing call asks, many times a refresh.
inline int x11ScalePercent() {
  return display_scale_detail::percentRead ? display_scale_detail::percentNow
                                           : display_scale_detail::readFirstPercent();
}
// The same conversions at the scale now. At 100 % both return their argument.
inline long toScreen(long units) { return scaledToScreen(units, x11ScalePercent()); }
inline long fromScreen(long pixels) { return scaledFromScreen(pixels, x11ScalePercent()); }
// A span [start, start + length) in units, as a length in pixels: the
// distance between its two ends on screen, so spans that meet in units meet
// on screen too.
inline long spanToScreen(long start, long length) {
  return toScreen(start + length) - toScreen(start);
}

// Reads the scale from the root window now (a round trip). True when it
// differs from the scale held until now; the new one is then in force.
bool x11ReadScale();

// Called, in the order they were added, after the scale changed while the
// program runs: the windows, then their drawing, then the menus and dialogs
// take the new scale. Each part adds its one listener when it first matters;
// adding the same one again does nothing.
void x11OnScaleChange(void (*listener)());
