// Reading /proc and /sys without touching the heap. The monitor polls these
// files every second for as long as it runs, so every reader here works in
// fixed buffers, the files read every second stay open and are read again
// from their start, and every parser walks a span by hand.
#pragma once

#include <cstddef>

// Room for a root directory given through linux_sources.h, terminator included.
constexpr std::size_t ROOT_CAPACITY = 256;
// Room for any path built below a root: root, a directory entry name (at most
// 255 bytes) and a short file name.
constexpr std::size_t PATH_CAPACITY_BYTES = 640;
// A line longer than this is handed out cut; none of the lines we parse comes close.
constexpr std::size_t LINE_BUFFER_BYTES = 4096;

// A piece of text that is not zero-terminated.
struct TextSpan {
  const char* text;
  std::size_t length;
};

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

const char* procRoot();
const char* sysRoot();
// Changes whenever a root is set: whatever was worked out from the old roots is stale.
unsigned rootsGeneration();
// Monotonic nanoseconds from the clock given to setMonotonicClock.
unsigned long long monotonicNanos();
// Copies dir (or fallback when dir is null) into a ROOT_CAPACITY array; false,
// leaving root alone, when the chosen text is empty or does not fit.
bool storeRoot(char* root, const char* dir, const char* fallback);

// Joins root, "/"-free relative parts into out; false when it would not fit.
bool joinPath(char* out, std::size_t capacity, const char* root, const char* first,
              const char* second = nullptr, const char* third = nullptr);

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
