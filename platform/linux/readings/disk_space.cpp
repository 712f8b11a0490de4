// Free space on drive "c:\", from statfs of the filesystem that stands for it.
#include "platform/system_status.h"

#include <sys/statfs.h>

#include <strings.h>

#include "platform/linux/readings/reading_roots.h"
#include "platform/linux/readings/reading_sources.h"

namespace {

// Constant-initialised, so a call made during static initialisation finds it set.
char diskRootText[ROOT_CAPACITY] = "/";

bool namesDriveC(const char* directory) {
  return strcasecmp(directory, "c:\\") == 0 || strcasecmp(directory, "c:") == 0 ||
         strcasecmp(directory, "c:/") == 0;
}

unsigned long long blocksInBytes(unsigned long long blocks, unsigned long long blockBytes) {
  unsigned long long bytes = 0;
  return __builtin_mul_overflow(blocks, blockBytes, &bytes) ? ~0ULL : bytes;
}

void putBytes(PULARGE_INTEGER out, unsigned long long bytes) {
  if (out != nullptr) out->QuadPart = bytes;
}

}  // namespace

bool setDiskRoot(const char* path) { return setRootText(diskRootText, path, "/"); }

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalBytes, PULARGE_INTEGER totalFreeBytes) {
  // Without a directory Windows asks about the current one.
  const char* path = directory == nullptr ? "." : directory;
  if (namesDriveC(path)) path = diskRootText;
  // statfs rather than statvfs: glibc's statvfs may scan the mount table for
  // the mount flags, and that allocates.
  struct statfs figures {};
  if (statfs(path, &figures) != 0) return FALSE;
  unsigned long long blockBytes =
      static_cast<unsigned long long>(figures.f_frsize != 0 ? figures.f_frsize : figures.f_bsize);
  putBytes(freeBytesAvailableToCaller, blocksInBytes(figures.f_bavail, blockBytes));
  putBytes(totalBytes, blocksInBytes(figures.f_blocks, blockBytes));
  // ext4 keeps blocks back for root: counted as free, they are space that an
  // ordinary user's writes fail on. A Windows volume has no such reserve, so
  // both free figures are what the user can write, as df's Avail column.
  putBytes(totalFreeBytes, blocksInBytes(figures.f_bavail, blockBytes));
  return TRUE;
}
