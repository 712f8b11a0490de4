// Drawing as the views rely on it: exact fills, text placement and copies,
// and handles that cannot be misused or leaked.
#include <FL/Fl.H>

#include <cstring>
#include <utility>

// The test framework comes before Xft's headers, whose macros it would trip on.
#include "x11_fixture.h"

#include "platform/linux/drawing/gdi_fonts.h"
#include "platform/linux/x11/display_scale.h"

int liveGdiObjectCount();

namespace {

constexpr unsigned long BLACK = 0x000000, WHITE = 0xFFFFFF;

LOGFONTA courierNew(LONG height) {
  LOGFONTA font{};
  font.lfHeight = height;
  font.lfWeight = FW_NORMAL;
  std::strcpy(font.lfFaceName, "Courier New");
  return font;
}

// A memory DC holding a white bitmap of the given size, as the back buffer is made.
struct Surface {
  HDC dc;
  HBITMAP bitmap;
  Surface(int width, int height) {
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, width, height);
    SelectObject(dc, bitmap);
    ReleaseDC(nullptr, screen);
    SelectObject(dc, GetStockObject(WHITE_BRUSH_INDEX));
    SelectObject(dc, GetStockObject(NULL_PEN_INDEX));
    Rectangle(dc, 0, 0, width + 1, height + 1);
    SelectObject(dc, GetStockObject(BLACK_PEN_INDEX));
  }
  ~Surface() {
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  static constexpr int WHITE_BRUSH_INDEX = 0, NULL_PEN_INDEX = 8, BLACK_PEN_INDEX = 7;
};

}  // namespace

TEST_F(X11Test, RectangleFillsWithTheBrushInsideAOnePixelPenRightAndBottomOutside) {
  Surface surface(20, 10);
  const int GRAY_BRUSH_INDEX = 2;
  SelectObject(surface.dc, GetStockObject(GRAY_BRUSH_INDEX));
  Rectangle(surface.dc, 2, 2, 12, 8);
  EXPECT_EQ(pixelAt(surface.dc, 2, 2), BLACK) << "the pen's corner";
  EXPECT_EQ(pixelAt(surface.dc, 11, 7), BLACK) << "the pen's far corner";
  EXPECT_EQ(pixelAt(surface.dc, 3, 3), 0x808080u) << "exactly the brush's grey";
  EXPECT_EQ(pixelAt(surface.dc, 10, 6), 0x808080u);
  EXPECT_EQ(pixelAt(surface.dc, 12, 5), WHITE) << "the right edge is outside";
  EXPECT_EQ(pixelAt(surface.dc, 6, 8), WHITE) << "the bottom edge is outside";
  EXPECT_EQ(pixelAt(surface.dc, 1, 1), WHITE);
}

TEST_F(X11Test, TransparentTextStartsAtItsCellAndLeavesTheBackgroundAlone) {
  Surface surface(100, 20);
  const LOGFONTA record = courierNew(-11);
  HFONT font = CreateFontIndirectA(&record);
  ASSERT_NE(font, nullptr);
  HGDIOBJ previous = SelectObject(surface.dc, font);
  SetTextColor(surface.dc, RGB(0, 255, 0));
  SetBkMode(surface.dc, TRANSPARENT);
  SIZE extent{};
  ASSERT_TRUE(GetTextExtentPoint32A(surface.dc, "8888", 4, &extent));
  EXPECT_EQ(extent.cx, 28) << "Courier New at 11 pixels advances 7 per character";
  EXPECT_GE(extent.cy, 11);
  EXPECT_LE(extent.cy, 14);
  TextOutA(surface.dc, 10, 3, "8888", 4);
  int inked = 0, outside = 0, foreign = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 100; ++x) {
      const unsigned long pixel = pixelAt(surface.dc, x, y);
      if (pixel == WHITE) continue;
      const bool inCells = x >= 10 && x < 10 + extent.cx && y >= 3 && y < 3 + extent.cy;
      inked += inCells;
      outside += !inCells;
      // Blended edges mix green into white: red and blue fall together, green stays full.
      foreign += ((pixel >> 8) & 0xFF) != 0xFF || ((pixel >> 16) & 0xFF) != (pixel & 0xFF);
    }
  }
  EXPECT_GT(inked, 20);
  EXPECT_EQ(outside, 0) << "ink outside the text's cells";
  EXPECT_EQ(foreign, 0) << "ink that is not green over white";
  SelectObject(surface.dc, previous);
  EXPECT_TRUE(DeleteObject(font));
}

