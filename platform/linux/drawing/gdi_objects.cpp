// Device contexts (a window's paint included), bitmaps, brushes, pens and
// fonts as handles, and what a DC has selected. Window and screen DCs come from a small fixed pool,
// so the GetDC/ReleaseDC pair of every refresh allocates nothing.
#include "platform/linux/drawing/gdi_objects.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdint>

#include "platform/linux/windows/window_records.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/x11_session.h"

namespace {

// Windows allows 10,000 GDI objects per process; Kivo holds about ten.
constexpr int SLOT_COUNT = 4096;
constexpr int POOL_SIZE = 16;
constexpr int LARGEST_BITMAP = 16384;
constexpr long LARGEST_PIXMAP = 32767;  // X sizes are 16 bits

struct Slot {
  GdiObject* object;
  std::uint16_t generation;
};

Slot slots[SLOT_COUNT];
int nextFreeGuess = 0;
int liveObjects = 0;

DcObject borrowedDcs[POOL_SIZE];
bool borrowedInUse[POOL_SIZE];

// The bar view makes and deletes six brushes a refresh; they come from here
// rather than from the heap, so a refresh allocates nothing. A program that
// holds more brushes at once than the pool has gets the rest from the heap.
constexpr int BRUSH_POOL_SIZE = 32;
BrushObject pooledBrushes[BRUSH_POOL_SIZE];
bool pooledBrushInUse[BRUSH_POOL_SIZE];

BrushObject stockBrushes[] = {
    {{GdiKind::Brush, true, 0, nullptr}, RGB(255, 255, 255), false},  // WHITE_BRUSH
    {{GdiKind::Brush, true, 0, nullptr}, RGB(192, 192, 192), false},  // LTGRAY_BRUSH
    {{GdiKind::Brush, true, 0, nullptr}, RGB(128, 128, 128), false},  // GRAY_BRUSH
    {{GdiKind::Brush, true, 0, nullptr}, RGB(64, 64, 64), false},     // DKGRAY_BRUSH
    {{GdiKind::Brush, true, 0, nullptr}, RGB(0, 0, 0), false},        // BLACK_BRUSH
    {{GdiKind::Brush, true, 0, nullptr}, 0, true},                    // NULL_BRUSH
};
PenObject stockPens[] = {
    {{GdiKind::Pen, true, 0, nullptr}, RGB(255, 255, 255), false},  // WHITE_PEN
    {{GdiKind::Pen, true, 0, nullptr}, RGB(0, 0, 0), false},        // BLACK_PEN
    {{GdiKind::Pen, true, 0, nullptr}, 0, true},                    // NULL_PEN
};
// Every stock font (SYSTEM_FONT, DEFAULT_GUI_FONT, ...) is the default face.
FontObject stockFont = {{GdiKind::TypeFace, true, 0, nullptr}, nullptr, false, false, {}, 100};
BitmapObject initialBitmap = {{GdiKind::Bitmap, true, 0, nullptr}, None, 1, 1, 1, 1};
void (*faceCloser)(XftFont* face) = nullptr;

constexpr int WHITE_BRUSH = 0, NULL_BRUSH = 5, WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8;
constexpr int OEM_FIXED_FONT = 10, DEFAULT_GUI_FONT = 17;

HGDIOBJ handleOf(int index, std::uint16_t generation) {
  return reinterpret_cast<HGDIOBJ>((static_cast<std::uintptr_t>(generation) << 16) |
                                   static_cast<std::uintptr_t>(index + 1));
}

// Generations start at 1, so every handle is above 0xFFFF and none can be
// taken for a system colour index plus one, which FillRect accepts as a brush.
bool addToTable(GdiObject* object) {
  for (int tried = 0; tried < SLOT_COUNT; ++tried) {
    const int index = (nextFreeGuess + tried) % SLOT_COUNT;
    if (slots[index].object) continue;
    if (slots[index].generation == 0) slots[index].generation = 1;
    slots[index].object = object;
    object->handle = handleOf(index, slots[index].generation);
    nextFreeGuess = index + 1;
    if (!object->stock) ++liveObjects;
    return true;
  }
  return false;
}

void removeFromTable(GdiObject* object) {
  const auto value = reinterpret_cast<std::uintptr_t>(object->handle);
  Slot& slot = slots[(value & 0xFFFF) - 1];
  slot.object = nullptr;
  if (++slot.generation == 0) slot.generation = 1;
  if (!object->stock) --liveObjects;
}

void followScale();

// Every drawing call comes through here first, so the scale is followed from
// the first DC or object on.
void registerStockObjects() {
  static bool done = false;
  if (done) return;
  done = true;
  x11OnScaleChange(followScale);
  for (BrushObject& brush : stockBrushes) addToTable(&brush.base);
  for (PenObject& pen : stockPens) addToTable(&pen.base);
  addToTable(&stockFont.base);
  addToTable(&initialBitmap.base);
}

GdiObject* findObject(HGDIOBJ handle) {
  registerStockObjects();
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  const std::uintptr_t index = (value & 0xFFFF) - 1;
  if ((value & 0xFFFF) == 0 || index >= SLOT_COUNT || (value >> 32) != 0) return nullptr;
  const Slot& slot = slots[index];
  return slot.object && slot.generation == (value >> 16) ? slot.object : nullptr;
}

void dropXftDraw(DcObject& dc) {
  // Once the connection is gone the server has freed everything already.
  if (dc.xftDraw && !x11ConnectionLost()) XftDrawDestroy(dc.xftDraw);
  dc.xftDraw = nullptr;
}

void select(DcObject& dc, GdiObject* object) {
  GdiObject*& slot = dc.selected[static_cast<int>(object->kind)];
  if (slot) --slot->selections;
  slot = object;
  ++object->selections;
}

void deselectAll(DcObject& dc) {
  for (GdiObject*& object : dc.selected) {
    if (object) --object->selections;
    object = nullptr;
  }
  dropXftDraw(dc);
}

void resetDc(DcObject& dc, DcKind kind, HWND window) {
  dc.dcKind = kind;
  dc.window = window;
  dc.textColour = RGB(0, 0, 0);
  dc.backgroundColour = RGB(255, 255, 255);
  dc.backgroundMode = OPAQUE;
  dc.xftDraw = nullptr;
  select(dc, &stockBrushes[WHITE_BRUSH].base);
  select(dc, &stockPens[BLACK_PEN - WHITE_PEN].base);
  select(dc, &stockFont.base);
  if (kind == DcKind::OfMemory) select(dc, &initialBitmap.base);
}

GC makeGc() {
  XGCValues values{};
  values.graphics_exposures = False;  // otherwise every BitBlt sends back a NoExpose event
  return XCreateGC(x11Display(), x11Root(), GCGraphicsExposures, &values);
}

void setWindowSurface(DcObject& dc, const WindowRecord& record) {
  const int frame = static_cast<int>(toScreen(frameWidth(record.frameStyle)));
  dc.drawable = hostXid(record);
  dc.originX = frame;
  dc.originY = frame;
  dc.width = static_cast<int>(toScreen(clientWidth(record)));
  dc.height = static_cast<int>(toScreen(clientHeight(record)));
}

void setScreenSurface(DcObject& dc) {
  Display* display = x11Display();
  dc.drawable = x11Root();
  dc.originX = dc.originY = 0;
  dc.width = DisplayWidth(display, DefaultScreen(display));
  dc.height = DisplayHeight(display, DefaultScreen(display));
}

void setBitmapSurface(DcObject& dc, const BitmapObject& bitmap) {
  dropXftDraw(dc);
  dc.drawable = bitmap.pixmap;
  dc.originX = dc.originY = 0;
  dc.width = bitmap.pixelWidth;
  dc.height = bitmap.pixelHeight;
}

DcObject* borrowDc() {
  for (int i = 0; i < POOL_SIZE; ++i) {
    if (borrowedInUse[i]) continue;
    DcObject& dc = borrowedDcs[i];
    dc.base = GdiObject{GdiKind::Dc, false, 0, nullptr};
    if (!addToTable(&dc.base)) return nullptr;
    if (!dc.gc) dc.gc = makeGc();
    dc.gcForeground = ~0ul;
    borrowedInUse[i] = true;
    return &dc;
  }
  return nullptr;
}

void returnDc(DcObject& dc) {
  deselectAll(dc);
  removeFromTable(&dc.base);
  borrowedInUse[&dc - borrowedDcs] = false;
}

bool isBorrowed(const DcObject& dc) { return &dc >= borrowedDcs && &dc < borrowedDcs + POOL_SIZE; }

BrushObject* makeBrush(const BrushObject& value) {
  for (int i = 0; i < BRUSH_POOL_SIZE; ++i) {
    if (pooledBrushInUse[i]) continue;
    pooledBrushInUse[i] = true;
    pooledBrushes[i] = value;
    return &pooledBrushes[i];
  }
  return new BrushObject(value);
}

void releaseBrush(BrushObject* brush) {
  if (brush >= pooledBrushes && brush < pooledBrushes + BRUSH_POOL_SIZE) {
    pooledBrushInUse[brush - pooledBrushes] = false;
  } else {
    delete brush;
  }
}

void makePixmap(BitmapObject& bitmap) {
  bitmap.pixelWidth = static_cast<int>(std::min(toScreen(bitmap.width), LARGEST_PIXMAP));
  bitmap.pixelHeight = static_cast<int>(std::min(toScreen(bitmap.height), LARGEST_PIXMAP));
  bitmap.pixmap =
      XCreatePixmap(x11Display(), x11Root(), static_cast<unsigned>(bitmap.pixelWidth),
                    static_cast<unsigned>(bitmap.pixelHeight), static_cast<unsigned>(x11Depth()));
}

template <typename Visit>
void forEachObject(GdiKind kind, Visit visit) {
  for (Slot& slot : slots) {
    if (slot.object && slot.object->kind == kind && !slot.object->stock) visit(slot.object);
  }
}

// The handles stay as they are; what they stand for is made again at the new
// size. What the bitmaps held is lost: their windows are painted again.
void followScale() {
  if (!x11Display() || x11ConnectionLost()) return;
  forEachObject(GdiKind::Bitmap, [](GdiObject* object) {
    auto* bitmap = reinterpret_cast<BitmapObject*>(object);
    XFreePixmap(x11Display(), bitmap->pixmap);
    makePixmap(*bitmap);
  });
  forEachObject(GdiKind::Dc, [](GdiObject* object) {
    auto* dc = reinterpret_cast<DcObject*>(object);
    if (dc->dcKind == DcKind::OfMemory) {
      setBitmapSurface(
          *dc, *reinterpret_cast<BitmapObject*>(dc->selected[static_cast<int>(GdiKind::Bitmap)]));
    } else if (const WindowRecord* record = dc->window ? findWindow(dc->window) : nullptr) {
      dropXftDraw(*dc);
      setWindowSurface(*dc, *record);
    }
  });
}

void freeObject(GdiObject* object) {
  removeFromTable(object);
  if (object->kind == GdiKind::Bitmap) {
    auto* bitmap = reinterpret_cast<BitmapObject*>(object);
    if (!x11ConnectionLost()) XFreePixmap(x11Display(), bitmap->pixmap);
    delete bitmap;
  } else if (object->kind == GdiKind::TypeFace) {
    auto* font = reinterpret_cast<FontObject*>(object);
    if (faceCloser) faceCloser(font->face);
    delete font;
  } else if (object->kind == GdiKind::Brush) {
    releaseBrush(reinterpret_cast<BrushObject*>(object));
  } else if (object->kind == GdiKind::Pen) {
    delete reinterpret_cast<PenObject*>(object);
  }
}

}  // namespace

