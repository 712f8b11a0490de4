#include "platform/linux/proc_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/linux_sources.h"

namespace {

// Constant-initialised: the counter probes open their queries during static
// initialisation, possibly before any dynamic initialiser of this file runs.
char procRootText[ROOT_CAPACITY] = "/proc";
char sysRootText[ROOT_CAPACITY] = "/sys";

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

long readRetrying(int fd, char* into, std::size_t room) {
  for (;;) {
    ssize_t got = read(fd, into, room);
    if (got >= 0 || errno != EINTR) return static_cast<long>(got);
  }
}

// Moves the unread tail to the front and reads more behind it.
void refill(LineReader& reader) {
  std::size_t unread = reader.end - reader.start;
  std::memmove(reader.buffer, reader.buffer + reader.start, unread);
  reader.start = 0;
  reader.end = unread;
  long got = readRetrying(reader.fd, reader.buffer + unread, LINE_BUFFER_BYTES - unread);
  if (got < 0) reader.failed = true;
  if (got <= 0) reader.atEnd = true;
  if (got > 0) reader.end += static_cast<std::size_t>(got);
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

bool storeRoot(char* root, const char* dir, const char* fallback) {
  const char* chosen = dir != nullptr ? dir : fallback;
  std::size_t length = std::strlen(chosen);
  if (length == 0 || length >= ROOT_CAPACITY) return false;
  std::memcpy(root, chosen, length + 1);
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
  reader.fd = open(path, O_RDONLY | O_CLOEXEC);
  reader.start = 0;
  reader.end = 0;
  reader.atEnd = false;
  reader.failed = false;
  reader.dropping = false;
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

bool readSmallFile(const char* path, char* text, std::size_t capacity) {
  if (capacity == 0) return false;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t used = 0;
  long got = 1;
  while (got > 0 && used < capacity) {
    got = readRetrying(fd, text + used, capacity - used);
    if (got > 0) used += static_cast<std::size_t>(got);
  }
  close(fd);
  // A full buffer means the file may go on; such a file is not one of ours.
  if (got < 0 || used >= capacity) return false;
  while (used > 0 && (isBlank(text[used - 1]) || text[used - 1] == '\n')) --used;
  text[used] = '\0';
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
