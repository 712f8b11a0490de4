// Kivo's strings are Windows "ANSI" bytes (code page 1252); FLTK, fontconfig
// and X properties want Unicode. These turn one into the other without the heap.
#pragma once

#include <cstddef>

// The Unicode code point of one code-page-1252 byte. Bytes that page leaves
// undefined map to the C1 control of the same value, as Windows maps them.
char32_t unicodeOfAnsi(unsigned char byte);

// Writes the UTF-8 form of the first `length` bytes of `text` (stopping early
// at a zero byte) into `out`, always terminated, cut at a whole character when
// `outSize` is short. Returns the bytes written without the terminator.
std::size_t ansiToUtf8(const char* text, std::size_t length, char* out, std::size_t outSize);

// The reverse: writes the code-page-1252 form of UTF-8 `text` into `out`,
// always terminated, at most outSize - 1 bytes (one per character, so a cut
// never splits one). A character the page lacks, or a malformed sequence,
// becomes '?', as Windows converts. Returns the bytes written.
std::size_t utf8ToAnsi(const char* text, char* out, std::size_t outSize);
