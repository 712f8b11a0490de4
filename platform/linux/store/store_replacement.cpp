#include "platform/linux/store/store_replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/linux/store/store_complaints.h"

namespace {

// A save's own temporary file; one older than this was left by a save that
// was killed.
const char TEMPORARY_PREFIX[] = ".kivo.reg.";
constexpr std::size_t TEMPORARY_NAME_LENGTH = sizeof TEMPORARY_PREFIX - 1 + 6;
constexpr time_t LEFTOVER_AGE = 60;

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
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

}  // namespace

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