void setFaceCloser(void (*close)(XftFont* face)) { faceCloser = close; }

bool registerGdiObject(GdiObject* object) {
  registerStockObjects();
  return addToTable(object);
}

const BrushObject* findBrush(HGDIOBJ handle) {
  GdiObject* object = findObject(handle);
  return object && object->kind == GdiKind::Brush ? reinterpret_cast<BrushObject*>(object)
                                                  : nullptr;
}

DcObject* findDc(HDC context) {
  GdiObject* object = findObject(reinterpret_cast<HGDIOBJ>(context));
  return object && object->kind == GdiKind::Dc ? reinterpret_cast<DcObject*>(object) : nullptr;
}

const BrushObject& selectedBrush(const DcObject& dc) {
  return *reinterpret_cast<const BrushObject*>(dc.selected[static_cast<int>(GdiKind::Brush)]);
}

const PenObject& selectedPen(const DcObject& dc) {
  return *reinterpret_cast<const PenObject*>(dc.selected[static_cast<int>(GdiKind::Pen)]);
}

XftDraw* surfaceXftDraw(DcObject& dc) {
  if (!dc.drawable) return nullptr;
  if (!dc.xftDraw) {
    dc.xftDraw = XftDrawCreate(x11Display(), dc.drawable, x11Visual(), x11Colormap());
    XRectangle clip = {static_cast<short>(dc.originX), static_cast<short>(dc.originY),
                       static_cast<unsigned short>(dc.width),
                       static_cast<unsigned short>(dc.height)};
    if (dc.xftDraw) XftDrawSetClipRectangles(dc.xftDraw, 0, 0, &clip, 1);
  }
  return dc.xftDraw;
}

