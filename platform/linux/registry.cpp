// The registry calls over kivo.reg in the user's config directory. Every call
// reads the file afresh and every change replaces it whole, so two handles
// never disagree and nothing is cached between the start-up reads and the
// writes at close.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/store_file.h"

struct HKEY__ {
  std::string keyPath;
  bool canWrite;
};

namespace {

// Handles are checked against this list before use, so a stale or made-up
// handle gives ERROR_INVALID_HANDLE instead of touching freed memory.
std::vector<HKEY> openKeys;

// Settings take a few hundred bytes; anything this big is not a store we wrote,
// and it is left alone rather than read into memory.
constexpr std::size_t LARGEST_STORE = 16u << 20;

struct StoreOnDisk {
  std::string path;
  bool exists = false;
  std::string bytes;
  StoreDocument document;
};

enum class FileRead { Read, Missing, Failed };

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

FileRead readWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  const int fd =
      open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // a FIFO must not hang start-up
  if (fd < 0) return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
  struct stat info;
  bool whole = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  char chunk[4096];
  while (whole) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) whole = false;
    if (got > 0) bytes->append(chunk, static_cast<std::size_t>(got));
    if (bytes->size() > LARGEST_STORE) whole = false;
  }
  close(fd);
  return whole ? FileRead::Read : FileRead::Failed;
}

bool loadStoreForReading(StoreDocument* document) {
  std::string path;
  std::string bytes;
  if (!storeFilePath(&path) || readWholeFile(path, &bytes) != FileRead::Read) return false;
  *document = parseStore(bytes);
  return document->health == StoreHealth::Readable;
}

// False when there is a store that cannot be read back whole: replacing it
// would lose what the user put there.
bool loadStoreForChange(StoreOnDisk* store) {
  if (!storeFilePath(&store->path)) return false;
  switch (readWholeFile(store->path, &store->bytes)) {
    case FileRead::Missing:
      store->document = newStore();
      return true;
    case FileRead::Read:
      store->exists = true;
      store->document = parseStore(store->bytes);
      return store->document.health != StoreHealth::Unreadable;
    case FileRead::Failed:
      break;
  }
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

bool makeDirectories(const std::string& directory) {
  struct stat info;
  if (stat(directory.c_str(), &info) == 0) return true;
  std::size_t slash = 0;
  do {
    slash = directory.find('/', slash + 1);
    const std::string part = directory.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  } while (slash != std::string::npos);
  return true;
}

// rename() would replace a store the user made read-only (chmod a-w), root or
// not; that is taken as a wish to keep it as it is.
bool mayReplace(const std::string& target) {
  struct stat info;
  if (stat(target.c_str(), &info) != 0) return errno == ENOENT;
  return S_ISREG(info.st_mode) && (info.st_mode & 0222) != 0 && access(target.c_str(), W_OK) == 0;
}

bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
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

// Written beside the store and renamed over it, so a crash or a full disk
// leaves either the old store or the new one, never half of one.
bool replaceStoreFile(const std::string& path, const std::string& bytes) {
  const std::string target = followLinks(path);
  const std::string directory = directoryOf(target);
  if (!mayReplace(target) || !makeDirectories(directory)) return false;
  std::string temporary = directory + "/.kivo.reg.XXXXXX";
  const int fd = mkostemp(&temporary[0], O_CLOEXEC);
  if (fd < 0) return false;
  bool saved = fchmod(fd, 0600) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
  saved = close(fd) == 0 && saved;
  saved = saved && rename(temporary.c_str(), target.c_str()) == 0;
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
  return replaceStoreFile(store.path, bytes);
}

// What a write at close would meet, asked before handing out a key for it.
bool storeIsWritable(const std::string& path) {
  const std::string target = followLinks(path);
  return mayReplace(target) && access(directoryOf(target).c_str(), W_OK | X_OK) == 0;
}

bool isOpenKey(HKEY key) {
  return key != nullptr && std::find(openKeys.begin(), openKeys.end(), key) != openKeys.end();
}

HKEY handOutKey(const std::string& keyPath, REGSAM access) {
  HKEY key = new HKEY__{keyPath, (access & KEY_SET_VALUE) != 0};
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
  StoreDocument document;
  if (!loadStoreForReading(&document) || !storeKeyExists(document, subKey))
    return ERROR_FILE_NOT_FOUND;
  *result = handOutKey(subKey, access);
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
  if (!isOpenKey(key)) return ERROR_INVALID_HANDLE;
  if (reserved != nullptr || (data != nullptr && dataSize == nullptr))
    return ERROR_INVALID_PARAMETER;
  StoreDocument document;
  StoreValue value;
  if (!loadStoreForReading(&document) ||
      !findStoreValue(document, key->keyPath, valueName != nullptr ? valueName : "", &value))
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
  if (!loadStoreForChange(&store)) return ERROR_ACCESS_DENIED;
  const bool existed = storeKeyExists(store.document, subKey);
  const bool ready = existed ? storeIsWritable(store.path)
                             : addStoreKey(&store.document, subKey) && saveStore(store);
  if (!ready) return ERROR_ACCESS_DENIED;
  if (disposition != nullptr)
    *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = handOutKey(subKey, access);
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
  StoreOnDisk store;
  if (!loadStoreForChange(&store) || !setStoreValue(&store.document, key->keyPath, name, value) ||
      !saveStore(store))
    return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  const auto found = std::find(openKeys.begin(), openKeys.end(), key);
  if (key == nullptr || found == openKeys.end()) return ERROR_INVALID_HANDLE;
  openKeys.erase(found);
  delete key;
  return ERROR_SUCCESS;
}
