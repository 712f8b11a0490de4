#include "platform/linux/text/ansi_text.h"

namespace {

// 0x80..0x9F is where code page 1252 differs from Latin-1.
const char16_t HIGH_CONTROLS[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::size_t utf8Length(char32_t code) {
  if (code < 0x80) return 1;
  return code < 0x800 ? 2 : 3;
}

void putUtf8(char32_t code, char* out) {
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
  } else if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out[0] = static_cast<char>(0xE0 | (code >> 12));
    out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The code point starting at `text`, advancing it; U+FFFD for a malformed or
// overlong sequence, which then consumes one byte.
char32_t nextCodePoint(const unsigned char*& text) {
  const unsigned char lead = *text++;
  if (lead < 0x80) return lead;
  const int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (extra < 0 || lead >= 0xF5) return 0xFFFD;
  char32_t code = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0xFFFD;
    code = (code << 6) | (text[i] & 0x3F);
  }
  const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
  if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
    return 0xFFFD;
  }
  text += extra;
  return code;
}

char ansiOf(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code < 0x100)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    if (HIGH_CONTROLS[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

char32_t unicodeOfAnsi(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return HIGH_CONTROLS[byte - 0x80];
  return byte;
}

std::size_t ansiToUtf8(const char* text, std::size_t length, char* out, std::size_t outSize) {
  if (outSize == 0) return 0;
  std::size_t written = 0;
  for (std::size_t i = 0; text && i < length && text[i] != '\0'; ++i) {
    const char32_t code = unicodeOfAnsi(static_cast<unsigned char>(text[i]));
    const std::size_t needed = utf8Length(code);
    if (written + needed >= outSize) break;
    putUtf8(code, out + written);
    written += needed;
  }
  out[written] = '\0';
  return written;
}

std::size_t utf8ToAnsi(const char* text, char* out, std::size_t outSize) {
  if (outSize == 0) return 0;
  std::size_t written = 0;
  const auto* next = reinterpret_cast<const unsigned char*>(text ? text : "");
  while (*next && written + 1 < outSize) out[written++] = ansiOf(nextCodePoint(next));
  out[written] = '\0';
  return written;
}
