#include "platform/linux/store/store_file.h"

#include <cstdio>

namespace {

const std::string HEADER = "Windows Registry Editor Version 5.00";
const std::string OLD_HEADER = "REGEDIT4";  // regedit still imports these
const std::string UTF8_BOM = "\xEF\xBB\xBF";
const std::string USER_ROOT = "HKEY_CURRENT_USER";

// regedit keeps hex lines within 80 columns, the continuation backslash included.
constexpr std::size_t WRAP_COLUMN = 80;

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

bool startsWithText(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && sameText(text.substr(0, prefix.size()), prefix);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string lineEnding(const std::string& raw) {
  if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\r\n") == 0) return "\r\n";
  if (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r')) return raw.substr(raw.size() - 1);
  return "";
}

std::string withoutEnding(const std::string& raw) {
  return raw.substr(0, raw.size() - lineEnding(raw).size());
}

// Line ends are blanks too, so trimming takes them off.
std::string lineContent(const std::string& raw) { return trimmed(raw); }

bool lastLineIsBlank(const StoreLine& line) {
  const std::string body = withoutEnding(line.raw);
  const std::size_t lastBreak = body.find_last_of("\r\n");
  return trimmed(lastBreak == std::string::npos ? body : body.substr(lastBreak + 1)).empty();
}

// Old Mac editors end lines with a lone CR; regedit reads those too.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos)
      end = text.size();
    else if (text.compare(end, 2, "\r\n") == 0)
      end += 2;
    else
      ++end;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

// A store keeps the line ending its first line has. New ones get CRLF, as
// regedit writes, so a store copied to Windows imports as it is.
std::string newlineOf(const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    if (!lineEnding(line).empty()) return lineEnding(line);
  return "\r\n";
}

// As regedit reads it: blank lines may come first, and the letter case does
// not matter.
bool hasHeader(const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string content = withoutEnding(lines[i]);
    if (i == 0 && content.compare(0, UTF8_BOM.size(), UTF8_BOM) == 0)
      content.erase(0, UTF8_BOM.size());
    content = trimmed(content);
    if (!content.empty()) return sameText(content, HEADER) || sameText(content, OLD_HEADER);
  }
  return false;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f') return lowerAscii(c) - 'a' + 10;
  return -1;
}

bool parseHexNumber(const std::string& text, std::size_t maxDigits, DWORD* number) {
  if (text.empty() || text.size() > maxDigits) return false;
  *number = 0;
  for (char c : text) {
    if (hexDigit(c) < 0) return false;
    *number = *number << 4 | static_cast<DWORD>(hexDigit(c));
  }
  return true;
}

// "f5,ff,ff,ff", as joined from all of a wrapped value's lines. A trailing
// comma is what regedit leaves when it wraps, so one is allowed.
// Read in place: a font value has sixty of these, and a big store thousands.
bool parseHexBytes(const std::string& text, std::vector<BYTE>* bytes) {
  bytes->clear();
  std::size_t at = 0;
  const auto skipBlanks = [&] {
    while (at < text.size() && isBlank(text[at])) ++at;
  };
  skipBlanks();
  if (at == text.size()) return true;
  for (;;) {
    skipBlanks();
    DWORD byte = 0;
    std::size_t digits = 0;
    for (; at < text.size() && hexDigit(text[at]) >= 0 && digits <= 2; ++at, ++digits)
      byte = byte << 4 | static_cast<DWORD>(hexDigit(text[at]));
    skipBlanks();
    const bool last = at == text.size();
    if (digits == 0) return last && !bytes->empty();
    if (digits > 2 || (!last && text[at] != ',')) return false;
    bytes->push_back(static_cast<BYTE>(byte));
    if (last) return true;
    ++at;
  }
}

// A quoted name or string starting at text[*at]; only \\ and \" are escapes,
// anything else after a backslash is a typo and the line is not understood.
bool readQuoted(const std::string& text, std::size_t* at, std::string* out) {
  if (*at >= text.size() || text[*at] != '"') return false;
  out->clear();
  for (std::size_t i = *at + 1; i < text.size(); ++i) {
    if (text[i] == '"') {
      *at = i + 1;
      return true;
    }
    if (text[i] == '\\') {
      if (++i == text.size() || (text[i] != '\\' && text[i] != '"')) return false;
    }
    out->push_back(text[i]);
  }
  return false;
}

// `"name"=data` or `@=data` (the key's default value).
bool splitValueLine(const std::string& content, std::string* name, std::string* data) {
  std::size_t at = 0;
  if (!content.empty() && content[0] == '@') {
    name->clear();
    at = 1;
  } else if (!readQuoted(content, &at, name)) {
    return false;
  }
  while (at < content.size() && isBlank(content[at])) ++at;
  if (at == content.size() || content[at] != '=') return false;
  *data = trimmed(content.substr(at + 1));
  return true;
}

bool parseString(const std::string& data, StoreValue* value) {
  std::size_t at = 0;
  std::string text;
  if (!readQuoted(data, &at, &text) || at != data.size()) return false;
  value->type = REG_SZ;
  value->data.assign(text.begin(), text.end());
  value->data.push_back(0);
  return true;
}

bool parseDword(const std::string& digits, StoreValue* value) {
  DWORD number = 0;
  if (!parseHexNumber(digits, 8, &number)) return false;
  value->type = REG_DWORD;
  value->data.clear();
  for (int shift = 0; shift < 32; shift += 8)
    value->data.push_back(static_cast<BYTE>(number >> shift));
  return true;
}

// hex(b):... for any type but REG_BINARY; the type number is in hex too.
bool parseTypedHex(const std::string& data, StoreValue* value) {
  const std::size_t close = data.find(')');
  if (close == std::string::npos || close + 1 >= data.size() || data[close + 1] != ':')
    return false;
  return parseHexNumber(data.substr(4, close - 4), 8, &value->type) &&
         parseHexBytes(data.substr(close + 2), &value->data);
}

bool parseValueData(const std::string& data, StoreValue* value) {
  if (!data.empty() && data[0] == '"') return parseString(data, value);
  if (startsWithText(data, "dword:")) return parseDword(data.substr(6), value);
  if (startsWithText(data, "hex(")) return parseTypedHex(data, value);
  if (!startsWithText(data, "hex:")) return false;
  value->type = REG_BINARY;
  return parseHexBytes(data.substr(4), &value->data);
}

bool wrapsOntoNextLine(const std::string& content) {
  std::string name;
  std::string data;
  return !content.empty() && content.back() == '\\' && splitValueLine(content, &name, &data) &&
         startsWithText(data, "hex");
}

// Takes the physical lines a wrapped hex value goes on over into it, and gives
// back the value's text as one line.
std::string gatherWrappedLines(const std::vector<std::string>& physical, std::size_t* next,
                               StoreLine* line) {
  std::string content = lineContent(line->raw);
  if (!wrapsOntoNextLine(content)) return content;
  content.pop_back();
  for (;;) {
    if (*next == physical.size()) {
      line->waitsForMore = true;
      return content;
    }
    std::string more = lineContent(physical[*next]);
    line->raw += physical[(*next)++];
    const bool goesOn = !more.empty() && more.back() == '\\';
    if (goesOn) more.pop_back();
    content += more;
    if (!goesOn) return content;
  }
}

struct Section {
  bool underUserKey = false;
  std::string keyPath;
};

void classifyKeyLine(const std::string& content, StoreLine* line, Section* section) {
  section->underUserKey = false;
  if (content.size() < 2 || content.back() != ']') return;
  const std::string name = content.substr(1, content.size() - 2);
  if (sameText(name, USER_ROOT)) {
    section->keyPath.clear();
  } else if (startsWithText(name, USER_ROOT + "\\")) {
    section->keyPath = name.substr(USER_ROOT.size() + 1);
  } else {
    return;  // another root, or a [-deletion]: its values are not ours
  }
  section->underUserKey = true;
  line->kind = StoreLineKind::UserKey;
  line->keyPath = section->keyPath;
}

void classifyLine(const std::string& content, StoreLine* line, Section* section) {
  if (!content.empty() && content[0] == '[') return classifyKeyLine(content, line, section);
  std::string name;
  std::string data;
  StoreValue value;
  if (!section->underUserKey || !splitValueLine(content, &name, &data) ||
      !parseValueData(data, &value))
    return;
  line->kind = StoreLineKind::Value;
  line->keyPath = section->keyPath;
  line->valueName = std::move(name);
  line->type = value.type;
  line->data = std::move(value.data);
}

StoreDocument parseText(const std::string& text, StoreEncoding encoding) {
  std::vector<std::string> physical = splitLines(text);
  StoreDocument store;
  store.encoding = encoding;
  store.newline = newlineOf(physical);
  store.health = hasHeader(physical) ? StoreHealth::Readable : StoreHealth::Unreadable;
  Section section;
  store.lines.reserve(physical.size());
  for (std::size_t next = 0; next < physical.size();) {
    StoreLine line;
    line.raw = std::move(physical[next++]);  // only later lines join a wrapped value
    const std::string content = gatherWrappedLines(physical, &next, &line);
    classifyLine(content, &line, &section);
    store.lines.push_back(std::move(line));
  }
  return store;
}

std::string joinLines(const StoreDocument& store) {
  std::string text;
  for (const StoreLine& line : store.lines) text += line.raw;
  return text;
}

const std::string UTF16LE_BOM = "\xFF\xFE";
const std::string UTF16BE_BOM = "\xFE\xFF";

// Windows exports in UTF-16 with a byte order mark; a file that went through
// other tools may have lost the mark or have its bytes the other way round.
// Without a mark, the header's first character tells: one of its bytes is zero.
StoreEncoding encodingOf(const std::string& bytes, bool* byteOrderMark) {
  *byteOrderMark = bytes.compare(0, 2, UTF16LE_BOM) == 0 || bytes.compare(0, 2, UTF16BE_BOM) == 0;
  if (bytes.size() < 2) return StoreEncoding::Ansi;
  if (bytes.compare(0, 2, UTF16LE_BOM) == 0) return StoreEncoding::Utf16Le;
  if (bytes.compare(0, 2, UTF16BE_BOM) == 0) return StoreEncoding::Utf16Be;
  if (bytes[0] != '\0' && bytes[1] == '\0') return StoreEncoding::Utf16Le;
  if (bytes[0] == '\0' && bytes[1] != '\0') return StoreEncoding::Utf16Be;
  return StoreEncoding::Ansi;
}

// Only text that fits in 8 bits comes through: a store that could not be
// written back byte for byte is not touched at all.
bool narrowUtf16(const std::string& bytes, StoreEncoding encoding, bool byteOrderMark,
                 std::string* text) {
  if (bytes.size() % 2 != 0) return false;
  const std::size_t high = encoding == StoreEncoding::Utf16Le ? 1 : 0;
  text->clear();
  text->reserve(bytes.size() / 2);
  for (std::size_t i = byteOrderMark ? 2 : 0; i < bytes.size(); i += 2) {
    if (bytes[i + high] != '\0') return false;
    text->push_back(bytes[i + 1 - high]);
  }
  return true;
}

std::string widenToUtf16(const std::string& text, StoreEncoding encoding, bool byteOrderMark) {
  const bool little = encoding == StoreEncoding::Utf16Le;
  std::string bytes;
  bytes.reserve(2 * text.size() + 2);
  if (byteOrderMark) bytes = little ? UTF16LE_BOM : UTF16BE_BOM;
  for (char c : text) {
    bytes.push_back(little ? c : '\0');
    bytes.push_back(little ? '\0' : c);
  }
  return bytes;
}

int findValueLine(const StoreDocument& store, const std::string& keyPath, const std::string& name) {
  int found = -1;  // regedit imports top to bottom, so the last one counts
  for (std::size_t i = 0; i < store.lines.size(); ++i) {
    const StoreLine& line = store.lines[i];
    if (line.kind == StoreLineKind::Value && sameText(line.keyPath, keyPath) &&
        sameText(line.valueName, name))
      found = static_cast<int>(i);
  }
  return found;
}

int findKeyLine(const StoreDocument& store, const std::string& keyPath) {
  int found = -1;
  for (std::size_t i = 0; i < store.lines.size(); ++i) {
    const StoreLine& line = store.lines[i];
    if (line.kind == StoreLineKind::UserKey && sameText(line.keyPath, keyPath))
      found = static_cast<int>(i);
  }
  return found;
}

bool startsSection(const StoreLine& line) {
  const std::string content = trimmed(line.raw);
  return !content.empty() && content[0] == '[';
}

// New values go after the last non-blank line of the key's section, so the
// blank line regedit puts between sections stays between them.
std::size_t endOfSection(const StoreDocument& store, std::size_t keyLine) {
  std::size_t last = keyLine;
  for (std::size_t i = keyLine + 1; i < store.lines.size() && !startsSection(store.lines[i]); ++i)
    if (!trimmed(store.lines[i].raw).empty()) last = i;
  return last;
}

StoreLine plainLine(const std::string& raw) {
  StoreLine line;
  line.raw = raw;
  return line;
}

void endWithNewline(StoreLine* line, const std::string& newline) {
  if (lineEnding(line->raw).empty()) line->raw += newline;
}

// A wrapped value cut short at the end of the file would take the next line
// into itself; a blank line closes it with the meaning it had at the end.
void insertLineAfter(StoreDocument* store, std::size_t at, StoreLine line) {
  StoreLine& before = store->lines[at];
  endWithNewline(&before, store->newline);
  std::vector<StoreLine> added;
  if (before.waitsForMore) added.push_back(plainLine(store->newline));
  line.raw += store->newline;
  added.push_back(std::move(line));
  store->lines.insert(store->lines.begin() + static_cast<std::ptrdiff_t>(at) + 1, added.begin(),
                      added.end());
}

std::string keyLineText(const std::string& keyPath) {
  return "[" + USER_ROOT + "\\" + keyPath + "]";
}

void appendKeyLine(StoreDocument* store, const std::string& keyPath) {
  StoreLine keyLine = plainLine(keyLineText(keyPath) + store->newline);
  keyLine.kind = StoreLineKind::UserKey;
  keyLine.keyPath = keyPath;
  if (!store->lines.empty()) {
    StoreLine& last = store->lines.back();
    endWithNewline(&last, store->newline);
    if (last.waitsForMore || !lastLineIsBlank(last))
      store->lines.push_back(plainLine(store->newline));
  }
  store->lines.push_back(std::move(keyLine));
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::string quotedName(const std::string& name) {
  return name.empty() ? "@" : "\"" + escaped(name) + "\"";
}

// A string goes in quotes only when it reads back as the same bytes: one
// terminating NUL and nothing that would break the line.
bool fitsInQuotes(const std::vector<BYTE>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
  return true;
}

std::string hexText(const std::string& prefix, const StoreValue& value,
                    const std::string& newline) {
  char number[16];
  std::snprintf(number, sizeof number, "%x", value.type);
  std::string text =
      prefix + (value.type == REG_BINARY ? "hex:" : "hex(" + std::string(number) + "):");
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    if (text.size() - lineStart + 4 > WRAP_COLUMN) {
      text += "\\" + newline;
      lineStart = text.size();
      text += "  ";
    }
    std::snprintf(number, sizeof number, "%02x", value.data[i]);
    text += number;
    if (i + 1 < value.data.size()) text += ",";
  }
  return text;
}

std::string valueText(const std::string& name, const StoreValue& value,
                      const std::string& newline) {
  const std::string prefix = quotedName(name) + "=";
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = 0;
    for (int i = 3; i >= 0; --i) number = number << 8 | value.data[i];
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", number);
    return prefix + "dword:" + digits;
  }
  if (value.type == REG_SZ && fitsInQuotes(value.data))
    return prefix + "\"" + escaped(std::string(value.data.begin(), value.data.end() - 1)) + "\"";
  return hexText(prefix, value, newline);
}

// The new lines are read on their own, under their key line, before they go
// in: what they would mean in the file is then known without reading it again.
// Nothing else in the file changes its meaning, since a new line never ends in
// a continuation and a cut-short value before it is closed off first.
StoreDocument readAlone(const std::string& keyPath, const std::string& text) {
  return parseText(HEADER + "\n" + keyLineText(keyPath) + "\n" + text + "\n", StoreEncoding::Ansi);
}

bool readsBackAs(const StoreDocument& alone, const std::string& keyPath, const std::string& name,
                 const StoreValue& value) {
  StoreValue stored;
  return findStoreValue(alone, keyPath, name, &stored) && stored.type == value.type &&
         stored.data == value.data;
}

void placeValueLine(StoreDocument* store, const std::string& keyPath, StoreLine line) {
  int keyLine = findKeyLine(*store, keyPath);
  if (keyLine < 0) {
    appendKeyLine(store, keyPath);
    keyLine = static_cast<int>(store->lines.size()) - 1;
  }
  insertLineAfter(store, endOfSection(*store, static_cast<std::size_t>(keyLine)), std::move(line));
}

}  // namespace