TEST_F(X11Test, PositiveHeightsAskForTheCellAndNegativeOnesForTheCharacter) {
  Surface surface(10, 10);
  for (const LONG height : {7, 12, 13, 20, 40}) {
    LOGFONTA record = courierNew(height);
    HFONT font = CreateFontIndirectA(&record);
    SelectObject(surface.dc, font);
    SIZE extent{};
    GetTextExtentPoint32A(surface.dc, "", 0, &extent);
    EXPECT_EQ(extent.cx, 0);
    EXPECT_EQ(extent.cy, height) << "cell height " << height;
    SelectObject(surface.dc, GetStockObject(17));
    DeleteObject(font);
  }
}

TEST_F(X11Test, BitBltCopiesExactlyAndClipsToBothSurfaces) {
  Surface from(8, 8), to(8, 8);
  SelectObject(from.dc, GetStockObject(BLACK_BRUSH));
  Rectangle(from.dc, 0, 0, 4, 4);
  EXPECT_TRUE(BitBlt(to.dc, 2, 2, 100, 100, from.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(pixelAt(to.dc, 1, 1), WHITE);
  EXPECT_EQ(pixelAt(to.dc, 2, 2), BLACK);
  EXPECT_EQ(pixelAt(to.dc, 5, 5), BLACK);
  EXPECT_EQ(pixelAt(to.dc, 6, 6), WHITE);
  EXPECT_TRUE(BitBlt(to.dc, -3, -3, 8, 8, from.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(pixelAt(to.dc, 0, 0), BLACK);
  EXPECT_FALSE(BitBlt(to.dc, 0, 0, 8, 8, from.dc, 0, 0, 0x00660046)) << "only the plain copy";
}

TEST_F(X11Test, AWindowDcDrawsInsideTheFrameOnly) {
  HWND window = create(WS_POPUP | WS_BORDER | WS_VISIBLE, 200, 200, 40, 12);
  pumpQueued();
  Surface frame(40, 12);
  SelectObject(frame.dc, GetStockObject(BLACK_BRUSH));
  HDC dc = GetDC(window);
  SelectObject(dc, GetStockObject(Surface::WHITE_BRUSH_INDEX));
  SelectObject(dc, GetStockObject(Surface::NULL_PEN_INDEX));
  Rectangle(dc, -5, -5, 100, 100);
  EXPECT_EQ(pixelAt(dc, 0, 0), WHITE);
  ReleaseDC(window, dc);
  XImage* image = XGetImage(fl_display, xidOf(window), 0, 0, 1, 1, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(XGetPixel(image, 0, 0) & 0xFFFFFF, BLACK) << "the border stays";
  XDestroyImage(image);
}

TEST_F(X11Test, HandlesAreCheckedAndNothingLeaksAcrossResizes) {
  const int before = liveGdiObjectCount();
  for (int round = 0; round < 50; ++round) {
    Surface surface(100 + round, 14);
    LOGFONTA record = courierNew(-11 - round % 5);
    HFONT font = CreateFontIndirectA(&record);
    SelectObject(surface.dc, font);
    EXPECT_FALSE(DeleteObject(font)) << "a selected font cannot be deleted";
    SelectObject(surface.dc, GetStockObject(17));
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_FALSE(DeleteObject(font)) << "a deleted handle is refused";
  }
  EXPECT_EQ(liveGdiObjectCount(), before);
  EXPECT_EQ(SelectObject(nullptr, GetStockObject(BLACK_BRUSH)), nullptr);
  EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(0x12345678), GetStockObject(BLACK_BRUSH)), nullptr);
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH))) << "stock objects ignore deletion";
  EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
}

