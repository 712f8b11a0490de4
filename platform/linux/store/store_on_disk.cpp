#include "platform/linux/store/store_on_disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/store/store_complaints.h"
#include "platform/linux/store/store_replacement.h"

namespace {

// Settings take a few hundred bytes; anything this big is not a store we wrote,
// and it is left alone rather than read into memory.
constexpr std::size_t LARGEST_STORE = 16u << 20;

enum class FileRead { Read, Missing, Failed };

const char UNREADABLE[] = "no registry header in a form Kivo reads; the file is left as it is";

bool isAbsolute(const char* directory) { return directory != nullptr && directory[0] == '/'; }

// ${XDG_CONFIG_HOME:-$HOME/.config}/kivo/kivo.reg, as the XDG base directory
// rules have it: a relative XDG_CONFIG_HOME is ignored.
bool storeFilePath(std::string* path) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (isAbsolute(config)) {
    *path = std::string(config) + "/kivo/kivo.reg";
  } else if (isAbsolute(home)) {
    *path = std::string(home) + "/.config/kivo/kivo.reg";
  } else {
    return false;
  }
  return true;
}

FileRead readWholeFile(const std::string& path, std::string* bytes, std::string* reason) {
  bytes->clear();
  const int fd =
      open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // a FIFO must not hang start-up
  if (fd < 0) {
    *reason = std::strerror(errno);
    return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
  }
  struct stat info;
  bool whole = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (!whole) *reason = "not a regular file";
  if (whole && static_cast<std::size_t>(info.st_size) <= LARGEST_STORE)
    bytes->reserve(static_cast<std::size_t>(info.st_size));
  char chunk[65536];
  while (whole) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *reason = std::strerror(errno);
      whole = false;
    }
    if (got > 0) bytes->append(chunk, static_cast<std::size_t>(got));
    if (bytes->size() > LARGEST_STORE) {
      *reason = "larger than 16 MB, not a store Kivo wrote";
      whole = false;
    }
  }
  close(fd);
  return whole ? FileRead::Read : FileRead::Failed;
}

// A file of nothing but blank lines holds nothing to keep: it is a new store.
bool isBlankFile(const std::string& bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

}  // namespace

bool loadStore(StoreOnDisk* store, bool forChange) {
  std::string reason;
  if (!storeFilePath(&store->path)) {
    if (forChange) complainAboutSaving("", "neither XDG_CONFIG_HOME nor HOME is an absolute path");
    return false;
  }
  const FileRead read = readWholeFile(store->path, &store->bytes, &reason);
  if (read == FileRead::Failed) {
    (forChange ? complainAboutSaving : complainAboutReading)(store->path, reason);
    return false;
  }
  store->exists = read == FileRead::Read;
  if (!store->exists || isBlankFile(store->bytes)) {
    store->document = newStore();
    return forChange;
  }
  store->document = parseStore(store->bytes);
  if (store->document.health == StoreHealth::Readable) return true;
  // Said once, whether it is met at start-up or at close.
  (forChange ? complainAboutSaving : complainAboutReading)(store->path, UNREADABLE);
  return false;
}

bool saveStore(const StoreOnDisk& store) {
  const std::string bytes = renderStore(store.document);
  if (store.exists && bytes == store.bytes) return true;
  std::string reason;
  if (replaceStoreFile(store.path, bytes, &reason)) return true;
  complainAboutSaving(store.path, reason);
  return false;
}
