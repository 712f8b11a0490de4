// What is drawn into a DC: rectangles, text and copies between surfaces. Fills
// go through a plain X GC, so their colours are exact; only glyph edges are
// blended, by Xft. Calls come in units and draw screen pixels: a rectangle
// goes by its edges, so rectangles that meet in units meet on screen, and a
// pen line is as thick as one unit is.
#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/linux/drawing/gdi_fonts.h"
#include "platform/linux/drawing/gdi_objects.h"
#include "platform/linux/text/ansi_text.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/x11_session.h"

namespace {

// Longer runs of text are cut: nothing in Kivo draws more than a line.
constexpr int LONGEST_TEXT = 1024;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

struct Span {
  long long start, length;
};

// The part of [start, start + length) that lies within [0, limit).
Span clipSpan(long long start, long long length, long long limit) {
  const long long from = std::max(start, 0LL), to = std::min(start + length, limit);
  return Span{from, std::max(to - from, 0LL)};
}

void setForeground(DcObject& dc, COLORREF colour) {
  const PixelValue pixel = x11Pixel(colour);
  if (dc.gcForeground == pixel) return;
  XSetForeground(x11Display(), dc.gc, pixel);
  dc.gcForeground = pixel;
}

XftColor xftColourOf(COLORREF colour) {
  XftColor result{};
  result.pixel = x11Pixel(colour);
  result.color.red = static_cast<unsigned short>((colour & 0xFF) * 0x101);
  result.color.green = static_cast<unsigned short>(((colour >> 8) & 0xFF) * 0x101);
  result.color.blue = static_cast<unsigned short>(((colour >> 16) & 0xFF) * 0x101);
  result.color.alpha = 0xFFFF;
  return result;
}

std::size_t utf8Of(LPCSTR text, int length, char* out, std::size_t outSize) {
  if (!text || length <= 0) {
    out[0] = '\0';
    return 0;
  }
  return ansiToUtf8(text, static_cast<std::size_t>(std::min(length, LONGEST_TEXT)), out, outSize);
}

int textWidth(XftFont* face, const char* utf8, std::size_t length) {
  if (!face || length == 0) return 0;
  XGlyphInfo extents{};
  XftTextExtentsUtf8(x11Display(), face, reinterpret_cast<const FcChar8*>(utf8),
                     static_cast<int>(length), &extents);
  return extents.xOff;
}

int cellHeight(XftFont* face) { return face ? face->ascent + face->descent : 0; }

const FontObject& selectedFont(const DcObject& dc) {
  return *reinterpret_cast<const FontObject*>(dc.selected[static_cast<int>(GdiKind::TypeFace)]);
}

// A span of units as the pixels between its two ends on screen.
Span onScreen(long long start, long long length, int percent) {
  if (percent == 100) return Span{start, length};
  const long long from = scaledToScreen(static_cast<long>(start), percent);
  return Span{from, scaledToScreen(static_cast<long>(start + length), percent) - from};
}

// Fills a rectangle in pixels from the DC's (0, 0), clipped to the surface;
// exact colours.
void fillPixels(DcObject& dc, Span across, Span down, COLORREF colour) {
  if (!dc.drawable) return;
  across = clipSpan(across.start, across.length, dc.width);
  down = clipSpan(down.start, down.length, dc.height);
  if (across.length == 0 || down.length == 0) return;
  setForeground(dc, colour);
  XFillRectangle(x11Display(), dc.drawable, dc.gc, static_cast<int>(dc.originX + across.start),
                 static_cast<int>(dc.originY + down.start), static_cast<unsigned>(across.length),
                 static_cast<unsigned>(down.length));
}

// Fills a rectangle in DC coordinates (units).
void fillSurface(DcObject& dc, long long x, long long y, long long width, long long height,
                 COLORREF colour) {
  const int percent = x11ScalePercent();
  fillPixels(dc, onScreen(x, width, percent), onScreen(y, height, percent), colour);
}

// The part of a span `thickness` pixels deep from its start, or from its end.
Span firstPixels(Span span, long long thickness) {
  return Span{span.start, std::min(thickness, span.length)};
}
Span lastPixels(Span span, long long thickness) {
  const long long length = std::min(thickness, span.length);
  return Span{span.start + span.length - length, length};
}

// Xft draws glyphs only; GDI's underline and strike-out are lines in the text
// colour. All in pixels: the face is already at the screen's size.
void drawTextLines(DcObject& dc, const FontObject& font, XftFont* face, long long x, long long y,
                   long long width) {
  const long long thickness = std::max(1, face->ascent / 12);
  const Span across{x, width};
  if (font.underline) {
    fillPixels(dc, across, Span{y + face->ascent + toScreen(1), thickness}, dc.textColour);
  }
  if (font.strikeOut) {
    fillPixels(dc, across, Span{y + face->ascent * 2 / 3, thickness}, dc.textColour);
  }
}

constexpr int COLOR_WINDOW = 5, COLOR_WINDOWTEXT = 8, COLOR_BTNFACE = 15, COLOR_BTNTEXT = 18;
constexpr std::uintptr_t LAST_SYSTEM_COLOUR = 30;  // COLOR_MENUBAR

COLORREF colourOfToolkit(Fl_Color toolkitColour) {
  const unsigned rgb = Fl::get_color(toolkitColour);  // 0xRRGGBB00
  return RGB((rgb >> 24) & 0xFF, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF);
}

// The system colours the toolkit has a counterpart for: the strip's window
// background is the menu colour, so it matches the pop-up menu beside it.
bool systemColour(int index, COLORREF* colour) {
  switch (index) {
    case COLOR_MENU:
    case COLOR_BTNFACE:
      *colour = colourOfToolkit(FL_BACKGROUND_COLOR);
      return true;
    case COLOR_WINDOW:
      *colour = colourOfToolkit(FL_BACKGROUND2_COLOR);
      return true;
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
      *colour = colourOfToolkit(FL_FOREGROUND_COLOR);
      return true;
    default:
      return false;
  }
}

// A brush handle, or a system colour index plus one as FillRect takes it.
// False for neither; a hollow brush paints nothing.
bool brushColour(HBRUSH brush, bool systemColoursToo, COLORREF* colour, bool* hollow) {
  const auto value = reinterpret_cast<std::uintptr_t>(brush);
  *hollow = false;
  if (value >= 1 && value <= LAST_SYSTEM_COLOUR + 1) {
    return systemColoursToo && systemColour(static_cast<int>(value - 1), colour);
  }
  const BrushObject* found = findBrush(brush);
  if (!found) return false;
  *colour = found->colour;
  *hollow = found->hollow;
  return true;
}

}  // namespace