TEST_F(X11Test, TextInABrokenOrMissingFontStillDraws) {
  Surface surface(60, 16);
  LOGFONTA odd = courierNew(-11);
  std::memset(odd.lfFaceName, 'Z', sizeof odd.lfFaceName);  // no terminator, no such face
  odd.lfHeight = -2000000000;
  HFONT font = CreateFontIndirectA(&odd);
  ASSERT_NE(font, nullptr);
  SelectObject(surface.dc, font);
  SIZE extent{};
  EXPECT_TRUE(GetTextExtentPoint32A(surface.dc, "12", 2, &extent));
  EXPECT_TRUE(TextOutA(surface.dc, 0, 0, "12", 2));
  SelectObject(surface.dc, GetStockObject(17));
  DeleteObject(font);
  EXPECT_EQ(SelectObject(surface.dc, nullptr), nullptr) << "a null font changes nothing";
  EXPECT_TRUE(TextOutA(surface.dc, 0, 0, "12", 2));
}

TEST_F(X11Test, UnderlineAndStrikeOutAreSolidLinesInTheTextColour) {
  Surface surface(60, 20);
  SetTextColor(surface.dc, RGB(0, 255, 0));
  SetBkMode(surface.dc, TRANSPARENT);
  LOGFONTA record = courierNew(-11);
  record.lfUnderline = 1;
  record.lfStrikeOut = 1;
  HFONT font = CreateFontIndirectA(&record);
  SelectObject(surface.dc, font);
  TextOutA(surface.dc, 0, 0, "__ __", 5);
  SIZE extent{};
  GetTextExtentPoint32A(surface.dc, "__ __", 5, &extent);
  // The blank between the underscores has only the lines in it.
  int lineRows = 0;
  for (int y = 0; y < extent.cy + 2; ++y) lineRows += pixelAt(surface.dc, 17, y) == 0x00FF00u;
  EXPECT_GE(lineRows, 2) << "an underline and a strike-out across the blank";
  SelectObject(surface.dc, GetStockObject(17));
  DeleteObject(font);
}

TEST_F(X11Test, FillRectTakesABrushOrAMenuColourAndFrameRectStaysInside) {
  Surface surface(20, 14);
  HBRUSH green = CreateSolidBrush(RGB(10, 200, 30));
  const RECT fill{2, 2, 8, 6};
  EXPECT_NE(FillRect(surface.dc, &fill, green), 0);
  EXPECT_EQ(pixelAt(surface.dc, 2, 2), 0x0AC81Eu) << "exactly the brush's colour";
  EXPECT_EQ(pixelAt(surface.dc, 7, 5), 0x0AC81Eu);
  EXPECT_EQ(pixelAt(surface.dc, 8, 5), WHITE) << "the right edge is outside";
  EXPECT_EQ(pixelAt(surface.dc, 7, 6), WHITE) << "the bottom edge is outside";
  const RECT inverted{15, 8, 12, 4};
  EXPECT_NE(FillRect(surface.dc, &inverted, green), 0);
  EXPECT_EQ(pixelAt(surface.dc, 12, 4), 0x0AC81Eu) << "corners given in reverse still fill";
  EXPECT_EQ(pixelAt(surface.dc, 15, 7), WHITE);

  // Index 4 + 1 is also where a stock brush would sit among small handles.
  const RECT strip{0, 12, 20, 14};
  EXPECT_NE(FillRect(surface.dc, &strip, reinterpret_cast<HBRUSH>(COLOR_MENU + 1)), 0);
  EXPECT_EQ(pixelAt(surface.dc, 0, 13), Fl::get_color(FL_GRAY) >> 8) << "the menu's own grey";
  EXPECT_EQ(FillRect(surface.dc, &strip, reinterpret_cast<HBRUSH>(31 + 1)), 0);

  HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
  const RECT frame{10, 1, 18, 11};
  EXPECT_NE(FrameRect(surface.dc, &frame, black), 0);
  for (const auto& [x, y] : {std::pair{10, 1}, {17, 1}, {10, 10}, {17, 10}, {13, 1}, {10, 5}}) {
    EXPECT_EQ(pixelAt(surface.dc, x, y), BLACK) << x << "," << y;
  }
  EXPECT_EQ(pixelAt(surface.dc, 11, 2), WHITE) << "the inside is left alone";
  EXPECT_EQ(pixelAt(surface.dc, 18, 5), WHITE);
  EXPECT_EQ(pixelAt(surface.dc, 13, 11), WHITE);
  const RECT empty{5, 5, 5, 9};
  EXPECT_EQ(FrameRect(surface.dc, &empty, black), 0);
  EXPECT_EQ(FrameRect(surface.dc, &frame, reinterpret_cast<HBRUSH>(COLOR_MENU + 1)), 0)
      << "only FillRect takes a system colour";
  DeleteObject(green);
  DeleteObject(black);
}

