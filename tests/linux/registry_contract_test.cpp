// The five registry calls over kivo.reg in a throwaway XDG_CONFIG_HOME: what
// the settings store relies on, and what the user's file goes through.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "linux/fixture_tree.h"
#include "platform/linux/store/store_complaints.h"
#include "platform/registry.h"

namespace {

const char KIVO[] = "Software\\Falvane\\Kivo\\2.0";
const std::string KIVO_KEY_LINE = "[HKEY_CURRENT_USER\\Software\\Falvane\\Kivo\\2.0]";
const std::string HEADER = "Windows Registry Editor Version 5.00";
using Bytes = std::vector<BYTE>;

// The default display font: lfHeight -11, lfWeight 400, "Courier New".
Bytes courierNew() {
  Bytes font(60, 0);
  font[0] = 0xf5, font[1] = font[2] = font[3] = 0xff, font[16] = 0x90, font[17] = 0x01;
  const std::string face = "Courier New";
  std::copy(face.begin(), face.end(), font.begin() + 28);
  return font;
}

const std::string COURIER_NEW_LINES =
    "\"font\"=hex:f5,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,90,01,00,00,00,00,\\\r\n"
    "  00,00,00,00,00,00,43,6f,75,72,69,65,72,20,4e,65,77,00,00,00,00,00,00,00,00,\\\r\n"
    "  00,00,00,00,00,00,00,00,00,00,00,00,00\r\n";

LSTATUS createKivoKey(HKEY* key, DWORD* disposition = nullptr) {
  char noClass[] = "";
  return RegCreateKeyExA(HKEY_CURRENT_USER, KIVO, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                         nullptr, key, disposition);
}

LSTATUS writeValue(const char* name, const Bytes& data, DWORD type = REG_BINARY) {
  HKEY key = nullptr;
  LSTATUS status = createKivoKey(&key);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
  const LSTATUS saved = RegCloseKey(key);  // where the file is written
  return status != ERROR_SUCCESS ? status : saved;
}

struct ValueRead {
  LSTATUS status = ERROR_SUCCESS;
  DWORD type = 0;
  DWORD size = 0;
  Bytes buffer;
};

// Into a buffer of 0xAA bytes, so what the call did not write shows.
ValueRead readValue(const char* name, DWORD size) {
  ValueRead read;
  read.buffer.assign(size, 0xAA);
  read.size = size;
  HKEY key = nullptr;
  read.status = RegOpenKeyExA(HKEY_CURRENT_USER, KIVO, 0, KEY_QUERY_VALUE, &key);
  if (read.status != ERROR_SUCCESS) return read;
  read.status = RegQueryValueExA(key, name, nullptr, &read.type, read.buffer.data(), &read.size);
  RegCloseKey(key);
  return read;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> namesIn(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tree.root.empty());
    if (const char* home = std::getenv("HOME")) savedHome = home;
    setenv("XDG_CONFIG_HOME", tree.root.c_str(), 1);
    forgetStoreComplaints();
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", savedHome.c_str(), 1);
  }
  std::string storePath() const { return tree.path("kivo/kivo.reg"); }
  std::string storeText() const { return fileText(storePath()); }

  FixtureTree tree;
  std::string savedHome;
};

