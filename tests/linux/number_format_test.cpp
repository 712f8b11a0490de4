// GetNumberFormatA with an explicit NUMBERFMTA, as the memory bar labels use it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/system_status.h"

namespace {

char comma[] = ",";
char point[] = ".";

TEST(NumberFormat, FormatsLikeWindows) {
  const struct {
    const char* value;
    UINT digits, leadingZero, grouping, negativeOrder;
    const char* text;  // null: the call fails
  } cases[] = {
      // Kivo's own format: whole numbers grouped by thousands.
      {"1234567", 0, 0, 3, 0, "1,234,567"},
      {"75", 0, 0, 3, 0, "75"},
      {"0", 0, 0, 3, 0, "0"},
      {"007", 0, 0, 3, 0, "7"},
      {"4294967295", 0, 0, 3, 0, "4,294,967,295"},
      {"999.5", 0, 0, 3, 0, "1,000"},
      {"0.4", 0, 0, 3, 0, "0"},
      {"1234567890", 0, 0, 0, 0, "1234567890"},
      {"1234567890", 0, 0, 1, 0, "1,2,3,4,5,6,7,8,9,0"},
      {"1234567890", 0, 0, 4, 0, "12,3456,7890"},
      {"1234567890", 0, 0, 32, 0, "1,23,45,67,890"},
      // Decimals round half up and are padded.
      {"1.005", 2, 1, 3, 1, "1.01"},
      {"1.00499", 2, 1, 3, 1, "1.00"},
      {"1", 2, 1, 3, 1, "1.00"},
      {"9999.995", 2, 1, 3, 1, "10,000.00"},
      {".5", 2, 1, 3, 1, "0.50"},
      {"5.", 2, 1, 3, 1, "5.00"},
      {"0.5", 2, 0, 3, 1, ".50"},
      {"0.996", 2, 0, 3, 1, "1.00"},
      {"-0.004", 2, 1, 3, 1, "0.00"},  // no sign on a zero
      {"-1234.5", 1, 1, 3, 0, "(1,234.5)"},
      {"-1234.5", 1, 1, 3, 1, "-1,234.5"},
      {"-1234.5", 1, 1, 3, 2, "- 1,234.5"},
      {"-1234.5", 1, 1, 3, 3, "1,234.5-"},
      {"-1234.5", 1, 1, 3, 4, "1,234.5 -"},
      // What Windows refuses.
      {"", 0, 0, 3, 0, nullptr},
      {"-", 0, 0, 3, 0, nullptr},
      {".", 0, 0, 3, 0, nullptr},
      {"1,000", 0, 0, 3, 0, nullptr},
      {"+5", 0, 0, 3, 0, nullptr},
      {"1.2.3", 0, 0, 3, 0, nullptr},
      {" 12", 0, 0, 3, 0, nullptr},
      {"1e5", 0, 0, 3, 0, nullptr},
      {"1", 10, 0, 3, 0, nullptr},
      {"1", 0, 0, 33, 0, nullptr},
      {"1", 0, 0, 3, 5, nullptr},
  };
  for (const auto& c : cases) {
    NUMBERFMTA format = {c.digits, c.leadingZero, c.grouping, point, comma, c.negativeOrder};
    char text[64] = "untouched";
    int written = GetNumberFormatA(0, 0, c.value, &format, text, sizeof text);
    const char* expected = c.text != nullptr ? c.text : "untouched";
    EXPECT_STREQ(text, expected) << c.value;
    EXPECT_EQ(written, c.text != nullptr ? static_cast<int>(std::strlen(c.text)) + 1 : 0);
  }
}

TEST(NumberFormat, BufferSizeRulesAndArguments) {
  NUMBERFMTA format = {0, 0, 3, comma, comma, 0};
  char text[8] = "xxxxxxx";
  EXPECT_EQ(GetNumberFormatA(0, 0, "1234567", &format, text, 0), 10);
  EXPECT_EQ(GetNumberFormatA(0, 0, "1234567", &format, nullptr, 0), 10);
  EXPECT_EQ(GetNumberFormatA(0, 0, "1234", &format, text, 5), 0);
  EXPECT_EQ(GetNumberFormatA(0, 0, "1234", &format, text, -1), 0);
  EXPECT_EQ(GetNumberFormatA(0, 0, "1", nullptr, text, sizeof text), 0);
  EXPECT_EQ(GetNumberFormatA(0, 1, "1", &format, text, sizeof text), 0);
  EXPECT_STREQ(text, "xxxxxxx");
  EXPECT_EQ(GetNumberFormatA(0, 0, "1234", &format, text, 6), 6);
  EXPECT_STREQ(text, "1,234");
  // No working copy limits the length of the value.
  std::string huge = std::string(3000, '9') + ".5";
  EXPECT_EQ(GetNumberFormatA(0, 0, huge.c_str(), &format, nullptr, 0), 3001 + 1000 + 1);
}

}  // namespace