TEST_F(X11Test, SolidBrushesAreCountedUntilDeletedAndRefusedAfter) {
  Surface surface(4, 4);
  const int before = liveGdiObjectCount();
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_NE(brush, nullptr);
  EXPECT_EQ(liveGdiObjectCount(), before + 1);
  HGDIOBJ previous = SelectObject(surface.dc, brush);
  EXPECT_FALSE(DeleteObject(brush)) << "a selected brush cannot be deleted";
  Rectangle(surface.dc, 0, 0, 3, 3);
  EXPECT_EQ(pixelAt(surface.dc, 1, 1), 0x010203u) << "the brush fills shapes too";
  SelectObject(surface.dc, previous);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(liveGdiObjectCount(), before);
  const RECT all{0, 0, 4, 4};
  EXPECT_EQ(FillRect(surface.dc, &all, brush), 0) << "a deleted brush is refused";
  EXPECT_EQ(pixelAt(surface.dc, 3, 3), WHITE);
  EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(COLOR_MENU + 1)))
      << "no object is that small";
}

// Brushes are kept in a small pool and taken from the heap beyond it; the bar
// view makes and deletes six a refresh, so their room is reused all the time.
TEST_F(X11Test, BrushesBeyondThePoolAndBrushesInReusedRoomKeepTheirOwnColours) {
  constexpr int BRUSHES = 40;
  Surface surface(BRUSHES, 2);
  const int before = liveGdiObjectCount();
  HBRUSH brushes[BRUSHES];
  for (int i = 0; i < BRUSHES; ++i) {
    brushes[i] = CreateSolidBrush(RGB(i, 100, 200));
    ASSERT_NE(brushes[i], nullptr) << i;
  }
  EXPECT_EQ(liveGdiObjectCount(), before + BRUSHES);
  for (int i = 0; i < BRUSHES; ++i) {
    const RECT pixel{i, 0, i + 1, 1};
    EXPECT_NE(FillRect(surface.dc, &pixel, brushes[i]), 0);
  }
  for (int i = 0; i < BRUSHES; ++i) {
    EXPECT_EQ(pixelAt(surface.dc, i, 0), static_cast<unsigned long>(i << 16 | 100 << 8 | 200)) << i;
    EXPECT_TRUE(DeleteObject(brushes[i]));
  }
  EXPECT_EQ(liveGdiObjectCount(), before);

  HBRUSH first = CreateSolidBrush(RGB(1, 1, 1));
  ASSERT_TRUE(DeleteObject(first));
  HBRUSH second = CreateSolidBrush(RGB(2, 2, 2));
  const RECT pixel{0, 1, 1, 2};
  EXPECT_EQ(FillRect(surface.dc, &pixel, first), 0) << "a deleted brush stays refused";
  EXPECT_NE(FillRect(surface.dc, &pixel, second), 0);
  EXPECT_EQ(pixelAt(surface.dc, 0, 1), 0x020202u);
  DeleteObject(second);
}

