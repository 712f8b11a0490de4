// A throwaway directory that stands in for /proc, /sys or a disk in the
// platform contract tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

struct FixtureTree {
  std::string root;

  FixtureTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kivo-fixture-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) root = pattern;
  }
  ~FixtureTree() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
  FixtureTree(const FixtureTree&) = delete;
  FixtureTree& operator=(const FixtureTree&) = delete;

  std::string path(const std::string& relative) const { return root + "/" + relative; }

  // Writes the file, making its directories; replaces what was there.
  void write(const std::string& relative, const std::string& content) const {
    std::filesystem::path file = path(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
  }

  void remove(const std::string& relative) const {
    std::error_code ignored;
    std::filesystem::remove_all(path(relative), ignored);
  }
};
