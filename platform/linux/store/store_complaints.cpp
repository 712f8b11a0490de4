#include "platform/linux/store/store_complaints.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

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

}  // namespace

void complainAboutReading(const std::string& path, const std::string& reason) {
  complain("read from", path, reason);
}

void complainAboutSaving(const std::string& path, const std::string& reason) {
  complain(path.empty() ? "saved" : "saved to", path, reason);
}

void forgetStoreComplaints() { reasonsGiven.clear(); }
