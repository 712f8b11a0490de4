#include "settings/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "settings/settings_store.h"

namespace {

const std::string KEY = "Software\\Falvane\\Kivo\\2.0";

std::vector<BYTE> bytesOf(const void* data, std::size_t size) {
  const auto* first = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(first, first + size);
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::resetRegistry();
    fake::resetDesktop();
    window = fake::makeWindow({443, -2, 893, 12});
    settings = Settings{};
    startupValues = StartupValues{};
  }
  void TearDown() override { EXPECT_EQ(fake::registry().liveKeys, 0) << "a key was left open"; }

  static LONG storedDword(const std::string& name) {
    const auto& value = fake::registry().keys.at(KEY).at(name);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value.bytes.size(), 4u);
    LONG result = 0;
    std::memcpy(&result, value.bytes.data(), 4);
    return result;
  }
  static bool stored(const std::string& name) {
    return fake::registry().keys.count(KEY) != 0 && fake::registry().keys.at(KEY).count(name) != 0;
  }
  static void expectDefaultDwords() {
    EXPECT_EQ(settings.x, 443);
    EXPECT_EQ(settings.y, -2);
    EXPECT_EQ(settings.width, 450);
    EXPECT_EQ(settings.height, 14);
    EXPECT_EQ(settings.top, 0);
    EXPECT_EQ(settings.refresh, 1000);
    EXPECT_EQ(settings.memused, 1);
    EXPECT_EQ(settings.caption, 0x80000000u);
  }
  static inline HWND window = nullptr;

  // A run: load, let the start-up z-order step make the window topmost
  // unless it was at the bottom, then close.
  static void runWithoutChanges() {
    loadSettings();
    if (settings.top != 1) settings.top = -1;
    saveSettings(window);
  }
};

TEST_F(SettingsTest, FirstRunTakesEveryDefault) {
  loadSettings();
  EXPECT_EQ(keyPath, KEY);
  expectDefaultDwords();
  EXPECT_EQ(settings.view, 0);
  EXPECT_EQ(settings.font.lfHeight, -11);
  EXPECT_EQ(settings.font.lfWeight, FW_NORMAL);
  EXPECT_STREQ(settings.font.lfFaceName, "Courier New");
  LOGFONTA expectedFont{};
  expectedFont.lfHeight = -11;
  expectedFont.lfWeight = FW_NORMAL;
  std::strcpy(expectedFont.lfFaceName, "Courier New");
  EXPECT_EQ(std::memcmp(&settings.font, &expectedFont, sizeof expectedFont), 0);
  EXPECT_EQ(startupValues.top, 0);
  EXPECT_EQ(startupValues.refresh, 1000);
  EXPECT_EQ(startupValues.memused, 1);
  EXPECT_EQ(startupValues.caption, 0x80000000u);
  EXPECT_EQ(startupValues.view, 0);
}

TEST_F(SettingsTest, FirstCloseWritesGeometryTopAndFontOnly) {
  SetWindowPos(window, nullptr, 100, -2, 450, 14, SWP_NOZORDER);
  runWithoutChanges();
  const std::vector<std::string> expected = {"x", "y", "width", "height", "top", "font"};
  EXPECT_EQ(fake::valuesWritten(), expected);
  EXPECT_EQ(storedDword("x"), 100);
  EXPECT_EQ(storedDword("y"), -2);
  EXPECT_EQ(storedDword("width"), 450);
  EXPECT_EQ(storedDword("height"), 14);
  EXPECT_EQ(storedDword("top"), -1);
  EXPECT_EQ(fake::registry().keys.at(KEY).at("font").bytes.size(), 60u);
}

TEST_F(SettingsTest, SecondRunWithoutChangesRewritesOnlyGeometryAndFont) {
  runWithoutChanges();
  fake::registry().log.clear();
  runWithoutChanges();
  const std::vector<std::string> expected = {"x", "y", "width", "height", "font"};
  EXPECT_EQ(fake::valuesWritten(), expected);
}

