// The dialog data and icon pixels the Linux layer reads, as generated from the
// resource tables. The expected values below are the dialogs as the program
// must show them, written out independently of the tables: a slip in the
// tables fails here as well as in the Windows exes.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "resources/app_icon.h"
#include "resources/dialog_templates.h"
#include "resources/resource_ids.h"

namespace {

constexpr int STATIC_ID = -1;
constexpr int ID_OK = 1;
constexpr int ID_CANCEL = 2;
constexpr DWORD DIALOG_STYLE = 0x80C800C4;  // popup, caption, system menu, modal frame, font, 3D
constexpr DWORD STYLE_TYPE_MASK = 0x1F;
constexpr DWORD SS_ICON_TYPE = 0x3;

struct ExpectedControl {
  int id;
  const char* className;
  const char* text;
  DWORD style;
  short x, y, width, height;
};

void expectControls(const DialogTemplate& dialog, const ExpectedControl* expected, int count) {
  ASSERT_EQ(dialog.controlCount, count);
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE("control " + std::to_string(i + 1));
    const DialogControl& control = dialog.controls[i];
    EXPECT_EQ(control.id, expected[i].id);
    EXPECT_STREQ(control.className, expected[i].className);
    EXPECT_STREQ(control.text, expected[i].text);
    EXPECT_EQ(control.style, expected[i].style);
    EXPECT_EQ(control.x, expected[i].x);
    EXPECT_EQ(control.y, expected[i].y);
    EXPECT_EQ(control.width, expected[i].width);
    EXPECT_EQ(control.height, expected[i].height);
  }
}

TEST(DialogTemplates, OnlySetupAndAboutExist) {
  EXPECT_NE(findDialogTemplate(IDD_SETUP), nullptr);
  EXPECT_NE(findDialogTemplate(IDD_ABOUT), nullptr);
  for (int id : {0, 1, IDI_APP, 102, 105, 106, IDC_REFRESH, 0xFFFF}) {
    EXPECT_EQ(findDialogTemplate(static_cast<WORD>(id)), nullptr) << id;
  }
}

TEST(DialogTemplates, SetupHasElevenControlsInTabOrder) {
  const DialogTemplate* setup = findDialogTemplate(IDD_SETUP);
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(setup->id, IDD_SETUP);
  EXPECT_STREQ(setup->caption, "Kivo Setup");
  EXPECT_EQ(setup->style, DIALOG_STYLE);
  EXPECT_EQ(setup->x, 0);
  EXPECT_EQ(setup->y, 0);
  EXPECT_EQ(setup->width, 176);
  EXPECT_EQ(setup->height, 90);
  EXPECT_STREQ(setup->fontFace, "MS Sans Serif");
  EXPECT_EQ(setup->pointSize, 8);
  const ExpectedControl expected[] = {
      {ID_OK, "BUTTON", "OK", 0x50010001, 35, 69, 50, 14},
      {ID_CANCEL, "BUTTON", "Cancel", 0x50010000, 91, 69, 50, 14},
      {STATIC_ID, "STATIC", "Refresh:", 0x50020000, 49, 52, 28, 10},
      {IDC_REFRESH, "EDIT", "", 0x50812000, 79, 50, 34, 12},
      {STATIC_ID, "BUTTON", "Show Memory", 0x50000007, 98, 3, 71, 43},
      {STATIC_ID, "STATIC", "ms", 0x50020000, 116, 52, 10, 8},
      {STATIC_ID, "BUTTON", "Views", 0x50000007, 7, 3, 84, 43},
      {IDC_PERFVIEW, "BUTTON", "Performance View", 0x50000009, 14, 16, 72, 10},
      {IDC_LEGACY, "BUTTON", "Legacy", 0x50000009, 14, 31, 50, 10},
      {IDC_USED, "BUTTON", "Used", 0x50030009, 116, 14, 30, 9},
      {IDC_FREE, "BUTTON", "Free", 0x50000009, 116, 31, 36, 9},
  };
  expectControls(*setup, expected, 11);
  for (int i = 0; i < setup->controlCount; ++i) {
    EXPECT_EQ(setup->controls[i].textResource, 0) << "control " << i + 1;
  }
}

