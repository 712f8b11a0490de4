// The font chooser as Select Font relies on it: the record is written on OK
// only, a family left alone keeps its Windows name, and the strip's timer
// keeps running while the chooser is open. Driven with xdotool; a chooser
// left open by a fault is closed by destroying its owner.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include <csignal>
#include <cstring>
#include <string>

#include "platform/linux/x11/termination.h"
#include "x11_fixture.h"

namespace {

constexpr UINT_PTR TICKER = 0x71C;
int ticks;
int ticksWhenAsked;

LOGFONTA courierNew(LONG height) {
  LOGFONTA font{};
  font.lfHeight = height;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = 1;  // fields the chooser does not own must pass through
  font.lfQuality = 4;
  font.lfPitchAndFamily = 0x31;
  std::strcpy(font.lfFaceName, "Courier New");
  return font;
}

int cellOf(const LOGFONTA& record) {
  HDC screen = GetDC(nullptr);
  HFONT font = CreateFontIndirectA(&record);
  HGDIOBJ previous = SelectObject(screen, font);
  SIZE cell{};
  GetTextExtentPoint32A(screen, "", 0, &cell);
  SelectObject(screen, previous);
  DeleteObject(font);
  ReleaseDC(nullptr, screen);
  return cell.cy;
}

void CALLBACK escapeOnThirdTick(HWND window, UINT, UINT_PTR id, DWORD) {
  if (++ticks < 3) return;
  KillTimer(window, id);
  ticksWhenAsked = ticks;
  X11Test::inBackground(
      "timeout 10 xdotool search --sync --onlyvisible --name '^Kivo Font$'; sleep 0.3; "
      "xdotool key Escape");
}

struct ChooserSeen {
  int width, height, sampleSize;
} chooserSeen;

void CALLBACK noteChooserSize(HWND, UINT, UINT_PTR, DWORD) {
  for (Fl_Window* window = Fl::first_window(); window; window = Fl::next_window(window)) {
    if (window->label() && std::strcmp(window->label(), "Kivo Font") == 0) {
      chooserSeen = ChooserSeen{window->w(), window->h(), window->child(4)->labelsize()};
    }
  }
}

void CALLBACK terminateOnThirdTick(HWND window, UINT, UINT_PTR id, DWORD) {
  if (++ticks < 3) return;
  KillTimer(window, id);
  std::raise(SIGTERM);
}

class FontChooserTest : public X11Test {
 protected:
  void SetUp() override {
    X11Test::SetUp();
    ticks = ticksWhenAsked = 0;
    owner_ = create(WS_POPUP | WS_BORDER | WS_VISIBLE, 100, 100, 450, 16);
    pumpQueued();
  }

  // Runs the chooser on `record`, with xdotool pressing `keys` once it shows.
  BOOL choose(LOGFONTA* record, const std::string& keys) {
    if (!keys.empty()) {
      inBackground(
          "timeout 10 xdotool search --sync --onlyvisible --name '^Kivo Font$'; sleep 0.3; "
          "xdotool key --delay 50 " +
          keys);
    }
    CHOOSEFONTA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpLogFont = record;
    dialog.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_NOSCRIPTSEL;
    static HWND watched;
    watched = owner_;
    Watchdog watchdog(xidOf(owner_), [] { PostMessageA(watched, WM_CLOSE, 0, 0); });
    const BOOL chosen = ChooseFontA(&dialog);
    pointSize_ = dialog.iPointSize;
    return chosen;
  }

  HWND owner_ = nullptr;
  int pointSize_ = 0;
};

}  // namespace

TEST_F(FontChooserTest, CancelWritesNothing) {
  const LOGFONTA before = courierNew(-11);
  LOGFONTA record = before;
  EXPECT_FALSE(choose(&record, "Tab Down Escape")) << "a changed style, then Escape";
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
  EXPECT_EQ(pointSize_, 0);
}

TEST_F(FontChooserTest, OkWithoutChangesKeepsTheWindowsFaceNameAndTheHeight) {
  LOGFONTA record = courierNew(-11);
  ASSERT_TRUE(choose(&record, "Return"));
  EXPECT_STREQ(record.lfFaceName, "Courier New") << "not its Liberation Mono stand-in";
  EXPECT_EQ(record.lfHeight, -11);
  EXPECT_EQ(record.lfWeight, FW_NORMAL);
  EXPECT_EQ(record.lfItalic, 0);
  EXPECT_EQ(record.lfCharSet, 1);
  EXPECT_EQ(record.lfQuality, 4);
  EXPECT_EQ(record.lfPitchAndFamily, 0x31);
  EXPECT_EQ(pointSize_, 83) << "8.25 points, in tenths";
}