// Windows scales a program that works in 96-dpi units: the same calls, more pixels.
TEST_F(X11Test, AtAScaleFillsMeetByTheirEdgesAndThePenIsOneUnitThick) {
  for (const int dpi : {192, 144}) {
    setXftDpi(dpi);
    const auto px = [](long units) { return static_cast<int>(toScreen(units)); };
    Surface columns(12, 6);
    const int GRAY_BRUSH_INDEX = 2;
    for (int x = 1; x < 11; ++x) {  // black and grey by turns, one unit wide
      const RECT column{x, 1, x + 1, 5};
      FillRect(columns.dc, &column,
               static_cast<HBRUSH>(GetStockObject(x % 2 ? BLACK_BRUSH : GRAY_BRUSH_INDEX)));
    }
    for (int x = 1; x < 11; ++x) {
      for (int pixel = px(x); pixel < px(x + 1); ++pixel) {
        EXPECT_EQ(pixelAt(columns.dc, pixel, px(1)), x % 2 ? BLACK : 0x808080u)
            << "pixel " << pixel << " of unit " << x << " at " << dpi << " dpi";
      }
    }
    EXPECT_EQ(pixelAt(columns.dc, px(1) - 1, px(2)), WHITE);
    EXPECT_EQ(pixelAt(columns.dc, px(11), px(2)), WHITE);
    EXPECT_EQ(pixelAt(columns.dc, px(1), px(5) - 1), BLACK);
    EXPECT_EQ(pixelAt(columns.dc, px(1), px(5)), WHITE);

    Surface frame(10, 10);
    SelectObject(frame.dc, GetStockObject(GRAY_BRUSH_INDEX));
    Rectangle(frame.dc, 1, 1, 9, 9);
    const int line = px(1), middle = px(5);
    EXPECT_EQ(pixelAt(frame.dc, px(1) + line - 1, middle), BLACK) << "the pen, one unit thick";
    EXPECT_EQ(pixelAt(frame.dc, px(1) + line, middle), 0x808080u);
    EXPECT_EQ(pixelAt(frame.dc, px(9) - line, middle), BLACK);
    EXPECT_EQ(pixelAt(frame.dc, px(9) - line - 1, middle), 0x808080u);
    EXPECT_EQ(pixelAt(frame.dc, px(9), middle), WHITE);
  }
}

TEST_F(X11Test, TextIsDrawnTwiceAsTallAtTwiceTheScaleAndMeasuresTheSameInUnits) {
  struct Drawn {
    SIZE extent;
    int inkedRows;
  };
  const auto draw = [] {
    Surface surface(40, 16);
    const LOGFONTA record = courierNew(-10);
    HFONT font = CreateFontIndirectA(&record);
    HGDIOBJ previous = SelectObject(surface.dc, font);
    Drawn drawn{};
    GetTextExtentPoint32A(surface.dc, "Kivo", 4, &drawn.extent);
    SetBkMode(surface.dc, TRANSPARENT);
    TextOutA(surface.dc, 2, 2, "Kivo", 4);
    for (int y = 0; y < toScreen(16); ++y) {
      bool inked = false;
      for (int x = 0; x < toScreen(40) && !inked; ++x) inked = pixelAt(surface.dc, x, y) != WHITE;
      drawn.inkedRows += inked;
    }
    SelectObject(surface.dc, previous);
    DeleteObject(font);
    return drawn;
  };
  const Drawn single = draw();
  setXftDpi(192);
  const Drawn twice = draw();
  EXPECT_NEAR(twice.extent.cx, single.extent.cx, 1);
  EXPECT_NEAR(twice.extent.cy, single.extent.cy, 1);
  EXPECT_GE(twice.inkedRows * 10, single.inkedRows * 17) << "drawn at the size, not stretched";
  EXPECT_LE(twice.inkedRows * 10, single.inkedRows * 23);
}

TEST_F(X11Test, AChangeOfScaleRemakesBitmapsAndReopensFacesBehindTheSameHandles) {
  create(WS_POPUP | WS_VISIBLE, 10, 10, 40, 12);  // the loop turns on a window's timer
  pumpQueued();
  Surface surface(30, 10);
  const LOGFONTA record = courierNew(-10);
  HFONT font = CreateFontIndirectA(&record);
  SelectObject(surface.dc, font);
  const int faceHeight = selectedFace(*findDc(surface.dc))->height;
  const int objects = liveGdiObjectCount();
  setXftDpi(192, false);
  ASSERT_TRUE(pumpUntil([] { return x11ScalePercent() == 200; }));
  EXPECT_EQ(liveGdiObjectCount(), objects);
  const RECT corner{29, 9, 30, 10};
  EXPECT_EQ(FillRect(surface.dc, &corner, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 1);
  EXPECT_EQ(pixelAt(surface.dc, 59, 19), BLACK) << "the bitmap is 60 x 20 pixels now";
  EXPECT_NEAR(selectedFace(*findDc(surface.dc))->height, 2 * faceHeight, 2);
  SelectObject(surface.dc, GetStockObject(17));
  EXPECT_TRUE(DeleteObject(font));
}