HDC GetDC(HWND window) {
  const WindowRecord* record = window ? findWindow(window) : nullptr;
  if ((window && !record) || !x11Display()) return nullptr;
  registerStockObjects();
  DcObject* dc = borrowDc();
  if (!dc) return nullptr;
  resetDc(*dc, record ? DcKind::OfWindow : DcKind::OfScreen, window);
  if (record) {
    setWindowSurface(*dc, *record);
  } else {
    setScreenSurface(*dc);
  }
  return reinterpret_cast<HDC>(dc->base.handle);
}

int ReleaseDC(HWND, HDC context) {
  DcObject* dc = findDc(context);
  if (!dc || !isBorrowed(*dc)) return 0;
  returnDc(*dc);
  return 1;
}

HDC CreateCompatibleDC(HDC context) {
  if ((context && !findDc(context)) || !x11Display()) return nullptr;
  registerStockObjects();
  auto* dc = new DcObject{};
  dc->base = GdiObject{GdiKind::Dc, false, 0, nullptr};
  if (!addToTable(&dc->base)) {
    delete dc;
    return nullptr;
  }
  dc->gc = makeGc();
  dc->gcForeground = ~0ul;
  resetDc(*dc, DcKind::OfMemory, nullptr);
  setBitmapSurface(*dc, initialBitmap);
  return reinterpret_cast<HDC>(dc->base.handle);
}

