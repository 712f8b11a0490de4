// Drawing objects as counted records; what reaches a context is logged.
#include <cstdio>
#include <cstring>

#include "fakes/fakes.h"

namespace fake {

namespace {

enum class Kind { context, bitmap, brush, font };

struct GdiObject {
  Kind kind;
  bool stock;
  int width = 0;
  int height = 0;
  LOGFONTA font{};
  COLORREF colour = 0;
};

struct FakeDC {
  bool memory;
  GdiObject* selected[4];
  COLORREF textColour = 0;
  int backgroundMode = OPAQUE;
};

// What a fresh context holds before anything is selected into it.
GdiObject defaultBitmap{Kind::bitmap, true};
GdiObject defaultBrush{Kind::brush, true};
GdiObject defaultFont{Kind::font, true};
GdiObject blackBrush{Kind::brush, true};

FakeDC* contextOf(HDC context) { return reinterpret_cast<FakeDC*>(context); }
GdiObject* objectOf(HGDIOBJ object) { return static_cast<GdiObject*>(object); }
HGDIOBJ handleOf(GdiObject* object) { return object; }

HDC newContext(bool memory) {
  auto* context = new FakeDC{memory, {nullptr, &defaultBitmap, &defaultBrush, &defaultFont}};
  return reinterpret_cast<HDC>(context);
}

int& liveCount(Kind kind) {
  switch (kind) {
    case Kind::bitmap:
      return gdi().liveBitmaps;
    case Kind::brush:
      return gdi().liveBrushes;
    case Kind::font:
      return gdi().liveFonts;
    default:
      return gdi().liveDCs;
  }
}

void note(const std::string& entry) { gdi().log.push_back(entry); }

std::string hexColour(COLORREF colour) {
  char text[16];
  std::snprintf(text, sizeof text, "%06lx", static_cast<unsigned long>(colour));
  return text;
}

std::string describe(const GdiObject* object) {
  if (object == &blackBrush) return "black";
  if (object == &defaultFont || object == nullptr) return "default";
  if (object->kind == Kind::font) return object->font.lfFaceName;
  if (object->kind == Kind::brush && !object->stock) return hexColour(object->colour);
  return "other";
}

// FillRect's brush may be a system colour index plus one.
std::string describeBrush(HBRUSH brush) {
  const auto value = reinterpret_cast<UINT_PTR>(brush);
  if (value != 0 && value <= 31) return "system=" + std::to_string(value - 1);
  return "brush=" + describe(objectOf(brush));
}

int noteRect(const char* operation, HDC context, const RECT* rect, HBRUSH brush) {
  if (context == nullptr || rect == nullptr || brush == nullptr) return 0;
  char entry[96];
  std::snprintf(entry, sizeof entry, "%s %ld,%ld,%ld,%ld ", operation,
                static_cast<long>(rect->left), static_cast<long>(rect->top),
                static_cast<long>(rect->right), static_cast<long>(rect->bottom));
  note(entry + describeBrush(brush));
  return 1;
}

// Characters are half the font's height plus one and a half wide (7 pixels at
// the default 11) and the cell two pixels taller than the font, so both
// limits of a fit move with the height. Height 0 is the default 11.
SIZE extentOf(const GdiObject* font, int length) {
  LONG height = font != nullptr && !font->stock ? font->font.lfHeight : -11;
  if (height == 0) height = -11;
  if (height < 0) height = -height;
  return SIZE{(height + 3) / 2 * length, height + 2};
}

}  // namespace

Gdi& gdi() {
  static Gdi state;
  return state;
}

void resetGdi() { gdi() = Gdi{}; }

FontDialog& fontDialog() {
  static FontDialog state;
  return state;
}

void resetFontDialog() { fontDialog() = FontDialog{}; }

}  // namespace fake

using fake::gdi;

HDC GetDC(HWND) {
  if (gdi().failWindowDC) return nullptr;
  ++gdi().borrowedDCs;
  return fake::newContext(false);
}

int ReleaseDC(HWND, HDC context) {
  if (context == nullptr) return 0;
  --gdi().borrowedDCs;
  delete fake::contextOf(context);
  return 1;
}

HDC CreateCompatibleDC(HDC) {
  ++gdi().liveDCs;
  return fake::newContext(true);
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  ++gdi().liveBitmaps;
  auto* bitmap = new fake::GdiObject{fake::Kind::bitmap, false, width, height};
  return reinterpret_cast<HBITMAP>(bitmap);
}

