// What is drawn into a DC: rectangles, text and copies between surfaces. Fills
// go through a plain X GC, so their colours are exact; only glyph edges are
// blended, by Xft.
#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/linux/drawing/gdi_fonts.h"
#include "platform/linux/drawing/gdi_objects.h"
#include "platform/linux/text/ansi_text.h"
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

// Fills a rectangle in DC coordinates, clipped to the surface; exact colours.
void fillSurface(DcObject& dc, long long x, long long y, long long width, long long height,
                 COLORREF colour) {
  if (!dc.drawable) return;
  const Span across = clipSpan(x, width, dc.width), down = clipSpan(y, height, dc.height);
  if (across.length == 0 || down.length == 0) return;
  setForeground(dc, colour);
  XFillRectangle(x11Display(), dc.drawable, dc.gc, static_cast<int>(dc.originX + across.start),
                 static_cast<int>(dc.originY + down.start), static_cast<unsigned>(across.length),
                 static_cast<unsigned>(down.length));
}

// Xft draws glyphs only; GDI's underline and strike-out are lines in the text colour.
void drawTextLines(DcObject& dc, const FontObject& font, XftFont* face, int x, int y, int width) {
  const int thickness = std::max(1, face->ascent / 12);
  if (font.underline) fillSurface(dc, x, y + face->ascent + 1, width, thickness, dc.textColour);
  if (font.strikeOut) fillSurface(dc, x, y + face->ascent * 2 / 3, width, thickness, dc.textColour);
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

// The pen is one pixel wide and lies inside the shape; the brush fills what
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
  if (!brush.hollow) fillSurface(*dc, l + 1, t + 1, r - l - 2, b - t - 2, brush.colour);
  fillSurface(*dc, l, t, r - l, std::min(1LL, b - t), pen.colour);
  fillSurface(*dc, l, b - 1, r - l, b - t > 1 ? 1 : 0, pen.colour);
  fillSurface(*dc, l, t, std::min(1LL, r - l), b - t, pen.colour);
  fillSurface(*dc, r - 1, t, r - l > 1 ? 1 : 0, b - t, pen.colour);
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
  if (dc->backgroundMode == OPAQUE) {
    fillSurface(*dc, x, y, textWidth(face, utf8, bytes), cellHeight(face), dc->backgroundColour);
  }
  XftDraw* draw = surfaceXftDraw(*dc);
  if (!draw) return TRUE;
  const XftColor colour = xftColourOf(dc->textColour);
  XftDrawStringUtf8(draw, &colour, face, dc->originX + x, dc->originY + y + face->ascent,
                    reinterpret_cast<const FcChar8*>(utf8), static_cast<int>(bytes));
  const FontObject& font = selectedFont(*dc);
  if (font.underline || font.strikeOut) {
    drawTextLines(*dc, font, face, x, y, textWidth(face, utf8, bytes));
  }
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC context, LPCSTR text, int length, LPSIZE size) {
  DcObject* dc = findDc(context);
  if (!dc || !size || length < 0 || (length > 0 && !text)) return FALSE;
  char utf8[LONGEST_TEXT * 3 + 1];
  const std::size_t bytes = utf8Of(text, length, utf8, sizeof utf8);
  XftFont* face = selectedFace(*dc);
  size->cx = textWidth(face, utf8, bytes);
  size->cy = cellHeight(face);
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
  long long fromX = sourceX, fromY = sourceY, toX = x, toY = y, w = width, h = height;
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
  const long long left = rect->left, top = rect->top;
  const long long width = static_cast<long long>(rect->right) - left;
  const long long height = static_cast<long long>(rect->bottom) - top;
  fillSurface(*dc, left, top, 1, height, colour);
  fillSurface(*dc, left + width - 1, top, 1, height, colour);
  fillSurface(*dc, left, top, width, 1, colour);
  fillSurface(*dc, left, top + height - 1, width, 1, colour);
  return 1;
}
