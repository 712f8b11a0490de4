// The registry calls over kivo.reg in the user's config directory. A key
// handle reads and parses the file once, when it is opened; its changes stay
// in memory and are written in one go when it is closed, so a save lands whole
// or leaves the old file whole. Nothing here needs the display: the save at
// log-out runs after the X connection is gone.
//
// When the file cannot be read or written, one line on stderr says which file
// and why; the same reason is not repeated within a run.
#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/linux/readings/linux_sources.h"
#include "platform/linux/store/store_file.h"

namespace {

struct StoreOnDisk {
  std::string path;
  bool exists = false;
  std::string bytes;
  StoreDocument document;
};

}  // namespace

struct HKEY__ {
  std::string keyPath;
  bool canWrite;
  StoreOnDisk store;  // as read at open, with this key's changes
  bool changed;
};

namespace {

// Handles are checked against this list before use, so a stale or made-up
// handle gives ERROR_INVALID_HANDLE instead of touching freed memory.
std::vector<HKEY> openKeys;

// Settings take a few hundred bytes; anything this big is not a store we wrote,
// and it is left alone rather than read into memory.
constexpr std::size_t LARGEST_STORE = 16u << 20;

// A save's own temporary file; one older than this was left by a save that
// was killed.
const char TEMPORARY_PREFIX[] = ".kivo.reg.";
constexpr std::size_t TEMPORARY_NAME_LENGTH = sizeof TEMPORARY_PREFIX - 1 + 6;
constexpr time_t LEFTOVER_AGE = 60;

enum class FileRead { Read, Missing, Failed };

std::vector<std::string> reasonsGiven;

// The path as the user would type it.
std::string shownPath(const std::string& path) {
  const char* home = std::getenv("HOME");
  const std::size_t length = home != nullptr ? std::strlen(home) : 0;
  if (length > 1 && path.compare(0, length, home) == 0 && path[length] == '/')
    return "~" + path.substr(length);
  return path;
}

void complain(const char* what, const std::string& path, const std::string& reason) {
  if (std::find(reasonsGiven.begin(), reasonsGiven.end(), reason) != reasonsGiven.end()) return;
  reasonsGiven.push_back(reason);
  const std::string where = path.empty() ? "" : " " + shownPath(path);
  std::fprintf(stderr, "kivo: settings not %s%s: %s\n", what, where.c_str(), reason.c_str());
}

void complainAboutReading(const std::string& path, const std::string& reason) {
  complain("read from", path, reason);
}

void complainAboutSaving(const std::string& path, const std::string& reason) {
  complain(path.empty() ? "saved" : "saved to", path, reason);
}

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

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
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

// False when there is no store, or one that cannot be read back whole:
// replacing it would lose what the user put there. It says why, except when
// the store simply does not exist yet.
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

// Dotfile managers link kivo.reg into a repository; the file is replaced where
// the link points, so the link itself survives.
std::string followLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    std::vector<char> target(4096);
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return path;
    std::string next(target.data(), static_cast<std::size_t>(length));
    path = next[0] == '/' ? next : directoryOf(path) + "/" + next;
  }
  return path;
}

bool makeDirectories(const std::string& directory, std::string* reason) {
  struct stat info;
  if (stat(directory.c_str(), &info) == 0) return true;
  std::size_t slash = 0;
  do {
    slash = directory.find('/', slash + 1);
    const std::string part = directory.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *reason = std::strerror(errno);
      return false;
    }
  } while (slash != std::string::npos);
  return true;
}

// rename() would replace a store the user made read-only (chmod a-w), root or
// not; that is taken as a wish to keep it as it is.
bool mayReplace(const std::string& target, std::string* reason) {
  struct stat info;
  if (stat(target.c_str(), &info) != 0) {
    *reason = std::strerror(errno);
    return errno == ENOENT;
  }
  if (!S_ISREG(info.st_mode)) {
    *reason = "not a regular file";
    return false;
  }
  if ((info.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0) {
    *reason = "the file is read-only";
    return false;
  }
  return true;
}

bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote == 0) errno = ENOSPC;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

void syncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool isLeftoverName(const char* name) {
  return std::strlen(name) == TEMPORARY_NAME_LENGTH &&
         std::strncmp(name, TEMPORARY_PREFIX, sizeof TEMPORARY_PREFIX - 1) == 0;
}

// A save killed between writing its temporary file and renaming it leaves the
// file behind. One younger than a minute may belong to a save still running.
void removeLeftovers(const std::string& directory) {
  DIR* folder = opendir(directory.c_str());
  if (folder == nullptr) return;
  const time_t now = std::time(nullptr);
  while (const dirent* entry = readdir(folder)) {
    if (!isLeftoverName(entry->d_name)) continue;
    struct stat info;
    if (fstatat(dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode) && info.st_mtime + LEFTOVER_AGE < now)
      unlinkat(dirfd(folder), entry->d_name, 0);
  }
  closedir(folder);
}

