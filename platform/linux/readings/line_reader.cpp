#include "platform/linux/readings/line_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/readings/reading_roots.h"

namespace {

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
  if (file.fd >= 0 && file.rootsSeen == rootsGeneration()) return true;
  letGo(file);
  file.fd = open(path, O_RDONLY | O_CLOEXEC);
  file.rootsSeen = rootsGeneration();
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
