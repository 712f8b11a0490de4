#include "platform/linux/text/text_span.h"

#include <cstring>

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

void skipBlanks(TextSpan& rest) {
  while (rest.length > 0 && isBlank(rest.text[0])) {
    ++rest.text;
    --rest.length;
  }
}

bool spanEquals(TextSpan span, const char* word) {
  std::size_t length = std::strlen(word);
  return span.length == length && std::memcmp(span.text, word, length) == 0;
}

bool splitAt(TextSpan span, char mark, TextSpan& head, TextSpan& rest) {
  const char* found = static_cast<const char*>(std::memchr(span.text, mark, span.length));
  if (found == nullptr) return false;
  head.text = span.text;
  head.length = static_cast<std::size_t>(found - span.text);
  rest.text = found + 1;
  rest.length = span.length - head.length - 1;
  return true;
}

bool takeWord(TextSpan& rest, TextSpan& word) {
  skipBlanks(rest);
  std::size_t length = 0;
  while (length < rest.length && !isBlank(rest.text[length])) ++length;
  word = {rest.text, length};
  rest.text += length;
  rest.length -= length;
  return length > 0;
}

bool spanHex(TextSpan span, unsigned long long& value) {
  if (span.length == 0 || span.length > 16) return false;
  unsigned long long sum = 0;
  for (std::size_t i = 0; i < span.length; ++i) {
    char c = span.text[i];
    unsigned digit = 0;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<unsigned>(c - 'A' + 10);
    else
      return false;
    sum = sum * 16 + digit;
  }
  value = sum;
  return true;
}

bool takeNumber(TextSpan& rest, unsigned long long& value) {
  skipBlanks(rest);
  std::size_t digits = 0;
  unsigned long long sum = 0;
  while (digits < rest.length && rest.text[digits] >= '0' && rest.text[digits] <= '9') {
    unsigned digit = static_cast<unsigned>(rest.text[digits] - '0');
    if (__builtin_mul_overflow(sum, 10ULL, &sum) || __builtin_add_overflow(sum, digit, &sum))
      return false;
    ++digits;
  }
  if (digits == 0) return false;
  rest.text += digits;
  rest.length -= digits;
  value = sum;
  return true;
}