TEST(DialogTemplates, AboutShowsTheIconAndTheTextsExactly) {
  const DialogTemplate* about = findDialogTemplate(IDD_ABOUT);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->id, IDD_ABOUT);
  EXPECT_STREQ(about->caption, "About Kivo");
  EXPECT_EQ(about->style, DIALOG_STYLE);
  EXPECT_EQ(about->width, 260);
  EXPECT_EQ(about->height, 209);
  EXPECT_STREQ(about->fontFace, "MS Sans Serif");
  EXPECT_EQ(about->pointSize, 8);
  ASSERT_EQ(about->controlCount, 11);

  const DialogControl& icon = about->controls[2];
  EXPECT_EQ(icon.style & STYLE_TYPE_MASK, SS_ICON_TYPE);
  EXPECT_EQ(icon.textResource, IDI_APP);
  EXPECT_STREQ(icon.className, "STATIC");
  EXPECT_STREQ(icon.text, "");
  EXPECT_EQ(icon.x, 116);
  EXPECT_EQ(icon.y, 30);
  for (int i = 0; i < about->controlCount; ++i) {
    if (i != 2) {
      EXPECT_EQ(about->controls[i].textResource, 0) << "control " << i + 1;
    }
  }

  const DialogControl& ok = about->controls[0];
  EXPECT_EQ(ok.id, ID_OK);
  EXPECT_EQ(ok.style, 0x50010001u);
  EXPECT_STREQ(about->controls[1].text, "Vizorar Edodezazazi Dedide");
  EXPECT_STREQ(about->controls[3].text, "Kivo Version 2.0");
  EXPECT_NE(std::string(about->controls[4].text).find("Copyright"), std::string::npos);
  EXPECT_STREQ(about->controls[5].text,
               "This software is a freeby, so enjoy!\n\nAfter all, you did receive it for FREE "
               ":-)");
  EXPECT_STREQ(about->controls[6].text, "");
  EXPECT_STREQ(about->controls[10].text,
               "The top bar shows the RAM, and the bottom bar shows Paging information.  If you "
               "double click in the window the caption bar will disappear.  The refresh rate is "
               "in milliseconds, so a value of 1000 means 1 second.");
  for (int line : {7, 8, 9}) {
    EXPECT_EQ(about->controls[line].style, 0x50000010u) << "control " << line + 1;
    EXPECT_EQ(about->controls[line].height, 1) << "control " << line + 1;
  }
  for (int i = 1; i < about->controlCount; ++i) {
    EXPECT_EQ(about->controls[i].id, STATIC_ID) << "control " << i + 1;
  }
}

TEST(AppIcon, HoldsThirtyTwoAndSixteenPixelImagesOnly) {
  for (int size : {32, 16}) {
    IconPixels icon = appIconPixels(size);
    EXPECT_EQ(icon.size, size);
    EXPECT_NE(icon.pixels, nullptr) << size;
  }
  for (int size : {0, 24, 48, 64, -1}) {
    EXPECT_EQ(appIconPixels(size).pixels, nullptr) << size;
  }
}

// A 16-colour image with a mask: every pixel is either fully transparent or an
// opaque colour of the standard palette, and both kinds occur.
TEST(AppIcon, PixelsAreOpaquePaletteColoursOrTransparent) {
  const std::set<std::uint32_t> palette = {
      0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
      0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  for (int size : {32, 16}) {
    IconPixels icon = appIconPixels(size);
    ASSERT_NE(icon.pixels, nullptr);
    int transparent = 0;
    int green = 0;
    for (int i = 0; i < size * size; ++i) {
      std::uint32_t pixel = icon.pixels[i];
      if (pixel == 0) {
        ++transparent;
        continue;
      }
      EXPECT_EQ(pixel >> 24, 0xFFu) << size << " pixel " << i;
      EXPECT_EQ(palette.count(pixel & 0xFFFFFF), 1u) << size << " pixel " << i;
      green += (pixel & 0xFFFFFF) == 0x00FF00 ? 1 : 0;
    }
    EXPECT_GT(transparent, 0) << size;
    EXPECT_LT(transparent, size * size / 2) << size;
    EXPECT_GT(green, 0) << size;
    EXPECT_EQ(icon.pixels[0], 0u) << "the top-left corner shows the background";
  }
}

}  // namespace
