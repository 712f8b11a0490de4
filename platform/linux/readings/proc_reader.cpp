#include "platform/linux/readings/proc_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/linux/readings/linux_sources.h"

namespace {

// Constant-initialised: the counter probes open their queries during static
// initialisation, possibly before any dynamic initialiser of this file runs.
char procRootText[ROOT_CAPACITY] = "/proc";
char sysRootText[ROOT_CAPACITY] = "/sys";
unsigned rootsSet = 1;

// steady_clock is CLOCK_MONOTONIC on Linux.
unsigned long long systemMonotonicNanos() {
  auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<unsigned long long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceBoot).count());
}

MonotonicNanos monotonicClock = systemMonotonicNanos;

bool appendPart(char* out, std::size_t capacity, std::size_t& used, const char* part) {
  if (part == nullptr) return true;
  std::size_t length = std::strlen(part);
  bool needsSlash = used > 0 && out[used - 1] != '/';
  std::size_t after = used + (needsSlash ? 1 : 0) + length;
  if (after >= capacity) return false;
  if (needsSlash) out[used++] = '/';
  std::memcpy(out + used, part, length);
  used = after;
  out[used] = '\0';
  return true;
}

long readRetrying(int fd, char* into, std::size_t room, long long offset) {
  for (;;) {
    ssize_t got = pread(fd, into, room, static_cast<off_t>(offset));
    if (got >= 0 || errno != EINTR) return static_cast<long>(got);
  }
}

// Moves the unread tail to the front and reads more behind it. The kernel's
// generated files, like regular ones, fill a read as far as they go, so a
// short read is the end of the file and needs no empty read to confirm it.
void refill(LineReader& reader) {
  std::size_t unread = reader.end - reader.start;
  std::memmove(reader.buffer, reader.buffer + reader.start, unread);
  reader.start = 0;
  reader.end = unread;
  std::size_t room = LINE_BUFFER_BYTES - unread;
  long got = readRetrying(reader.fd, reader.buffer + unread, room, reader.offset);
  if (got < 0) reader.failed = true;
  if (got < static_cast<long>(room)) reader.atEnd = true;
  if (got > 0) {
    reader.end += static_cast<std::size_t>(got);
    reader.offset += got;
  }
}

void startReading(LineReader& reader, int fd) {
  reader.fd = fd;
  reader.offset = 0;
  reader.start = 0;
  reader.end = 0;
  reader.atEnd = false;
  reader.failed = false;
  reader.dropping = false;
}

bool keepOpen(KeptFile& file, const char* path) {
  if (file.fd >= 0 && file.rootsSeen == rootsSet) return true;
  letGo(file);
  file.fd = open(path, O_RDONLY | O_CLOEXEC);
  file.rootsSeen = rootsSet;
  return file.fd >= 0;
}

// Trailing white space and newlines go; the text is zero-terminated.
void endText(char* text, std::size_t used) {
  while (used > 0 && (isBlank(text[used - 1]) || text[used - 1] == '\n')) --used;
  text[used] = '\0';
}

const char* findNewline(const LineReader& reader) {
  return static_cast<const char*>(
      std::memchr(reader.buffer + reader.start, '\n', reader.end - reader.start));
}

// Throws away what is left of an overlong line, up to and including its newline.
void dropRestOfLine(LineReader& reader) {
  while (reader.dropping) {
    const char* newline = findNewline(reader);
    if (newline != nullptr) {
      reader.start = static_cast<std::size_t>(newline - reader.buffer) + 1;
      reader.dropping = false;
    } else if (reader.atEnd) {
      reader.start = reader.end;
      reader.dropping = false;
    } else {
      reader.start = reader.end;
      refill(reader);
    }
  }
}

}  // namespace

bool setProcRoot(const char* dir) { return storeRoot(procRootText, dir, "/proc"); }
bool setSysRoot(const char* dir) { return storeRoot(sysRootText, dir, "/sys"); }
const char* procRoot() { return procRootText; }
const char* sysRoot() { return sysRootText; }
unsigned rootsGeneration() { return rootsSet; }

void setMonotonicClock(MonotonicNanos clock) {
  monotonicClock = clock != nullptr ? clock : systemMonotonicNanos;
}

unsigned long long monotonicNanos() { return monotonicClock(); }

bool storeRoot(char* root, const char* dir, const char* fallback) {
  const char* chosen = dir != nullptr ? dir : fallback;
  std::size_t length = std::strlen(chosen);
  if (length == 0 || length >= ROOT_CAPACITY) return false;
  std::memcpy(root, chosen, length + 1);
  ++rootsSet;
  return true;
}

bool joinPath(char* out, std::size_t capacity, const char* root, const char* first,
              const char* second, const char* third) {
  if (capacity == 0) return false;
  out[0] = '\0';
  std::size_t used = 0;
  return appendPart(out, capacity, used, root) && appendPart(out, capacity, used, first) &&
         appendPart(out, capacity, used, second) && appendPart(out, capacity, used, third);
}

bool openLines(LineReader& reader, const char* path) {
  startReading(reader, open(path, O_RDONLY | O_CLOEXEC));
  return reader.fd >= 0;
}

bool nextLine(LineReader& reader, TextSpan& line, bool& cut) {
  dropRestOfLine(reader);
  const char* newline = findNewline(reader);
  while (newline == nullptr && !reader.atEnd && reader.end - reader.start < LINE_BUFFER_BYTES) {
    refill(reader);
    newline = findNewline(reader);
  }
  if (reader.failed) return false;
  line.text = reader.buffer + reader.start;
  cut = false;
  if (newline != nullptr) {
    line.length = static_cast<std::size_t>(newline - line.text);
    reader.start += line.length + 1;
    return true;
  }
  // No newline: either the last line of the file lacks one, or the line fills the buffer.
  line.length = reader.end - reader.start;
  reader.start = reader.end;
  if (line.length == 0) return false;
  cut = !reader.atEnd;
  reader.dropping = cut;
  return true;
}

void closeLines(LineReader& reader) {
  if (reader.fd >= 0) close(reader.fd);
  reader.fd = -1;
}

bool beginPass(LineReader& reader, KeptFile& file, const char* path) {
  if (!keepOpen(file, path)) return false;
  startReading(reader, file.fd);
  return true;
}

void endPass(const LineReader& reader, KeptFile& file) {
  if (reader.failed) letGo(file);
}

void letGo(KeptFile& file) {
  if (file.fd >= 0) close(file.fd);
  file.fd = -1;
}

bool readSmallFile(const char* path, char* text, std::size_t capacity) {
  KeptFile once = NOT_OPENED;
  bool read = readKeptSmallFile(once, path, text, capacity);
  letGo(once);
  return read;
}

// A full buffer means the file may go on; such a file is not one of ours.
bool readKeptSmallFile(KeptFile& file, const char* path, char* text, std::size_t capacity) {
  if (capacity == 0 || !keepOpen(file, path)) return false;
  long got = readRetrying(file.fd, text, capacity, 0);
  if (got < 0) letGo(file);
  if (got < 0 || static_cast<std::size_t>(got) >= capacity) return false;
  endText(text, static_cast<std::size_t>(got));
  return true;
}

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