StoreDocument newStore() { return parseText(HEADER + "\r\n\r\n", StoreEncoding::Ansi); }

StoreDocument parseStore(const std::string& bytes) {
  bool byteOrderMark = false;
  const StoreEncoding encoding = encodingOf(bytes, &byteOrderMark);
  if (encoding == StoreEncoding::Ansi) return parseText(bytes, encoding);
  std::string text;
  if (narrowUtf16(bytes, encoding, byteOrderMark, &text)) {
    StoreDocument store = parseText(text, encoding);
    store.byteOrderMark = byteOrderMark;
    return store;
  }
  StoreDocument store;
  store.health = StoreHealth::Unreadable;
  store.lines.push_back(plainLine(bytes));
  return store;
}

std::string renderStore(const StoreDocument& store) {
  const std::string text = joinLines(store);
  if (store.encoding == StoreEncoding::Ansi) return text;
  return widenToUtf16(text, store.encoding, store.byteOrderMark);
}

bool isStoreKeyPath(const std::string& keyPath) {
  if (keyPath.empty() || keyPath.front() == '\\' || keyPath.back() == '\\') return false;
  if (keyPath.find("\\\\") != std::string::npos) return false;
  for (char c : keyPath)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

bool isStoreValueName(const std::string& name) {
  return name.find_first_of("\r\n") == std::string::npos;
}

bool findStoreValue(const StoreDocument& store, const std::string& keyPath, const std::string& name,
                    StoreValue* value) {
  if (store.health != StoreHealth::Readable) return false;
  const int at = findValueLine(store, keyPath, name);
  if (at < 0) return false;
  value->type = store.lines[static_cast<std::size_t>(at)].type;
  value->data = store.lines[static_cast<std::size_t>(at)].data;
  return true;
}

// As on import, a key line makes every key above it exist too.
bool storeKeyExists(const StoreDocument& store, const std::string& keyPath) {
  if (store.health != StoreHealth::Readable) return false;
  for (const StoreLine& line : store.lines)
    if (line.kind == StoreLineKind::UserKey &&
        (sameText(line.keyPath, keyPath) || startsWithText(line.keyPath, keyPath + "\\")))
      return true;
  return false;
}

bool addStoreKey(StoreDocument* store, const std::string& keyPath) {
  if (store->health != StoreHealth::Readable || !isStoreKeyPath(keyPath)) return false;
  if (storeKeyExists(*store, keyPath)) return true;
  if (!storeKeyExists(readAlone(keyPath, ""), keyPath)) return false;
  appendKeyLine(store, keyPath);
  return true;
}

bool setStoreValue(StoreDocument* store, const std::string& keyPath, const std::string& name,
                   const StoreValue& value) {
  if (store->health != StoreHealth::Readable || !isStoreKeyPath(keyPath) || !isStoreValueName(name))
    return false;
  const std::string text = valueText(name, value, store->newline);
  const StoreDocument alone = readAlone(keyPath, text);
  if (!storeKeyExists(alone, keyPath) || !readsBackAs(alone, keyPath, name, value))
    return false;  // never leave a document that does not say what was asked
  StoreLine line = plainLine(text);
  line.kind = StoreLineKind::Value;
  line.keyPath = keyPath;
  line.valueName = name;
  line.type = value.type;
  line.data = value.data;
  const int existing = findValueLine(*store, keyPath, name);
  if (existing < 0) {
    placeValueLine(store, keyPath, std::move(line));
    return true;
  }
  StoreLine& old = store->lines[static_cast<std::size_t>(existing)];
  line.raw += lineEnding(old.raw);
  line.keyPath = old.keyPath;
  old = std::move(line);
  return true;
}
