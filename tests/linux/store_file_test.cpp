// kivo.reg as text: what reads as a value, what is only carried along, and
// where a change lands. The fuzz target covers round trips of arbitrary input.
#include "platform/linux/store/store_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

const std::string KIVO = "Software\\Falvane\\Kivo\\2.0";
const std::string KIVO_KEY_LINE = "[HKEY_CURRENT_USER\\Software\\Falvane\\Kivo\\2.0]";
const std::string HEADER = "Windows Registry Editor Version 5.00";

// "type:bytes", so a failure shows what was read.
std::string readOut(const StoreDocument& store, const std::string& name) {
  StoreValue value;
  if (!findStoreValue(store, KIVO, name, &value)) return "missing";
  std::string text = std::to_string(value.type) + ":";
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, i > 0 ? ",%02x" : "%02x", value.data[i]);
    text += hex;
  }
  return text;
}

StoreValue binary(const std::string& bytes) {
  StoreValue value;
  value.type = REG_BINARY;
  value.data.assign(bytes.begin(), bytes.end());
  return value;
}

TEST(StoreFileParse, ReadsWhatRegeditWritesAndNothingElse) {
  const StoreDocument store = parseStore(
      HEADER + "\r\n\r\n" + KIVO_KEY_LINE + "\r\n" +
      "\"x\"=dword:000001bb\r\n\"font\"=hex:01,02,\\\r\n  03,\\\r\n  04\r\n"
      "\"big\"=hex(b):01,00\r\n\"name\"=\"a\\\\b\\\"c\"\r\n@=dword:7\r\n\"Dup\"=dword:00000001\r\n"
      "\"a\"=dword:zz\r\n\"b\"=dword:123456789\r\n\"c\"=hex:0g\r\n\"d\"=hex:01,,02\r\n"
      "\"e\"=\"bad \\q escape\"\r\n\"f\"=-\r\n\"g\"=qword:1\r\n\"h\"=\"unclosed\r\n"
      "[hkey_current_user\\SOFTWARE\\falvane\\KIVO\\2.0]\r\n\"DUP\"=hex:02\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Falvane\\Kivo\\2.0]\r\n\"i\"=dword:1\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Falvane\\Kivo\\2.0]\r\n\"j\"=dword:1\r\n"
      "[HKEY_CURRENT_USER\\Software\\Falvane\\Kivo\\2.0\r\n\"k\"=dword:1\r\n");
  EXPECT_EQ(readOut(store, "x"), "4:bb,01,00,00");
  EXPECT_EQ(readOut(store, "font"), "3:01,02,03,04");
  EXPECT_EQ(readOut(store, "big"), "11:01,00");
  EXPECT_EQ(readOut(store, "name"), "1:61,5c,62,22,63,00");
  EXPECT_EQ(readOut(store, ""), "4:07,00,00,00");
  EXPECT_EQ(readOut(store, "dup"), "3:02");  // the last one wins, whatever its case
  for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"})
    EXPECT_EQ(readOut(store, name), "missing") << name;
}

TEST(StoreFileParse, OnlyAFileWithItsHeaderReads) {
  const std::string body = "\r\n" + KIVO_KEY_LINE + "\r\n\"x\"=dword:00000001\r\n";
  for (const std::string& header : {HEADER, "\xEF\xBB\xBF" + HEADER, std::string("REGEDIT4")})
    EXPECT_EQ(readOut(parseStore(header + body), "x"), "4:01,00,00,00") << header;
  const StoreDocument headless = parseStore(body);
  EXPECT_EQ(readOut(headless, "x"), "missing");
  EXPECT_FALSE(storeKeyExists(headless, KIVO));
}

TEST(StoreFileParse, HeaderMayFollowBlankLinesInAnyLetterCase) {
  const std::string body = "\r\n" + KIVO_KEY_LINE + "\r\n\"x\"=dword:00000001\r\n";
  for (const std::string& header :
       {"\r\n\n \t\r\n" + HEADER, "\xEF\xBB\xBF\r\n" + HEADER, std::string("regedit4"),
        std::string("WINDOWS REGISTRY EDITOR VERSION 5.00"), std::string("  ReGeDiT4 ")})
    EXPECT_EQ(readOut(parseStore(header + body), "x"), "4:01,00,00,00") << header;
}

TEST(StoreFileParse, WithoutAHeaderNothingReadsAndNothingChanges) {
  const std::string body = "\r\n" + KIVO_KEY_LINE + "\r\n\"x\"=dword:00000001\r\n";
  for (const std::string& header : {std::string("; exported by hand\r\n") + HEADER,
                                    std::string("Windows Registry Editor Version 5.0"),
                                    std::string("Windows Registry Editor\0 Version 5.00", 37),
                                    std::string("REGEDIT"), std::string("")}) {
    StoreDocument store = parseStore(header + body);
    EXPECT_EQ(store.health, StoreHealth::Unreadable) << header;
    EXPECT_EQ(readOut(store, "x"), "missing") << header;
    EXPECT_FALSE(setStoreValue(&store, KIVO, "x", binary("\x02"))) << header;
    EXPECT_FALSE(addStoreKey(&store, "Software\\New")) << header;
    EXPECT_EQ(renderStore(store), header + body) << header;
  }
}

std::string widened(const std::string& text, bool little, bool mark) {
  std::string bytes = mark ? (little ? "\xFF\xFE" : "\xFE\xFF") : "";
  for (char c : text) bytes += little ? std::string(1, c) + '\0' : '\0' + std::string(1, c);
  return bytes;
}

