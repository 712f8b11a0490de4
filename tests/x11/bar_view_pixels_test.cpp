// The memory bars as the core draws them through the Linux layer, read back
// pixel by pixel from a strip of the default size: exact colours, the rows
// and columns the layout gives them, and where the labels go. Memory figures
// come from a /proc/meminfo of the test's own.
#include <FL/Fl.H>

#include <cstring>
#include <string>

#include "app/app_state.h"
#include "display/bar_view.h"
#include "linux/fixture_tree.h"
#include "platform/linux/readings/reading_sources.h"
#include "settings/settings.h"
#include "x11_fixture.h"

namespace {

constexpr unsigned long RED = 0xFF0000, BLUE = 0x0000FF, GREEN = 0x008000, GREY = 0x7F7F7F,
                        BLACK = 0x000000, WHITE = 0xFFFFFF;
constexpr int WIDTH = 450, HEIGHT = 14;
constexpr int BAR_RIGHT = WIDTH - 1;  // half-open: the frame's right edge is the column before

unsigned long menuGrey() { return Fl::get_color(FL_GRAY) >> 8; }

int channel(unsigned long pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

class BarViewPixels : public X11Test {
 protected:
  void SetUp() override {
    X11Test::SetUp();
    ASSERT_TRUE(setProcRoot(proc.root.c_str()));
    app.monitorWindow = create(WS_POPUP | WS_VISIBLE, 0, 300, WIDTH, HEIGHT);
    pumpQueued();
    HDC screen = GetDC(nullptr);
    backBuffer.memoryDC = CreateCompatibleDC(screen);
    backBuffer.bitmap = CreateCompatibleBitmap(screen, WIDTH, HEIGHT);
    ReleaseDC(nullptr, screen);
    SelectObject(backBuffer.memoryDC, backBuffer.bitmap);
    LOGFONTA record{};
    record.lfHeight = -7;
    record.lfWeight = FW_NORMAL;
    std::strcpy(record.lfFaceName, "Courier New");
    DisplayFont = CreateFontIndirectA(&record);
    lastAvailPhys = lastAvailPageFile = 0;
    settings.memused = 1;
  }

  void TearDown() override {
    DeleteDC(backBuffer.memoryDC);
    DeleteObject(backBuffer.bitmap);
    DeleteObject(DisplayFont);
    backBuffer = BackBuffer{};
    DisplayFont = nullptr;
    app.monitorWindow = nullptr;
    setProcRoot(nullptr);
    X11Test::TearDown();
  }

  // Figures in kB, as the kernel writes them.
  void memory(unsigned long long total, unsigned long long available, unsigned long long swapTotal,
              unsigned long long swapFree) {
    proc.write("meminfo", "MemTotal: " + std::to_string(total) + " kB\nMemFree: 0 kB\n" +
                              "MemAvailable: " + std::to_string(available) + " kB\n" +
                              "SwapTotal: " + std::to_string(swapTotal) + " kB\n" +
                              "SwapFree: " + std::to_string(swapFree) + " kB\n");
  }

  static unsigned long at(int x, int y) { return pixelAt(backBuffer.memoryDC, x, y); }

  // Where the bars start: the width of "99%" in the display font, plus 3.
  static int barLeft() {
    HGDIOBJ previous = SelectObject(backBuffer.memoryDC, DisplayFont);
    SIZE cell{};
    GetTextExtentPoint32A(backBuffer.memoryDC, "99%", 3, &cell);
    SelectObject(backBuffer.memoryDC, previous);
    return cell.cx + 3;
  }

  static int fillRight(int percent) { return (BAR_RIGHT - barLeft()) * percent / 100 + barLeft(); }

  // White text blended into the red share: red stays full, green and blue rise together.
  static bool isWhiteOnRed(unsigned long pixel) {
    const int r = channel(pixel, 16), g = channel(pixel, 8), b = channel(pixel, 0);
    return r == 0xFF && g == b && g > 0x40;
  }

  // Ink of the percentage in the label area, by its dominant channel.
  static bool labelInkLeans(int top, int bottom, int shift) {
    bool found = false;
    for (int y = top; y < bottom; ++y) {
      for (int x = 1; x < barLeft() - 1; ++x) {
        const unsigned long pixel = at(x, y);
        if (pixel == menuGrey()) continue;
        const int lean = channel(pixel, shift) - (channel(pixel, 0) + channel(pixel, 8) +
                                                  channel(pixel, 16) - channel(pixel, shift)) /
                                                     2;
        found |= lean > 40;
      }
    }
    return found;
  }

  FixtureTree proc;
};

}  // namespace

TEST_F(BarViewPixels, TwoFramedBarsInExactColoursOnTheMenuGrey) {
  memory(10000000, 2400000, 10000000, 7600000);  // 76 % of memory used, 50 % of the paging file
  drawBarView(app.monitorWindow);
  // Rows and columns past the labels' reach, whose text cells overflow the bars.
  for (const int y : {0, 6, 7, 13}) {
    for (const int x : {200, 300, BAR_RIGHT}) EXPECT_EQ(at(x, y), menuGrey()) << x << "," << y;
  }
  for (int y = 0; y < HEIGHT; ++y) EXPECT_EQ(at(BAR_RIGHT, y), menuGrey()) << "the last column";
  for (const int y : {1, 5, 8, 12}) {
    EXPECT_EQ(at(BAR_RIGHT - 1, y), BLACK) << "frame corner, row " << y;
    EXPECT_EQ(at(400, y), BLACK) << "frame edge, row " << y;
  }
  for (const int y : {2, 3, 4, 9, 10, 11}) EXPECT_EQ(at(BAR_RIGHT - 1, y), BLACK);
  EXPECT_EQ(at(fillRight(76) - 6, 3), RED) << "76 % is red";
  EXPECT_EQ(at(fillRight(76) - 1, 3), BLACK) << "the share's outline";
  EXPECT_EQ(at(fillRight(76) + 6, 3), GREY);
  EXPECT_EQ(at(fillRight(50) - 6, 10), GREEN) << "50 % is green";
  EXPECT_EQ(at(fillRight(50) + 6, 10), GREY);

  EXPECT_TRUE(labelInkLeans(0, 7, 16)) << "a red percentage left of the upper bar";
  EXPECT_TRUE(labelInkLeans(7, 14, 8)) << "a green one left of the lower bar";
  for (int y = 0; y < HEIGHT; ++y) EXPECT_EQ(at(0, y), menuGrey()) << "labels start at column 1";
  const int left = barLeft();
  int inked = 0;
  for (int x = left + 1; x < left + 60; ++x) {
    for (int y = 2; y <= 4; ++y) inked += isWhiteOnRed(at(x, y));
  }
  EXPECT_GT(inked, 20) << "the amount, in white, over the share from the bar's left edge";

  HDC window = GetDC(app.monitorWindow);
  EXPECT_EQ(pixelAt(window, fillRight(76) - 6, 3), RED) << "copied to the window";
  EXPECT_EQ(pixelAt(window, 0, 0), menuGrey());
  ReleaseDC(app.monitorWindow, window);
}

TEST_F(BarViewPixels, SeventyFivePercentIsBlueAndAHundredFillsToTheFrame) {
  memory(1000000, 241000, 0, 0);  // 759,000 of 1,000,000 kB: 75 % after the scaling
  drawBarView(app.monitorWindow);
  EXPECT_EQ(at(fillRight(75) - 6, 3), BLUE);
  memory(1000000, 0, 0, 0);
  drawBarView(app.monitorWindow);
  EXPECT_EQ(at(BAR_RIGHT - 2, 3), RED) << "up to the frame";
  EXPECT_EQ(at(BAR_RIGHT - 1, 3), BLACK);
  EXPECT_EQ(at(BAR_RIGHT, 3), menuGrey());
}

TEST_F(BarViewPixels, FreeModeShowsWhatIsAvailableAndSameFiguresDrawNothing) {
  settings.memused = 0;
  memory(1000000, 800000, 0, 0);
  drawBarView(app.monitorWindow);
  EXPECT_EQ(at(fillRight(80) - 6, 3), RED) << "mostly free memory is drawn red";
  const RECT all{0, 0, WIDTH, HEIGHT};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(backBuffer.memoryDC, &all, white);
  drawBarView(app.monitorWindow);
  EXPECT_EQ(at(300, 3), WHITE) << "unchanged figures are not drawn again";
  memory(1000000, 700000, 0, 0);
  drawBarView(app.monitorWindow);
  EXPECT_EQ(at(fillRight(70) - 6, 3), BLUE);
  DeleteObject(white);
}
