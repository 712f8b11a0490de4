// Reading /proc and /sys without touching the heap. The monitor polls these
// files every second for as long as it runs, so every reader here works in
// fixed buffers, and the files read every second stay open and are read again
// from their start.
#pragma once

#include <cstddef>

#include "platform/linux/text/text_span.h"

// A line longer than this is handed out cut; none of the lines we parse comes close.
constexpr std::size_t LINE_BUFFER_BYTES = 4096;

// One file read line by line through a fixed buffer.
struct LineReader {
  int fd;
  long long offset;   // where the next read starts in the file
  std::size_t start;  // first unread byte in buffer
  std::size_t end;    // one past the last byte read into buffer
  bool atEnd;
  bool failed;
  bool dropping;  // skipping the rest of a line that did not fit
  char buffer[LINE_BUFFER_BYTES];
};

// A file opened once and read again from its start on every pass. Its
// descriptor goes when a pass fails or a root is set, so the next pass opens
// the file afresh.
struct KeptFile {
  int fd;
  unsigned rootsSeen;  // rootsGeneration() when it was opened
};
constexpr KeptFile NOT_OPENED = {-1, 0};

bool openLines(LineReader& reader, const char* path);
// The next line without its newline. cut is set when the line was longer than
// the buffer; the rest of such a line is skipped. False at the end of the file
// or on a read error (then reader.failed is set).
bool nextLine(LineReader& reader, TextSpan& line, bool& cut);
void closeLines(LineReader& reader);
// The same over a kept file: beginPass opens it when it is not open yet and
// reads from its start; endPass lets it go when the pass failed.
bool beginPass(LineReader& reader, KeptFile& file, const char* path);
void endPass(const LineReader& reader, KeptFile& file);
// readSmallFile over a kept file: one read at offset 0.
bool readKeptSmallFile(KeptFile& file, const char* path, char* text, std::size_t capacity);
void letGo(KeptFile& file);

// Reads a small file whole into text, zero-terminated, with trailing white
// space removed. False when the file cannot be read or does not fit.
bool readSmallFile(const char* path, char* text, std::size_t capacity);