TEST(StoreFileParse, Utf16EitherWayRoundWithOrWithoutAMarkReadsAndWritesBackTheSame) {
  const std::string text = HEADER + "\r\n\r\n" + KIVO_KEY_LINE + "\r\n\"x\"=dword:00000001\r\n";
  const std::string changed =
      HEADER + "\r\n\r\n" + KIVO_KEY_LINE + "\r\n\"x\"=dword:00000001\r\n\"y\"=hex:02\r\n";
  for (const bool little : {true, false}) {
    for (const bool mark : {true, false}) {
      StoreDocument store = parseStore(widened(text, little, mark));
      EXPECT_EQ(readOut(store, "x"), "4:01,00,00,00") << little << mark;
      EXPECT_EQ(renderStore(store), widened(text, little, mark)) << little << mark;
      ASSERT_TRUE(setStoreValue(&store, KIVO, "y", binary("\x02")));
      EXPECT_EQ(renderStore(store), widened(changed, little, mark)) << little << mark;
    }
  }
  // Beyond Latin-1, or an odd byte at the end: left as it is.
  for (const std::string& bytes :
       {std::string("\xFF\xFE;\0\x16\x04", 6), widened(text, false, true).substr(1),
        widened(text, true, false) + "x"}) {
    StoreDocument store = parseStore(bytes);
    EXPECT_EQ(store.health, StoreHealth::Unreadable);
    EXPECT_FALSE(setStoreValue(&store, KIVO, "y", binary("\x02")));
    EXPECT_EQ(renderStore(store), bytes);
  }
}

TEST(StoreFileParse, LoneCarriageReturnsEndLinesAndNewLinesFollowTheFile) {
  StoreDocument store = parseStore(HEADER + "\r\r" + KIVO_KEY_LINE +
                                   "\r\"x\"=dword:00000001\r\"font\"=hex:01,\\\r  02\r");
  EXPECT_EQ(readOut(store, "x"), "4:01,00,00,00");
  EXPECT_EQ(readOut(store, "font"), "3:01,02");
  ASSERT_TRUE(setStoreValue(&store, KIVO, "y", binary(std::string(40, '\x07'))));
  ASSERT_TRUE(setStoreValue(&store, "Software\\Other", "z", binary("\x03")));
  const std::string rendered = renderStore(store);
  EXPECT_EQ(rendered.find('\n'), std::string::npos) << rendered;
  const StoreDocument reread = parseStore(rendered);
  EXPECT_EQ(readOut(reread, "y").size(), 2 + 40 * 3 - 1u);
  EXPECT_EQ(readOut(reread, "font"), "3:01,02");
}

TEST(StoreFileKeys, AKeyLineMakesEveryKeyAboveItExist) {
  const StoreDocument store = parseStore(HEADER + "\n\n" + KIVO_KEY_LINE + "\n");
  EXPECT_TRUE(storeKeyExists(store, "software\\FALVANE"));
  EXPECT_TRUE(storeKeyExists(store, KIVO));
  EXPECT_FALSE(storeKeyExists(store, "Software\\Falv"));
  EXPECT_FALSE(storeKeyExists(store, KIVO + "\\Sub"));
}

TEST(StoreFileChange, ReplacesInPlaceOrAddsAtTheEndOfTheSection) {
  StoreDocument store = parseStore(HEADER + "\n\n" + KIVO_KEY_LINE + "\n" +
                                   "\"x\"=dword:00000001\n\"font\"=hex:01,\\\n  02\n; kept\n\n"
                                   "[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=dword:00000009");
  StoreValue five;
  five.type = REG_DWORD;
  five.data = {5, 0, 0, 0};
  ASSERT_TRUE(setStoreValue(&store, "SOFTWARE\\Falvane\\Kivo\\2.0", "X", five));
  ASSERT_TRUE(setStoreValue(&store, KIVO, "font", binary("\x0a\x0b")));
  ASSERT_TRUE(setStoreValue(&store, KIVO, "refresh", binary("\xe8")));
  ASSERT_TRUE(setStoreValue(&store, "Software\\New", "", binary("")));
  EXPECT_EQ(renderStore(store), HEADER + "\n\n" + KIVO_KEY_LINE + "\n" +
                                    "\"X\"=dword:00000005\n\"font\"=hex:0a,0b\n; kept\n"
                                    "\"refresh\"=hex:e8\n\n"
                                    "[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=dword:00000009\n\n"
                                    "[HKEY_CURRENT_USER\\Software\\New]\n@=hex:\n");
}

// A wrapped value cut short by the end of the file must not take the new line in.
TEST(StoreFileChange, WrappedValueAtTheEndKeepsToItself) {
  StoreDocument store =
      parseStore(HEADER + "\r\n\r\n" + KIVO_KEY_LINE + "\r\n\"font\"=hex:01,\\\r\n  02,\\");
  ASSERT_TRUE(setStoreValue(&store, KIVO, "x", binary("\x07")));
  const StoreDocument reread = parseStore(renderStore(store));
  EXPECT_EQ(readOut(reread, "font"), "3:01,02");
  EXPECT_EQ(readOut(reread, "x"), "3:07");
}

TEST(StoreFileChange, RefusesWhatTheFileCannotHold) {
  StoreDocument store = newStore();
  const std::string before = renderStore(store);
  for (const char* path : {"", "\\Software", "Software\\", "Software\\\\Kivo", "Soft\nware"}) {
    EXPECT_FALSE(setStoreValue(&store, path, "x", binary("\x01"))) << path;
    EXPECT_FALSE(addStoreKey(&store, path)) << path;
  }
  EXPECT_FALSE(setStoreValue(&store, KIVO, "two\nlines", binary("\x01")));
  EXPECT_EQ(renderStore(store), before);
}

}  // namespace