HGDIOBJ SelectObject(HDC context, HGDIOBJ object) {
  fake::GdiObject* selected = fake::objectOf(object);
  if (context == nullptr || selected == nullptr) return nullptr;
  auto& slot = fake::contextOf(context)->selected[static_cast<int>(selected->kind)];
  fake::GdiObject* previous = slot;
  slot = selected;
  return fake::handleOf(previous);
}

BOOL DeleteDC(HDC context) {
  if (context == nullptr) return FALSE;
  --gdi().liveDCs;
  delete fake::contextOf(context);
  return TRUE;
}

BOOL DeleteObject(HGDIOBJ object) {
  fake::GdiObject* deleted = fake::objectOf(object);
  if (deleted == nullptr) return FALSE;
  if (deleted->stock) return TRUE;
  --fake::liveCount(deleted->kind);
  delete deleted;
  return TRUE;
}

HGDIOBJ GetStockObject(int object) {
  return object == BLACK_BRUSH ? fake::handleOf(&fake::blackBrush) : nullptr;
}

BOOL Rectangle(HDC context, int left, int top, int right, int bottom) {
  if (context == nullptr) return FALSE;
  const fake::FakeDC* dc = fake::contextOf(context);
  char entry[96];
  std::snprintf(entry, sizeof entry, "Rectangle %d,%d,%d,%d brush=%s", left, top, right, bottom,
                fake::describe(dc->selected[static_cast<int>(fake::Kind::brush)]).c_str());
  fake::note(entry);
  return TRUE;
}

COLORREF SetTextColor(HDC context, COLORREF colour) {
  if (context == nullptr) return 0;
  const COLORREF previous = fake::contextOf(context)->textColour;
  fake::contextOf(context)->textColour = colour;
  return previous;
}

int SetBkMode(HDC context, int mode) {
  if (context == nullptr) return 0;
  const int previous = fake::contextOf(context)->backgroundMode;
  fake::contextOf(context)->backgroundMode = mode;
  return previous;
}

BOOL TextOutA(HDC context, int x, int y, LPCSTR text, int length) {
  if (context == nullptr) return FALSE;
  const fake::FakeDC* dc = fake::contextOf(context);
  char entry[320];
  std::snprintf(entry, sizeof entry, "TextOutA %d,%d colour=%06lx mode=%d font=%s \"%.*s\"", x, y,
                static_cast<unsigned long>(dc->textColour), dc->backgroundMode,
                fake::describe(dc->selected[static_cast<int>(fake::Kind::font)]).c_str(), length,
                text);
  fake::note(entry);
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC context, LPCSTR, int length, LPSIZE size) {
  if (context == nullptr) return FALSE;
  *size = fake::extentOf(fake::contextOf(context)->selected[static_cast<int>(fake::Kind::font)],
                         length);
  return TRUE;
}

BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD operation) {
  if (target == nullptr || source == nullptr) return FALSE;
  char entry[96];
  std::snprintf(entry, sizeof entry, "BitBlt %d,%d %dx%d from %d,%d op=%08lx", x, y, width, height,
                sourceX, sourceY, static_cast<unsigned long>(operation));
  fake::note(entry);
  return TRUE;
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  gdi().lastFont = *font;
  gdi().fontHeights.push_back(font->lfHeight);
  if (gdi().failFont) return nullptr;
  ++gdi().liveFonts;
  auto* made = new fake::GdiObject{fake::Kind::font, false};
  made->font = *font;
  return reinterpret_cast<HFONT>(made);
}

int FillRect(HDC context, const RECT* rect, HBRUSH brush) {
  return fake::noteRect("FillRect", context, rect, brush);
}

int FrameRect(HDC context, const RECT* rect, HBRUSH brush) {
  return fake::noteRect("FrameRect", context, rect, brush);
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  ++gdi().liveBrushes;
  auto* brush = new fake::GdiObject{fake::Kind::brush, false};
  brush->colour = colour;
  return reinterpret_cast<HBRUSH>(brush);
}

BOOL ChooseFontA(LPCHOOSEFONTA chooseFont) {
  fake::FontDialog& dialog = fake::fontDialog();
  ++dialog.opened;
  dialog.request = *chooseFont;
  dialog.openedOn = *chooseFont->lpLogFont;
  if (!dialog.confirm) return FALSE;
  *chooseFont->lpLogFont = dialog.choice;
  return TRUE;
}
