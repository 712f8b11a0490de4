#include "platform/linux/x11/display_scale.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/linux/x11/x11_session.h"

namespace display_scale_detail {
int percentNow = 100;
bool percentRead = false;
}  // namespace display_scale_detail

namespace {

using display_scale_detail::percentNow;
using display_scale_detail::percentRead;

constexpr int LARGEST_PERCENT = 500;
constexpr int LISTENER_CAPACITY = 8;

void (*listeners[LISTENER_CAPACITY])() = {};

// floor(numerator / denominator) for a positive denominator.
long floorDivide(long numerator, long denominator) {
  const long quotient = numerator / denominator;
  return (numerator % denominator != 0 && numerator < 0) ? quotient - 1 : quotient;
}

// The value of the first "Xft.dpi:" line, or 0.
double xftDpiOf(const char* resources) {
  static const char key[] = "Xft.dpi";
  for (const char* line = resources; line && *line;) {
    while (*line == ' ' || *line == '\t') ++line;
    if (std::strncmp(line, key, sizeof key - 1) == 0) {
      const char* rest = line + sizeof key - 1;
      while (*rest == ' ' || *rest == '\t') ++rest;
      if (*rest == ':') return std::strtod(rest + 1, nullptr);
    }
    line = std::strchr(line, '\n');
    if (line) ++line;
  }
  return 0;
}

int percentOfDpi(double dpi) {
  if (!(dpi >= 96)) return 100;  // also NaN
  const double steps = std::floor(dpi * 4 / 96 + 0.5);
  return static_cast<int>(std::fmin(steps * 25, LARGEST_PERCENT));
}

int percentOfGdkScale(const char* gdkScale) {
  if (!gdkScale || !*gdkScale) return 100;
  char* end = nullptr;
  const long whole = std::strtol(gdkScale, &end, 10);
  if (*end != '\0' || whole < 1 || whole > LARGEST_PERCENT / 100) return 100;
  return static_cast<int>(whole * 100);
}

// The root's resources as they are now. Xlib's own copy was taken at
// connection and never follows a change.
int readRootPercent(Display* display) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  const bool read =
      XGetWindowProperty(display, x11Root(), XA_RESOURCE_MANAGER, 0, 1 << 16, False, XA_STRING,
                         &type, &format, &count, &remaining, &data) == Success &&
      type == XA_STRING && format == 8;
  const int percent = scalePercentFor(read ? reinterpret_cast<const char*>(data) : nullptr,
                                      std::getenv("GDK_SCALE"));
  if (data) XFree(data);
  return percent;
}

int watchResources(void* event, void*) {
  const auto* xevent = static_cast<const XEvent*>(event);
  if (xevent->type == PropertyNotify && xevent->xproperty.window == x11Root() &&
      xevent->xproperty.atom == XA_RESOURCE_MANAGER && x11ReadScale()) {
    for (auto* listener : listeners) {
      if (listener) listener();
    }
  }
  return 0;
}

}  // namespace

int scalePercentFor(const char* resources, const char* gdkScale) {
  const double dpi = xftDpiOf(resources);
  return dpi > 0 ? percentOfDpi(dpi) : percentOfGdkScale(gdkScale);
}

long scaledToScreenAt(long units, int percent) { return floorDivide(units * percent + 50, 100); }

long scaledFromScreenAt(long pixels, int percent) {
  return floorDivide(pixels * 100 * 2 + percent, 2L * percent);
}

// Never opens the display itself: without one the scale stays 100 %.
int display_scale_detail::readFirstPercent() {
  if (fl_display) x11ReadScale();
  return percentNow;
}

bool x11ReadScale() {
  static bool watching = false;
  Display* display = x11Display();
  if (display && !watching) {
    watching = true;
    // FLTK selects the root's property changes already (for the work area).
    Fl::add_system_handler(watchResources, nullptr);
  }
  percentRead = display != nullptr;
  const int percent = display ? readRootPercent(display) : 100;
  const bool changed = percent != percentNow;
  percentNow = percent;
  return changed;
}

void x11OnScaleChange(void (*listener)()) {
  for (auto*& slot : listeners) {
    if (slot == listener) return;
    if (!slot) {
      slot = listener;
      return;
    }
  }
}