// Written beside the store and renamed over it, so a crash or a full disk
// leaves either the old store or the new one, never half of one.
bool replaceStoreFile(const std::string& path, const std::string& bytes, std::string* reason) {
  const std::string target = followLinks(path);
  const std::string directory = directoryOf(target);
  if (!mayReplace(target, reason) || !makeDirectories(directory, reason)) return false;
  removeLeftovers(directory);
  std::string temporary = directory + "/" + TEMPORARY_PREFIX + "XXXXXX";
  const int fd = mkostemp(&temporary[0], O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  bool saved = fchmod(fd, 0600) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
  if (!saved) *reason = std::strerror(errno);
  if (close(fd) != 0 && saved) {
    *reason = std::strerror(errno);
    saved = false;
  }
  if (saved && rename(temporary.c_str(), target.c_str()) != 0) {
    *reason = std::strerror(errno);
    saved = false;
  }
  if (!saved) {
    unlink(temporary.c_str());
    return false;
  }
  syncDirectory(directory);
  return true;
}

bool saveStore(const StoreOnDisk& store) {
  const std::string bytes = renderStore(store.document);
  if (store.exists && bytes == store.bytes) return true;
  std::string reason;
  if (replaceStoreFile(store.path, bytes, &reason)) return true;
  complainAboutSaving(store.path, reason);
  return false;
}

// What the write at close would meet, asked before handing out a key for it.
bool storeIsWritable(const std::string& path) {
  const std::string target = followLinks(path);
  std::string reason;
  if (!mayReplace(target, &reason)) {
    complainAboutSaving(path, reason);
    return false;
  }
  const std::string directory = directoryOf(target);
  if (access(directory.c_str(), F_OK) == 0 && access(directory.c_str(), W_OK | X_OK) != 0) {
    complainAboutSaving(path, std::strerror(errno));
    return false;
  }
  return true;
}

bool isOpenKey(HKEY key) {
  return key != nullptr && std::find(openKeys.begin(), openKeys.end(), key) != openKeys.end();
}

HKEY handOutKey(const std::string& keyPath, REGSAM access, StoreOnDisk* store, bool changed) {
  HKEY key = new HKEY__{keyPath, (access & KEY_SET_VALUE) != 0, std::move(*store), changed};
  openKeys.push_back(key);
  return key;
}

// Kivo only ever names keys below HKEY_CURRENT_USER.
LSTATUS checkKeyRequest(HKEY root, LPCSTR subKey, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (root != HKEY_CURRENT_USER) return ERROR_INVALID_HANDLE;
  if (subKey == nullptr || !isStoreKeyPath(subKey)) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM access, PHKEY result) {
  const LSTATUS request = checkKeyRequest(key, subKey, result);
  if (request != ERROR_SUCCESS) return request;
  StoreOnDisk store;
  if (!loadStore(&store, false) || !storeKeyExists(store.document, subKey))
    return ERROR_FILE_NOT_FOUND;
  *result = handOutKey(subKey, access, &store, false);
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
  if (!isOpenKey(key)) return ERROR_INVALID_HANDLE;
  if (reserved != nullptr || (data != nullptr && dataSize == nullptr))
    return ERROR_INVALID_PARAMETER;
  StoreValue value;
  if (!findStoreValue(key->store.document, key->keyPath, valueName != nullptr ? valueName : "",
                      &value))
    return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value.type;
  if (dataSize == nullptr) return ERROR_SUCCESS;
  const DWORD needed = static_cast<DWORD>(value.data.size());
  if (data != nullptr && needed > *dataSize) {
    *dataSize = needed;  // as Windows does, so the caller can size a buffer
    return ERROR_MORE_DATA;
  }
  if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
  *dataSize = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/,
                        DWORD /*options*/, REGSAM access, LPSECURITY_ATTRIBUTES /*security*/,
                        PHKEY result, LPDWORD disposition) {
  const LSTATUS request = checkKeyRequest(key, subKey, result);
  if (request != ERROR_SUCCESS) return request;
  StoreOnDisk store;
  if (!loadStore(&store, true) || !storeIsWritable(store.path)) return ERROR_ACCESS_DENIED;
  const bool existed = storeKeyExists(store.document, subKey);
  if (!existed && !addStoreKey(&store.document, subKey)) return ERROR_ACCESS_DENIED;
  if (disposition != nullptr)
    *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = handOutKey(subKey, access, &store, !existed);
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                       DWORD dataSize) {
  if (!isOpenKey(key)) return ERROR_INVALID_HANDLE;
  if (!key->canWrite) return ERROR_ACCESS_DENIED;
  const std::string name = valueName != nullptr ? valueName : "";
  if ((data == nullptr && dataSize != 0) || !isStoreValueName(name)) return ERROR_INVALID_PARAMETER;
  StoreValue value;
  value.type = type;
  if (dataSize != 0) value.data.assign(data, data + dataSize);
  if (!setStoreValue(&key->store.document, key->keyPath, name, value)) return ERROR_ACCESS_DENIED;
  key->changed = true;
  return ERROR_SUCCESS;
}

// A key's changes are written here, all together; a failed save is said on
// stderr and leaves the old file as it was.
LSTATUS RegCloseKey(HKEY key) {
  const auto found = std::find(openKeys.begin(), openKeys.end(), key);
  if (key == nullptr || found == openKeys.end()) return ERROR_INVALID_HANDLE;
  openKeys.erase(found);
  const bool saved = !key->changed || saveStore(key->store);
  delete key;
  return saved ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

void forgetStoreComplaints() { reasonsGiven.clear(); }