// The pen is one unit wide and lies inside the shape; the brush fills what
// the pen leaves. Right and bottom are outside, as GDI has it.
BOOL Rectangle(HDC context, int left, int top, int right, int bottom) {
  DcObject* dc = findDc(context);
  if (!dc) return FALSE;
  const long long l = std::min(left, right), r = std::max(left, right);
  const long long t = std::min(top, bottom), b = std::max(top, bottom);
  const PenObject& pen = selectedPen(*dc);
  const BrushObject& brush = selectedBrush(*dc);
  if (pen.hollow) {
    if (!brush.hollow) fillSurface(*dc, l, t, r - l - 1, b - t - 1, brush.colour);
    return TRUE;
  }
  const int percent = x11ScalePercent();
  const Span across = onScreen(l, r - l, percent), down = onScreen(t, b - t, percent);
  const long long line = scaledToScreen(1, percent);
  if (!brush.hollow) {
    fillPixels(*dc, Span{across.start + line, across.length - 2 * line},
               Span{down.start + line, down.length - 2 * line}, brush.colour);
  }
  fillPixels(*dc, across, firstPixels(down, line), pen.colour);
  if (b - t > 1) fillPixels(*dc, across, lastPixels(down, line), pen.colour);
  fillPixels(*dc, firstPixels(across, line), down, pen.colour);
  if (r - l > 1) fillPixels(*dc, lastPixels(across, line), down, pen.colour);
  return TRUE;
}

COLORREF SetTextColor(HDC context, COLORREF colour) {
  DcObject* dc = findDc(context);
  if (!dc) return CLR_INVALID;
  const COLORREF previous = dc->textColour;
  dc->textColour = colour & 0x00FFFFFF;
  return previous;
}

int SetBkMode(HDC context, int mode) {
  DcObject* dc = findDc(context);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  const int previous = dc->backgroundMode;
  dc->backgroundMode = mode;
  return previous;
}

