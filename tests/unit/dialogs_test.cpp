#include "dialogs/dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "strip_fixture.h"

namespace {

class DialogsTest : public StripTest {
 protected:
  // Opens the dialog from the menu with these user actions, then closes the strip.
  void runDialog(WORD command, std::vector<fake::DialogAction> actions) {
    fake::desktop().dialogActions = std::move(actions);
    runStrip({[&](HWND monitor) {
      timersBefore = fake::logEntries("SetTimer").size();
      PostMessageA(monitor, WM_COMMAND, command, 0);
    }});
  }
  // The timer starts since the dialog was opened; closing the strip only stops it.
  std::vector<std::string> timerRestarts() const {
    const auto started = fake::logEntries("SetTimer");
    return std::vector<std::string>(started.begin() + static_cast<long>(timersBefore),
                                    started.end());
  }
  static const fake::DialogControl& control(int id) { return fake::lastDialog()->controls.at(id); }
  std::size_t timersBefore = 0;
};

TEST_F(DialogsTest, SetupOpensOnTheCurrentSettings) {
  struct Case {
    DWORD refresh, memused, view;
    const char* text;
    int checkedMode, checkedView;
  };
  const Case cases[] = {
      {1000, 1, 0, "1000", IDC_USED, IDC_PERFVIEW},
      {1000, 5, 1, "1000", IDC_FREE, IDC_LEGACY},
      {static_cast<DWORD>(-5), 1, 0, "-5", IDC_USED, IDC_PERFVIEW},
  };
  for (const Case& c : cases) {
    SetUp();
    fake::storeDword(key(), "refresh", c.refresh);
    fake::storeDword(key(), "memused", c.memused);
    fake::storeDword(key(), "view", c.view);
    runDialog(CMD_SETUP, {fake::pressButton(IDCANCEL)});
    ASSERT_NE(fake::lastDialog(), nullptr);
    EXPECT_EQ(fake::lastDialog()->answers.front(), TRUE) << "the first tab stop takes the focus";
    EXPECT_EQ(control(IDC_REFRESH).text, c.text);
    for (int id : {IDC_USED, IDC_FREE, IDC_PERFVIEW, IDC_LEGACY})
      EXPECT_EQ(control(id).checked, id == c.checkedMode || id == c.checkedView) << id;
  }
}

TEST_F(DialogsTest, OkReadsTheRefreshAsAtoiDoesAndRestartsTheTimer) {
  struct Case {
    const char* text;
    LONG refresh;
  };
  const Case cases[] = {{"", 0},   {"250", 250}, {"  42abc", 42},   {"-7", -7},
                        {"+8", 8}, {"ms", 0},    {"4294967297", 1}, {"1000", 1000}};
  for (const Case& c : cases) {
    SetUp();
    runDialog(CMD_SETUP, {fake::typeText(IDC_REFRESH, c.text), fake::pressButton(IDOK)});
    EXPECT_EQ(settings.refresh, c.refresh) << c.text;
    const std::vector<std::string> restarted = {"SetTimer Kivo2 1 " +
                                                std::to_string(static_cast<UINT>(c.refresh))};
    EXPECT_EQ(timerRestarts(), restarted) << "restarted even when unchanged";
    EXPECT_EQ(fake::logEntries("dialog 103 ended").size(), 1u);
  }
}

TEST_F(DialogsTest, OkTakesTheButtonsAndRewritesTheMemoryModeAsZeroOrOne) {
  struct Case {
    DWORD storedMemused;
    std::vector<fake::DialogAction> clicks;
    LONG memused, view;
    bool memusedSaved;
  };
  const Case cases[] = {
      {5, {}, 0, 0, true},
      {1, {}, 1, 0, false},
      {0, {fake::clickRadio(IDC_USED), fake::clickRadio(IDC_LEGACY)}, 1, 1, true},
  };
  for (const Case& c : cases) {
    SetUp();
    fake::storeDword(key(), "memused", c.storedMemused);
    auto actions = c.clicks;
    actions.push_back(fake::pressButton(IDOK));
    runDialog(CMD_SETUP, actions);
    EXPECT_EQ(settings.memused, c.memused) << c.storedMemused;
    EXPECT_EQ(settings.view, c.view) << c.storedMemused;
    const auto written = valuesWritten();
    EXPECT_EQ(std::count(written.begin(), written.end(), "memused"), c.memusedSaved ? 1 : 0);
  }
}

TEST_F(DialogsTest, CancelChangesNothingAndLeavesTheTimerRunning) {
  runDialog(CMD_SETUP, {fake::typeText(IDC_REFRESH, "5"), fake::clickRadio(IDC_FREE),
                        fake::clickRadio(IDC_LEGACY), fake::pressButton(IDCANCEL)});
  EXPECT_EQ(settings.refresh, 1000);
  EXPECT_EQ(settings.memused, 1);
  EXPECT_EQ(settings.view, 0);
  EXPECT_TRUE(timerRestarts().empty());
  const std::vector<INT_PTR> answers = {TRUE, FALSE, FALSE, TRUE};
  EXPECT_EQ(fake::lastDialog()->answers, answers) << "a click alone ends nothing";
}

TEST_F(DialogsTest, LegacyChosenInSetupShowsTheBarsAtTheNextTickWithoutAResize) {
  fake::host().memory.ullTotalPhys = 1000000;
  fake::host().memory.ullAvailPhys = 500000;
  fake::desktop().dialogActions = {fake::clickRadio(IDC_LEGACY), fake::pressButton(IDOK)};
  std::size_t sizes = 0;
  runStrip({[&](HWND monitor) {
              sizes = fake::logEntries("size Kivo2").size();
              PostMessageA(monitor, WM_COMMAND, CMD_SETUP, 0);
            },
            [](HWND monitor) {
              fake::gdi().log.clear();
              fake::gdi().fontHeights.clear();
              post(monitor, WM_TIMER);
            },
            [&](HWND) {
              EXPECT_EQ(fake::logEntries("size Kivo2").size(), sizes);
              EXPECT_TRUE(fake::gdi().fontHeights.empty()) << "no fit until the next resize";
              ASSERT_FALSE(fake::gdi().log.empty());
              EXPECT_EQ(fake::gdi().log.front(), "FillRect 0,0,450,14 system=4");
            }});
}

TEST_F(DialogsTest, AboutClosesOnOkEnterEscapeAndTheCloseBoxOnly) {
  struct Case {
    int command;
    bool ends;
  };
  for (const Case& c : {Case{IDOK, true}, Case{IDCANCEL, true}, Case{IDC_REFRESH, false}}) {
    SetUp();
    runDialog(CMD_ABOUT, {fake::pressButton(c.command)});
    ASSERT_NE(fake::lastDialog(), nullptr);
    EXPECT_EQ(fake::lastDialog()->ended, c.ends) << c.command;
    const std::vector<INT_PTR> answers = {TRUE, c.ends ? TRUE : FALSE};
    EXPECT_EQ(fake::lastDialog()->answers, answers) << c.command;
    EXPECT_TRUE(timerRestarts().empty());
  }
}

}  // namespace