TEST_F(RegistryContract, FirstRunFindsNothingThenTheStoreReadsBack) {
  HKEY key = HKEY_CURRENT_USER;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, KIVO, 0, KEY_QUERY_VALUE, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  DWORD disposition = 0;
  ASSERT_EQ(createKivoKey(&key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  const Bytes x = {0xbb, 0x01, 0, 0};
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, x.data(), 4), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "font", 0, REG_BINARY, courierNew().data(), 60), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  EXPECT_EQ(storeText(), HEADER + "\r\n\r\n" + KIVO_KEY_LINE + "\r\n\"x\"=dword:000001bb\r\n" +
                             COURIER_NEW_LINES);
  struct stat info;
  ASSERT_EQ(stat(storePath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(tree.path("kivo").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  const ValueRead readX = readValue("x", 4);
  EXPECT_EQ(readX.status, ERROR_SUCCESS);
  EXPECT_EQ(readX.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(readX.buffer, x);
  EXPECT_EQ(readValue("font", 60).buffer, courierNew());
  ASSERT_EQ(createKivoKey(&key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);
}

TEST_F(RegistryContract, QueryWritesOnlyWhatTheValueHolds) {
  ASSERT_EQ(writeValue("refresh", {0xe8, 0x03, 0, 0}), ERROR_SUCCESS);
  const ValueRead asDword = readValue("refresh", 4);
  EXPECT_EQ(asDword.status, ERROR_SUCCESS);
  EXPECT_EQ(asDword.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(asDword.buffer, (Bytes{0xe8, 0x03, 0, 0}));

  ASSERT_EQ(writeValue("font", Bytes(70, 0x11)), ERROR_SUCCESS);
  const ValueRead tooLong = readValue("font", 60);
  EXPECT_EQ(tooLong.status, ERROR_MORE_DATA);
  EXPECT_EQ(tooLong.size, 70u);
  EXPECT_EQ(tooLong.buffer, Bytes(60, 0xAA));

  ASSERT_EQ(writeValue("font", Bytes(40, 0x11)), ERROR_SUCCESS);
  const ValueRead shorter = readValue("font", 60);
  Bytes front(40, 0x11);
  front.resize(60, 0xAA);
  EXPECT_EQ(shorter.status, ERROR_SUCCESS);
  EXPECT_EQ(shorter.size, 40u);
  EXPECT_EQ(shorter.buffer, front);

  ASSERT_EQ(writeValue("top", {0x01, 0x02}), ERROR_SUCCESS);
  EXPECT_EQ(readValue("top", 4).buffer, (Bytes{0x01, 0x02, 0xAA, 0xAA}));
  EXPECT_EQ(readValue("view", 4).status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryContract, StoreWithoutItsHeaderIsNeverWrittenAndSaysSoOnce) {
  const char garbage[] = "no header\r\n\x01\x02\0 binary\r\n";
  const std::string old =
      std::string(garbage, sizeof garbage - 1) + KIVO_KEY_LINE + "\r\n\"x\"=dword:00000005\r\n";
  tree.write("kivo/kivo.reg", old);
  testing::internal::CaptureStderr();
  EXPECT_EQ(readValue("x", 4).status, ERROR_FILE_NOT_FOUND);
  EXPECT_NE(writeValue("y", {7, 0, 0, 0}), ERROR_SUCCESS);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(storeText(), old);
  EXPECT_EQ(said, "kivo: settings not read from " + storePath() +
                      ": no registry header in a form Kivo reads; the file is left as it is\n");
}

TEST_F(RegistryContract, HeaderShapesRegeditAcceptsAreReadAndKept) {
  const std::string body = KIVO_KEY_LINE + "\r\n\"x\"=dword:00000005\r\n";
  for (const std::string& header :
       {"\r\n\r\n" + HEADER, std::string("windows registry editor VERSION 5.00"),
        std::string("REGEDIT4"), std::string("\r\n  regedit4")}) {
    tree.write("kivo/kivo.reg", header + "\r\n\r\n" + body);
    EXPECT_EQ(readValue("x", 4).buffer, (Bytes{5, 0, 0, 0})) << header;
    ASSERT_EQ(writeValue("y", {7, 0, 0, 0}, REG_DWORD), ERROR_SUCCESS) << header;
    EXPECT_EQ(storeText(), header + "\r\n\r\n" + body + "\"y\"=dword:00000007\r\n") << header;
  }
}

TEST_F(RegistryContract, OtherEncodingsAndLineEndsAreWrittenBackAsTheyCame) {
  const std::string text = "REGEDIT4\r\r" + KIVO_KEY_LINE + "\r\"x\"=dword:00000005\r";
  const auto wide = [](const std::string& narrow, bool little, bool mark) {
    std::string bytes = mark ? (little ? "\xFF\xFE" : "\xFE\xFF") : "";
    for (char c : narrow) bytes += little ? std::string(1, c) + '\0' : '\0' + std::string(1, c);
    return bytes;
  };
  const std::string after = text + "\"y\"=dword:00000007\r";
  const std::vector<std::pair<std::string, std::string>> shapes = {
      {text, after},
      {wide(text, true, false), wide(after, true, false)},
      {wide(text, false, false), wide(after, false, false)},
      {wide(text, false, true), wide(after, false, true)},
  };
  for (const auto& shape : shapes) {
    tree.write("kivo/kivo.reg", shape.first);
    EXPECT_EQ(readValue("x", 4).buffer, (Bytes{5, 0, 0, 0}));
    ASSERT_EQ(writeValue("y", {7, 0, 0, 0}, REG_DWORD), ERROR_SUCCESS);
    EXPECT_EQ(storeText(), shape.second);
  }
}

TEST_F(RegistryContract, LinesTheStoreDoesNotOwnSurviveAWrite) {
  const std::string before =
      HEADER + "\r\n\r\n; kept by hand\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n" +
      "\"x\"=dword:00000001\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Falvane\\Kivo\\2.0]\r\n" +
      "\"x\"=dword:00000002\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Old]\r\n\r\n" + KIVO_KEY_LINE +
      "\r\n\"x\"=dword:zz\r\n\"gone\"=-\r\nnot a value\r\n";
  tree.write("kivo/kivo.reg", before);
  EXPECT_EQ(readValue("x", 4).status, ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(writeValue("x", {3, 0, 0, 0}, REG_DWORD), ERROR_SUCCESS);
  EXPECT_EQ(storeText(), before + "\"x\"=dword:00000003\r\n");
  EXPECT_EQ(readValue("x", 4).buffer, (Bytes{3, 0, 0, 0}));
}

TEST_F(RegistryContract, ReadsWhatRegeditExports) {
  const std::string exported = HEADER + "\r\n\r\n" + KIVO_KEY_LINE +
                               "\r\n\"x\"=dword:fffffffe\r\n" + COURIER_NEW_LINES + "\r\n";
  tree.write("kivo/kivo.reg", exported);
  EXPECT_EQ(readValue("x", 4).buffer, (Bytes{0xfe, 0xff, 0xff, 0xff}));
  EXPECT_EQ(readValue("font", 60).buffer, courierNew());

  std::string wide = "\xFF\xFE";
  for (char c : exported) wide += std::string(1, c) + '\0';
  tree.write("kivo/kivo.reg", wide);
  EXPECT_EQ(readValue("font", 60).buffer, courierNew());
  ASSERT_EQ(writeValue("x", {1, 0, 0, 0}, REG_DWORD), ERROR_SUCCESS);
  std::string rewritten = wide;
  rewritten.replace(wide.find(std::string("f\0f\0f\0f\0f\0f\0f\0e\0", 16)), 16,
                    std::string("0\0000\0000\0000\0000\0000\0000\0001\0", 16));
  EXPECT_EQ(storeText(), rewritten);  // still UTF-16, changed in place
}

TEST_F(RegistryContract, SavingReplacesTheFileWholeOrNotAtAll) {
  ASSERT_EQ(writeValue("x", {1}), ERROR_SUCCESS);
  struct stat first, second;
  ASSERT_EQ(stat(storePath().c_str(), &first), 0);
  ASSERT_EQ(writeValue("x", {2}), ERROR_SUCCESS);
  ASSERT_EQ(stat(storePath().c_str(), &second), 0);
  EXPECT_NE(first.st_ino, second.st_ino);
  EXPECT_EQ(namesIn(tree.path("kivo")), std::set<std::string>{"kivo.reg"});

  // A full disk: the new text does not fit, the old one stays.
  const std::string old = storeText();
  rlimit limits, small;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limits), 0);
  small = limits;
  small.rlim_cur = old.size();
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  testing::internal::CaptureStderr();
  const LSTATUS diskFull = writeValue("font", courierNew());
  const std::string said = testing::internal::GetCapturedStderr();
  setrlimit(RLIMIT_FSIZE, &limits);
  signal(SIGXFSZ, previousHandler);
  EXPECT_NE(diskFull, ERROR_SUCCESS);
  EXPECT_EQ(said, "kivo: settings not saved to " + storePath() + ": File too large\n");
  EXPECT_EQ(storeText(), old);
  EXPECT_EQ(namesIn(tree.path("kivo")), std::set<std::string>{"kivo.reg"});

  chmod(storePath().c_str(), 0444);  // read-only by the user's choice: kept, even by root
  EXPECT_NE(writeValue("x", {3}), ERROR_SUCCESS);
  chmod(storePath().c_str(), 0600);
  if (geteuid() != 0) {  // root writes into any directory
    chmod(tree.path("kivo").c_str(), 0500);
    EXPECT_NE(writeValue("x", {4}), ERROR_SUCCESS);
    chmod(tree.path("kivo").c_str(), 0700);
  }
  EXPECT_EQ(storeText(), old);
}

TEST_F(RegistryContract, AKeysChangesLandTogetherWhenItIsClosed) {
  ASSERT_EQ(writeValue("x", {1, 0, 0, 0}, REG_DWORD), ERROR_SUCCESS);
  const std::string before = storeText();
  HKEY key = nullptr;
  ASSERT_EQ(createKivoKey(&key), ERROR_SUCCESS);
  const Bytes two = {2, 0, 0, 0};
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, two.data(), 4), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "font", 0, REG_BINARY, courierNew().data(), 60), ERROR_SUCCESS);
  EXPECT_EQ(storeText(), before);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(storeText(), HEADER + "\r\n\r\n" + KIVO_KEY_LINE + "\r\n\"x\"=dword:00000002\r\n" +
                             COURIER_NEW_LINES);
}

// A disk that fills up while the new file is being written: on a small tmpfs
// of our own, in a mount namespace of our own, so nothing outside sees it.
class FullDisk : public RegistryContract {
 protected:
  void SetUp() override {
    RegistryContract::SetUp();
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      GTEST_SKIP() << "no mount namespace here: " << std::strerror(errno);
    std::filesystem::create_directories(tree.path("kivo"));
    if (mount("tmpfs", tree.path("kivo").c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
      GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    mounted = true;
  }
  void TearDown() override {
    if (mounted) umount2(tree.path("kivo").c_str(), MNT_DETACH);
    RegistryContract::TearDown();
  }

  // Takes all the space left but one page.
  void fillLeavingOnePage() const {
    const int fd = open(tree.path("kivo/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const std::string page(4096, 'f');
    off_t size = 0;
    while (write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size())) size += 4096;
    ASSERT_EQ(ftruncate(fd, size - 4096), 0);
    close(fd);
  }

  bool mounted = false;
};

TEST_F(FullDisk, ASaveThatDoesNotFitLeavesTheOldFileWholeAndSaysWhy) {
  std::string padding;
  for (int line = 0; line < 400; ++line)
    padding += "; kept by hand, line " + std::to_string(line) + "\r\n";
  const std::string old =
      HEADER + "\r\n\r\n" + padding + KIVO_KEY_LINE + "\r\n\"x\"=dword:00000001\r\n";
  tree.write("kivo/kivo.reg", old);
  fillLeavingOnePage();

  HKEY key = nullptr;
  ASSERT_EQ(createKivoKey(&key), ERROR_SUCCESS);
  const Bytes two = {2, 0, 0, 0};
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, two.data(), 4), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "font", 0, REG_BINARY, courierNew().data(), 60), ERROR_SUCCESS);
  testing::internal::CaptureStderr();
  EXPECT_NE(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kivo: settings not saved to " + storePath() + ": No space left on device\n");
  EXPECT_EQ(storeText(), old);
  EXPECT_EQ(namesIn(tree.path("kivo")), (std::set<std::string>{"filler", "kivo.reg"}));

  tree.remove("kivo/filler");
  ASSERT_EQ(writeValue("x", two, REG_DWORD), ERROR_SUCCESS);
  EXPECT_EQ(readValue("x", 4).buffer, two);
}

TEST_F(RegistryContract, ASaveClearsTemporaryFilesLeftByKilledSaves) {
  const std::string folder = tree.path("kivo");
  const timespec twoMinutesAgo[2] = {{std::time(nullptr) - 120, 0}, {std::time(nullptr) - 120, 0}};
  for (const char* name : {".kivo.reg.Ab12Cd", ".kivo.reg.Fresh1", ".kivo.reg.short", "notes"})
    tree.write("kivo/" + std::string(name), "left over");
  for (const char* name : {".kivo.reg.Ab12Cd", ".kivo.reg.short", "notes"})
    ASSERT_EQ(utimensat(AT_FDCWD, (folder + "/" + name).c_str(), twoMinutesAgo, 0), 0);
  ASSERT_EQ(writeValue("x", {1}), ERROR_SUCCESS);
  EXPECT_EQ(namesIn(folder),
            (std::set<std::string>{".kivo.reg.Fresh1", ".kivo.reg.short", "kivo.reg", "notes"}));
}

TEST_F(RegistryContract, StoreThatCannotBeReadIsNeverClobbered) {
  std::filesystem::create_directories(storePath());  // open() works on it, read() does not
  HKEY key = nullptr;
  testing::internal::CaptureStderr();
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, KIVO, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  EXPECT_NE(createKivoKey(&key), ERROR_SUCCESS);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kivo: settings not read from " + storePath() + ": not a regular file\n");
  EXPECT_EQ(key, nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(storePath()));

  tree.remove("kivo/kivo.reg");
  const std::string cyrillic = std::string("\xFF\xFE;\0\x16\x04", 6);  // UTF-16 beyond Latin-1
  tree.write("kivo/kivo.reg", cyrillic);
  EXPECT_NE(writeValue("x", {1}), ERROR_SUCCESS);
  EXPECT_EQ(storeText(), cyrillic);

  if (geteuid() != 0) {  // root reads through chmod 000
    chmod(storePath().c_str(), 0);
    EXPECT_NE(writeValue("x", {1}), ERROR_SUCCESS);
    chmod(storePath().c_str(), 0600);
    EXPECT_EQ(storeText(), cyrillic);
  }
}

TEST_F(RegistryContract, SymlinkedStoreKeepsItsLink) {
  tree.write("dotfiles/kivo.reg", HEADER + "\r\n");
  std::filesystem::create_directories(tree.path("kivo"));
  std::filesystem::create_symlink("../dotfiles/kivo.reg", storePath());
  ASSERT_EQ(writeValue("x", {1}), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_symlink(storePath()));
  EXPECT_NE(fileText(tree.path("dotfiles/kivo.reg")).find("\"x\"=hex:01"), std::string::npos);
  EXPECT_EQ(namesIn(tree.path("dotfiles")), std::set<std::string>{"kivo.reg"});
}

TEST_F(RegistryContract, HandlesAreCheckedBeforeUse) {
  ASSERT_EQ(writeValue("x", {1}), ERROR_SUCCESS);
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExA(nullptr, KIVO, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, KIVO, 0, KEY_QUERY_VALUE, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, KIVO, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  const BYTE two = 2;
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_BINARY, &two, 1), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(readValue("x", 1).buffer, Bytes{1});
}

TEST_F(RegistryContract, ConfigDirectoryFollowsTheXdgRules) {
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  setenv("HOME", tree.root.c_str(), 1);
  ASSERT_EQ(writeValue("x", {1}), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::exists(tree.path(".config/kivo/kivo.reg")));
  unsetenv("HOME");
  testing::internal::CaptureStderr();
  EXPECT_NE(writeValue("x", {1}), ERROR_SUCCESS);
  EXPECT_EQ(readValue("x", 1).status, ERROR_FILE_NOT_FOUND);
  EXPECT_NE(writeValue("x", {1}), ERROR_SUCCESS);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kivo: settings not saved: neither XDG_CONFIG_HOME nor HOME is an absolute path\n");
}

}  // namespace
