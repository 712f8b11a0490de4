// Parsing text in place: a span is walked by hand instead of copied into a
// string, so the readings parse /proc every second without the heap.
#pragma once

#include <cstddef>

// A piece of text that is not zero-terminated.
struct TextSpan {
  const char* text;
  std::size_t length;
};

bool isBlank(char c);
void skipBlanks(TextSpan& rest);
bool spanEquals(TextSpan span, const char* word);
// Splits span at the first occurrence of mark: head before it, rest after it.
bool splitAt(TextSpan span, char mark, TextSpan& head, TextSpan& rest);
// Skips blanks, then takes a run of decimal digits. False when there is no
// digit or the number does not fit 64 bits; what follows is the caller's to judge.
bool takeNumber(TextSpan& rest, unsigned long long& value);
// Skips blanks, then takes the run of characters up to the next blank.
bool takeWord(TextSpan& rest, TextSpan& word);
// The whole span as a hexadecimal number of at most 64 bits.
bool spanHex(TextSpan span, unsigned long long& value);