BOOL TextOutA(HDC context, int x, int y, LPCSTR text, int length) {
  DcObject* dc = findDc(context);
  if (!dc || length < 0 || (length > 0 && !text)) return FALSE;
  char utf8[LONGEST_TEXT * 3 + 1];
  const std::size_t bytes = utf8Of(text, length, utf8, sizeof utf8);
  XftFont* face = selectedFace(*dc);
  if (bytes == 0 || !face) return TRUE;
  const long long left = toScreen(x), top = toScreen(y);
  if (dc->backgroundMode == OPAQUE) {
    fillPixels(*dc, Span{left, textWidth(face, utf8, bytes)}, Span{top, cellHeight(face)},
               dc->backgroundColour);
  }
  XftDraw* draw = surfaceXftDraw(*dc);
  if (!draw) return TRUE;
  const XftColor colour = xftColourOf(dc->textColour);
  XftDrawStringUtf8(draw, &colour, face, static_cast<int>(dc->originX + left),
                    static_cast<int>(dc->originY + top + face->ascent),
                    reinterpret_cast<const FcChar8*>(utf8), static_cast<int>(bytes));
  const FontObject& font = selectedFont(*dc);
  if (font.underline || font.strikeOut) {
    drawTextLines(*dc, font, face, left, top, textWidth(face, utf8, bytes));
  }
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC context, LPCSTR text, int length, LPSIZE size) {
  DcObject* dc = findDc(context);
  if (!dc || !size || length < 0 || (length > 0 && !text)) return FALSE;
  char utf8[LONGEST_TEXT * 3 + 1];
  const std::size_t bytes = utf8Of(text, length, utf8, sizeof utf8);
  XftFont* face = selectedFace(*dc);
  size->cx = static_cast<LONG>(fromScreen(textWidth(face, utf8, bytes)));
  size->cy = static_cast<LONG>(fromScreen(cellHeight(face)));
  return TRUE;
}

// Only the plain copy: Kivo never blends or inverts.
BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop) {
  DcObject* to = findDc(target);
  DcObject* from = findDc(source);
  if (!to || !from || rop != SRCCOPY) return FALSE;
  if (!to->drawable || !from->drawable || width <= 0 || height <= 0) return TRUE;
  // Clip against both surfaces, moving the source and target corners together.
  const int percent = x11ScalePercent();
  const Span across = onScreen(x, width, percent), down = onScreen(y, height, percent);
  long long fromX = scaledToScreen(sourceX, percent), fromY = scaledToScreen(sourceY, percent);
  long long toX = across.start, toY = down.start, w = across.length, h = down.length;
  const long long skipX = std::max({0LL, -fromX, -toX}), skipY = std::max({0LL, -fromY, -toY});
  fromX += skipX, toX += skipX, w -= skipX;
  fromY += skipY, toY += skipY, h -= skipY;
  w = std::min({w, from->width - fromX, to->width - toX});
  h = std::min({h, from->height - fromY, to->height - toY});
  if (w <= 0 || h <= 0) return TRUE;
  XCopyArea(x11Display(), from->drawable, to->drawable, to->gc,
            static_cast<int>(from->originX + fromX), static_cast<int>(from->originY + fromY),
            static_cast<unsigned>(w), static_cast<unsigned>(h), static_cast<int>(to->originX + toX),
            static_cast<int>(to->originY + toY));
  return TRUE;
}

// A rectangle given right-to-left or bottom-to-top is filled all the same, as
// the pattern copy underneath GDI's FillRect orders its corners.
int FillRect(HDC context, const RECT* rect, HBRUSH brush) {
  DcObject* dc = findDc(context);
  COLORREF colour = 0;
  bool hollow = false;
  if (!dc || !rect || !brushColour(brush, true, &colour, &hollow)) return 0;
  const long long left = std::min(rect->left, rect->right),
                  right = std::max(rect->left, rect->right);
  const long long top = std::min(rect->top, rect->bottom),
                  bottom = std::max(rect->top, rect->bottom);
  if (!hollow) fillSurface(*dc, left, top, right - left, bottom - top, colour);
  return 1;
}

// Unlike FillRect, a real brush only, and an empty or inverted rectangle fails.
int FrameRect(HDC context, const RECT* rect, HBRUSH brush) {
  DcObject* dc = findDc(context);
  COLORREF colour = 0;
  bool hollow = false;
  if (!dc || !rect || rect->right <= rect->left || rect->bottom <= rect->top ||
      !brushColour(brush, false, &colour, &hollow)) {
    return 0;
  }
  if (hollow) return 1;
  const int percent = x11ScalePercent();
  const Span across =
      onScreen(rect->left, static_cast<long long>(rect->right) - rect->left, percent);
  const Span down = onScreen(rect->top, static_cast<long long>(rect->bottom) - rect->top, percent);
  const long long line = scaledToScreen(1, percent);
  fillPixels(*dc, firstPixels(across, line), down, colour);
  fillPixels(*dc, lastPixels(across, line), down, colour);
  fillPixels(*dc, across, firstPixels(down, line), colour);
  fillPixels(*dc, across, lastPixels(down, line), colour);
  return 1;
}