HBITMAP CreateCompatibleBitmap(HDC context, int width, int height) {
  if (!findDc(context) || width < 0 || height < 0 || width > LARGEST_BITMAP ||
      height > LARGEST_BITMAP) {
    return nullptr;
  }
  // Windows answers an empty size with a 1 x 1 bitmap, which X also needs.
  if (width == 0 || height == 0) width = height = 1;
  auto* bitmap =
      new BitmapObject{{GdiKind::Bitmap, false, 0, nullptr}, None, width, height, width, height};
  if (!addToTable(&bitmap->base)) {
    delete bitmap;
    return nullptr;
  }
  makePixmap(*bitmap);
  return reinterpret_cast<HBITMAP>(bitmap->base.handle);
}

HGDIOBJ SelectObject(HDC context, HGDIOBJ object) {
  DcObject* dc = findDc(context);
  GdiObject* chosen = findObject(object);
  if (!dc || !chosen || chosen->kind == GdiKind::Dc) return nullptr;
  GdiObject* previous = dc->selected[static_cast<int>(chosen->kind)];
  if (chosen->kind == GdiKind::Bitmap) {
    // A bitmap lives in one memory DC at a time, and never in a window's.
    if (dc->dcKind != DcKind::OfMemory ||
        (chosen->selections > 0 && !chosen->stock && chosen != previous)) {
      return nullptr;
    }
    setBitmapSurface(*dc, *reinterpret_cast<BitmapObject*>(chosen));
  }
  select(*dc, chosen);
  return previous->handle;
}

BOOL DeleteDC(HDC context) {
  DcObject* dc = findDc(context);
  if (!dc) return FALSE;
  if (isBorrowed(*dc)) {
    returnDc(*dc);
    return TRUE;
  }
  deselectAll(*dc);
  if (!x11ConnectionLost()) XFreeGC(x11Display(), dc->gc);
  removeFromTable(&dc->base);
  delete dc;
  return TRUE;
}

BOOL DeleteObject(HGDIOBJ object) {
  GdiObject* found = findObject(object);
  if (!found || found->kind == GdiKind::Dc) return FALSE;
  if (found->stock) return TRUE;
  if (found->selections > 0) return FALSE;
  freeObject(found);
  return TRUE;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  BrushObject* brush =
      makeBrush(BrushObject{{GdiKind::Brush, false, 0, nullptr}, colour & 0x00FFFFFF, false});
  if (!registerGdiObject(&brush->base)) {
    releaseBrush(brush);
    return nullptr;
  }
  return reinterpret_cast<HBRUSH>(brush->base.handle);
}

HGDIOBJ GetStockObject(int object) {
  registerStockObjects();
  if (object >= WHITE_BRUSH && object <= NULL_BRUSH) return stockBrushes[object].base.handle;
  if (object >= WHITE_PEN && object <= NULL_PEN) return stockPens[object - WHITE_PEN].base.handle;
  if (object >= OEM_FIXED_FONT && object <= DEFAULT_GUI_FONT && object != 15) {
    return stockFont.base.handle;  // 15 is DEFAULT_PALETTE, not a font
  }
  return nullptr;
}

int liveGdiObjectCount() { return liveObjects; }

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  WindowRecord* record = findWindow(window);
  if (!record || !paint) return nullptr;
  *paint = PAINTSTRUCT{};
  paint->hdc = GetDC(window);
  paint->rcPaint = RECT{0, 0, clientWidth(*record), clientHeight(*record)};
  record->paintPending = false;
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint && paint->hdc) ReleaseDC(window, paint->hdc);
  return TRUE;
}