TEST_F(SettingsTest, ChangedValuesAreWrittenInOrderAndOnlyWhenTheyDiffer) {
  loadSettings();
  settings.top = 0;
  settings.refresh = 500;
  settings.memused = 0;
  settings.caption = 0x80800000u;
  settings.view = 1;
  saveSettings(window);
  const std::vector<std::string> expected = {"x",       "y",       "width", "height", "refresh",
                                             "memused", "caption", "view",  "font"};
  EXPECT_EQ(fake::valuesWritten(), expected);
  EXPECT_EQ(storedDword("caption"), static_cast<LONG>(0x80800000u));
}

// One key for the whole load and one for the whole save: the store is read
// once, and a save lands whole when its key is closed.
TEST_F(SettingsTest, LoadAndSaveEachGoThroughOneKey) {
  fake::storeDword(KEY, "x", 5);
  loadSettings();
  std::vector<std::string> opened;
  for (const std::string& entry : fake::registry().log)
    if (entry.rfind("query ", 0) != 0) opened.push_back(entry);
  EXPECT_EQ(opened, (std::vector<std::string>{"open " + KEY, "close"}));
  fake::registry().log.clear();
  saveSettings(window);
  const auto& log = fake::registry().log;
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "create " + KEY);
  EXPECT_EQ(log.back(), "close");
  EXPECT_EQ(std::count(log.begin(), log.end(), "close"), 1);
}

TEST_F(SettingsTest, OnlyTheValueAtCloseIsCompared) {
  loadSettings();
  settings.refresh = 500;
  settings.refresh = 1000;
  saveSettings(window);
  EXPECT_FALSE(stored("refresh"));
}

TEST_F(SettingsTest, StoredMinusTwoReadsAsMissing) {
  for (const char* name : {"x", "y", "width", "height", "top", "refresh", "memused", "caption"})
    fake::storeDword(KEY, name, static_cast<DWORD>(NOT_FOUND));
  loadSettings();
  expectDefaultDwords();
}

TEST_F(SettingsTest, OtherValuesAreUsedAsRead) {
  fake::storeDword(KEY, "x", static_cast<DWORD>(-3));
  fake::storeDword(KEY, "y", 0);
  fake::storeDword(KEY, "memused", 5);
  fake::storeDword(KEY, "refresh", 0);
  fake::storeDword(KEY, "top", 1);
  loadSettings();
  EXPECT_EQ(settings.x, -3);
  EXPECT_EQ(settings.y, 0);
  EXPECT_EQ(settings.memused, 5);
  EXPECT_EQ(settings.refresh, 0);
  EXPECT_EQ(settings.top, 1);
  saveSettings(window);
  EXPECT_EQ(storedDword("memused"), 5) << "kept, not rewritten";
}

TEST_F(SettingsTest, ViewOutsideZeroToOneLoadsAsZero) {
  for (LONG stored : {7, -1, 2, NOT_FOUND}) {
    fake::storeDword(KEY, "view", static_cast<DWORD>(stored));
    loadSettings();
    EXPECT_EQ(settings.view, 0) << stored;
    EXPECT_EQ(startupValues.view, 0) << stored;
  }
  fake::registry().log.clear();
  saveSettings(window);
  EXPECT_EQ(storedDword("view"), NOT_FOUND) << "unchanged view is not rewritten";
  settings.view = 1;
  saveSettings(window);
  EXPECT_EQ(storedDword("view"), 1);
}

TEST_F(SettingsTest, FontValueLongerThanTheRecordGivesTheDefault) {
  fake::storeBytes(KEY, "font", std::vector<BYTE>(70, 0x41));
  loadSettings();
  EXPECT_STREQ(settings.font.lfFaceName, "Courier New");
  EXPECT_EQ(settings.font.lfHeight, -11);
}

