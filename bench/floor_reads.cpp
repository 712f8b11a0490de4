#include "floor_reads.h"

#include <fcntl.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr std::size_t READ_BUFFER_BYTES = 16384;
constexpr std::size_t LINE_BUFFER_BYTES = 4096;  // the strip's line reader reads this much at once
// Offsets inside a linux_dirent64 record; glibc declares no such struct.
constexpr std::size_t DIRENT_RECLEN_OFFSET = 16;
constexpr std::size_t DIRENT_NAME_OFFSET = 19;

std::size_t readWhole(const char* path) {
  char buffer[READ_BUFFER_BYTES];
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t total = 0;
  for (ssize_t got = 0; (got = read(fd, buffer, sizeof buffer)) > 0;)
    total += static_cast<std::size_t>(got);
  close(fd);
  return total;
}

// The strip stops at the first line of /proc/stat, the total: one read.
std::size_t readFirstChunk(const char* path) {
  char buffer[LINE_BUFFER_BYTES];
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t got = read(fd, buffer, sizeof buffer);
  close(fd);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

// Each supply's type file is read and no more: the strip reads one to three
// further files per supply depending on the type, which only a parse tells.
std::size_t readPowerSupplies() {
  const char* const supplies = "/sys/class/power_supply";
  alignas(8) char entries[2048];
  const int fd = open(supplies, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t total = 0;
  for (long got = 0; (got = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0;) {
    for (std::size_t offset = 0; offset + DIRENT_NAME_OFFSET < static_cast<std::size_t>(got);) {
      unsigned short recordLength = 0;
      std::memcpy(&recordLength, entries + offset + DIRENT_RECLEN_OFFSET, sizeof recordLength);
      if (recordLength <= DIRENT_NAME_OFFSET) break;
      const char* name = entries + offset + DIRENT_NAME_OFFSET;
      if (name[0] != '.') {
        char path[640];
        std::strcpy(path, supplies);
        std::strcat(path, "/");
        std::strncat(path, name, 255);
        std::strcat(path, "/type");
        total += readWhole(path);
      }
      offset += recordLength;
    }
  }
  close(fd);
  return total;
}

}  // namespace

std::size_t readTextViewSources() {
  std::size_t total = readFirstChunk("/proc/stat");
  total += readWhole("/proc/net/dev");
  total += readWhole("/proc/net/dev");
  total += readWhole("/proc/meminfo");
  // statfs, as the strip asks: glibc's statvfs adds work of its own on top.
  struct statfs disk {};
  if (statfs("/", &disk) == 0) total += static_cast<std::size_t>(disk.f_bfree & 1);
  return total + readPowerSupplies();
}

std::size_t readBarViewSources() { return readWhole("/proc/meminfo"); }
