// Drawing objects behind HDC and HGDIOBJ values. Handles index a fixed table
// and carry a generation, so a deleted or made-up handle is refused rather
// than followed. Only the Linux layer's own sources include this.
#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include "platform/drawing.h"

enum class GdiKind : unsigned char { Bitmap, Brush, Pen, TypeFace, Dc };
constexpr int SELECTABLE_KINDS = 4;  // a DC holds one object of each kind before Dc

struct GdiObject {
  GdiKind kind;
  bool stock;
  int selections;  // DCs it is selected into; a selected object cannot be deleted
  HGDIOBJ handle;
};

// The size is in units, the pixmap in screen pixels; a change of scale
// makes the pixmap again behind the same handle.
struct BitmapObject {
  GdiObject base;
  Pixmap pixmap;  // None for a memory DC's initial bitmap
  int width, height;
  int pixelWidth, pixelHeight;
};

struct BrushObject {
  GdiObject base;
  COLORREF colour;
  bool hollow;
};

struct PenObject {
  GdiObject base;
  COLORREF colour;
  bool hollow;
};

// The face is opened for the scale it was made at; the record lets it be
// opened again at another.
struct FontObject {
  GdiObject base;
  XftFont* face;  // null: text uses the default face
  bool underline, strikeOut;
  LOGFONTA record;
  int facePercent;
};

enum class DcKind : unsigned char { OfWindow, OfScreen, OfMemory };

struct DcObject {
  GdiObject base;
  DcKind dcKind;
  HWND window;
  // The surface drawn on, in pixels of `drawable`: DC point (0, 0) is
  // (originX, originY) there, and drawing is clipped to width x height.
  // The DC's own coordinates are units, turned into these pixels as drawn.
  Drawable drawable;
  int originX, originY, width, height;
  GC gc;
  unsigned long gcForeground;
  XftDraw* xftDraw;  // made on first text, dropped when the surface changes
  GdiObject* selected[SELECTABLE_KINDS];
  COLORREF textColour, backgroundColour;
  int backgroundMode;
};

// Font objects hold faces, which the fonts open and close above this table.
void setFaceCloser(void (*close)(XftFont* face));
// Gives a new object its handle; false when the table is full.
bool registerGdiObject(GdiObject* object);
DcObject* findDc(HDC context);
// Null for anything but a live brush handle.
const BrushObject* findBrush(HGDIOBJ handle);
const BrushObject& selectedBrush(const DcObject& dc);
const PenObject& selectedPen(const DcObject& dc);

XftDraw* surfaceXftDraw(DcObject& dc);