TEST_F(FontChooserTest, ASizeLeftAloneKeepsTheRecordsHeightAndAChangedOneIsACharacterHeight) {
  for (const LONG height : {13, 20, -11}) {
    LOGFONTA record = courierNew(height);
    ASSERT_TRUE(choose(&record, "Return"));
    EXPECT_EQ(record.lfHeight, height);
  }
  LOGFONTA record = courierNew(20);
  const int drawnCell = cellOf(record);
  ASSERT_TRUE(choose(&record, "Tab Tab End BackSpace BackSpace BackSpace 3 0 Return"))
      << "a size typed into the size field";
  EXPECT_LT(record.lfHeight, 0) << "a character height, as the chooser measures";
  EXPECT_NE(cellOf(record), drawnCell);
}

TEST_F(FontChooserTest, ChoosingBoldWritesWeight700AndAnotherFamilyItsName) {
  LOGFONTA record = courierNew(-11);
  ASSERT_TRUE(choose(&record, "Tab Down Return")) << "from the families to the styles";
  EXPECT_EQ(record.lfWeight, FW_BOLD);
  EXPECT_EQ(record.lfItalic, 0);
  EXPECT_STREQ(record.lfFaceName, "Courier New");

  record = courierNew(-11);
  ASSERT_TRUE(choose(&record, "Up Return")) << "the family listed before Liberation Mono";
  EXPECT_STRNE(record.lfFaceName, "Courier New");
  EXPECT_NE(record.lfFaceName[0], '\0');
  EXPECT_EQ(record.lfHeight, -11);
}

TEST_F(FontChooserTest, TheOwnersTimerKeepsFiringWhileItIsOpen) {
  SetTimer(owner_, TICKER, 20, escapeOnThirdTick);
  LOGFONTA record = courierNew(-11);
  EXPECT_FALSE(choose(&record, ""));
  EXPECT_EQ(ticksWhenAsked, 3) << "the third tick closed it, not the watchdog";
  EXPECT_NE(xidOf(owner_), 0u) << "the owner is still there";
}

TEST_F(FontChooserTest, ATerminationSignalClosesTheOwnerAndWithItTheChooser) {
  installTerminationHandlers();
  SetTimer(owner_, TICKER, 20, terminateOnThirdTick);
  LOGFONTA record = courierNew(-11);
  const LOGFONTA before = record;
  received.clear();
  EXPECT_FALSE(choose(&record, ""));
  EXPECT_FALSE(receivedOf(owner_, WM_DESTROY).empty());
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST_F(FontChooserTest, ABadRecordOrADeadOwnerOpensNothing) {
  LOGFONTA record = courierNew(-11);
  CHOOSEFONTA dialog{};
  dialog.lStructSize = sizeof dialog - 1;
  dialog.lpLogFont = &record;
  EXPECT_FALSE(ChooseFontA(&dialog));
  dialog.lStructSize = sizeof dialog;
  dialog.lpLogFont = nullptr;
  EXPECT_FALSE(ChooseFontA(&dialog));
  dialog.lpLogFont = &record;
  dialog.hwndOwner = reinterpret_cast<HWND>(0x4);
  EXPECT_FALSE(ChooseFontA(&dialog));
  EXPECT_FALSE(ChooseFontA(nullptr));
}

TEST_F(FontChooserTest, AtTwiceTheScaleItIsTwiceAsLargeAndTheSizeStaysInUnits) {
  setXftDpi(192);
  chooserSeen = ChooserSeen{};
  SetTimer(owner_, TICKER, 20, noteChooserSize);
  LOGFONTA record = courierNew(-20);
  ASSERT_TRUE(choose(&record, "Return"));
  EXPECT_EQ(chooserSeen.width, 920);
  EXPECT_EQ(chooserSeen.height, 660);
  EXPECT_EQ(chooserSeen.sampleSize, 40) << "the sample at the size the strip draws it";
  EXPECT_EQ(record.lfHeight, -20);
  EXPECT_EQ(pointSize_, 150) << "15 points, in tenths";
}