TEST_F(SettingsTest, ShortFontValueFillsOnlyTheFront) {
  fake::storeBytes(KEY, "font", std::vector<BYTE>(40, 0x41));
  loadSettings();
  const std::vector<BYTE> record = bytesOf(&settings.font, sizeof settings.font);
  EXPECT_EQ(std::vector<BYTE>(record.begin(), record.begin() + 40), std::vector<BYTE>(40, 0x41));
  EXPECT_EQ(std::vector<BYTE>(record.begin() + 40, record.end()), std::vector<BYTE>(20, 0));
}

TEST_F(SettingsTest, FontRoundTripsByteForByte) {
  loadSettings();
  settings.font.lfHeight = -15;
  settings.font.lfItalic = 1;
  std::strcpy(settings.font.lfFaceName, "DejaVu Sans Mono");
  const LOGFONTA chosen = settings.font;
  saveSettings(window);
  settings = Settings{};
  loadSettings();
  EXPECT_EQ(std::memcmp(&settings.font, &chosen, sizeof chosen), 0);
}

TEST_F(SettingsTest, TypeIsNotExaminedOnlyTheSize) {
  fake::storeBytes(KEY, "refresh", {0xF4, 0x01, 0x00, 0x00});  // REG_BINARY 500
  fake::storeBytes(KEY, "memused", {0x00, 0x00, 0x00, 0x00, 0x00});
  fake::storeBytes(KEY, "x", {0x34, 0x12}, REG_DWORD);
  loadSettings();
  EXPECT_EQ(settings.refresh, 500);
  EXPECT_EQ(settings.memused, 1) << "longer than four bytes reads as missing";
  EXPECT_EQ(settings.x, 0x1234) << "shorter value is zero-filled";
}

TEST_F(SettingsTest, UnwritableStoreWritesNothingAndLeaksNothing) {
  fake::registry().failCreate = true;
  runWithoutChanges();
  EXPECT_TRUE(fake::valuesWritten().empty());
  EXPECT_EQ(fake::registry().keys.count(KEY), 0u);
}

TEST_F(SettingsTest, OneFailedWriteDoesNotStopTheOthers) {
  fake::registry().failSetFor = {"x", "top"};
  runWithoutChanges();
  const std::vector<std::string> expected = {"y", "width", "height", "font"};
  EXPECT_EQ(fake::valuesWritten(), expected);
}

TEST_F(SettingsTest, UnreadableStoreGivesDefaults) {
  fake::storeDword(KEY, "refresh", 250);
  fake::registry().failOpen = true;
  loadSettings();
  EXPECT_EQ(settings.refresh, 1000);
}

TEST_F(SettingsTest, WindowWithoutRectangleKeepsTheStoredGeometry) {
  fake::storeDword(KEY, "x", 700);
  window = nullptr;  // no such window: its rectangle cannot be read
  runWithoutChanges();
  EXPECT_EQ(storedDword("x"), 700);
  EXPECT_FALSE(stored("width"));
  EXPECT_TRUE(stored("font"));
  EXPECT_TRUE(stored("top"));
}

TEST_F(SettingsTest, KeyPathComposition) {
  buildKeyPath("Kivo", nullptr);
  EXPECT_STREQ(keyPath, "Software\\Falvane\\Kivo");
  buildKeyPath("Kivo", "2.0");
  EXPECT_STREQ(keyPath, "Software\\Falvane\\Kivo\\2.0");
}

TEST_F(SettingsTest, KeyPathTooLongTouchesNothing) {
  const std::string product(KEY_PATH_BYTES, 'k');
  buildKeyPath(product.c_str(), "2.0");
  EXPECT_STREQ(keyPath, "");
  EXPECT_EQ(readDword("x"), NOT_FOUND);
  writeDword("x", 1);
  EXPECT_TRUE(fake::registry().log.empty());
}

}  // namespace
