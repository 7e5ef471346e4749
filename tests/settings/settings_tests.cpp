// The settings store against real files in a fresh temporary directory.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/ini_file.h"
#include "settings/settings.h"

namespace flash {
namespace {

namespace fs = std::filesystem;

// What a program that kept every default writes into an empty directory.
constexpr const char* kFreshFile =
    "[SERIAL INTERFACE]\n"
    "COMPORT=COM1\n"
    "STOP ON ERRORS=1\n"
    "[ETHERNET INTERFACE]\n"
    "IP ADDRESS=192.168.1.123\n"
    "UDP PORT=49152\n"
    "PASSCODE=5\n"
    "[ACTIVE INTERFACE]\n"
    "ETHERNET=0\n"
    "SERIAL=1\n";

// Settings that differ from the defaults in every field, so a load that
// leaves a field alone shows.
CommSettings Stale() {
  return {.ComPort = "stale",
          .IpAddress = "stale",
          .UdpPort = -99,
          .Passcode = -99,
          .EthernetActive = 1,
          .SerialActive = 1};
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "update.ini").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }

  static void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    ASSERT_TRUE(out.good());
  }
  static std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    return names;
  }

  fs::path dir_;
  std::string path_;
};

// ---------------------------------------------------------------- loading

struct LoadCase {
  const char* name;
  std::optional<std::string> file;  // nothing: no update.ini at all
  CommSettings expected;
  int ignoreErrors;
};

const std::string k45 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghi";

const LoadCase kLoadCases[] = {
    {"MissingFile", std::nullopt, {}, 1},
    {"EmptyFile", "", {}, 1},
    {"MissingKeys",
     "[SERIAL INTERFACE]\nCOMPORT=COM4\n[ETHERNET INTERFACE]\nPASSCODE=1234\n",
     {.ComPort = "COM4", .Passcode = 1234},
     1},
    {"EmptyValues",
     "[SERIAL INTERFACE]\nCOMPORT=\nSTOP ON ERRORS=\n"
     "[ETHERNET INTERFACE]\nIP ADDRESS=\nUDP PORT=\nPASSCODE=\n"
     "[ACTIVE INTERFACE]\nETHERNET=\nSERIAL=\n",
     {.ComPort = "", .IpAddress = "", .UdpPort = 0, .Passcode = 0},
     0},
    {"BothFlagsZero", "[ACTIVE INTERFACE]\nETHERNET=0\nSERIAL=0\n", {}, 1},
    {"BothFlagsOne", "[ACTIVE INTERFACE]\nETHERNET=1\nSERIAL=1\n", {}, 1},
    {"EthernetSeven",
     "[ACTIVE INTERFACE]\nETHERNET=7\nSERIAL=0\n",
     {.EthernetActive = 1, .SerialActive = 0},
     1},
    {"ErrorsChecked", "[SERIAL INTERFACE]\nSTOP ON ERRORS=0\n", {}, 0},
    {"NumbersTakenAsStored",
     "[SERIAL INTERFACE]\nSTOP ON ERRORS=5\n[ETHERNET INTERFACE]\nUDP PORT=70000\nPASSCODE=-3\n",
     {.UdpPort = 70000, .Passcode = -3},
     5},
    {"NumberForms",
     "[SERIAL INTERFACE]\nSTOP ON ERRORS=99999999999\n"
     "[ETHERNET INTERFACE]\nUDP PORT=\"  +12abc\"\nPASSCODE=-99999999999\n"
     "[ACTIVE INTERFACE]\nETHERNET=0x1\nSERIAL=junk\n",
     {.UdpPort = 12, .Passcode = -2147483647 - 1},
     2147483647},
    {"ValueCutAt39",
     "[SERIAL INTERFACE]\nCOMPORT=" + k45 + "\n[ETHERNET INTERFACE]\nIP ADDRESS=\"" + k45 + "\"\n",
     {.ComPort = k45.substr(0, 39), .IpAddress = k45.substr(0, 39)},
     1},
    {"MatchingQuotesDropped",
     "[SERIAL INTERFACE]\nCOMPORT=\"COM3\"\n[ETHERNET INTERFACE]\nIP ADDRESS=' 10.0.0.1 '\n",
     {.ComPort = "COM3", .IpAddress = " 10.0.0.1 "},
     1},
    {"OtherQuotesKept",
     "[SERIAL INTERFACE]\nCOMPORT=\"COM5'\n[ETHERNET INTERFACE]\nIP ADDRESS=\"\n",
     {.ComPort = "\"COM5'", .IpAddress = "\""},
     1},
    {"BlanksDropped",
     "  [ SERIAL INTERFACE ]  \n \t COMPORT \t=\t  COM2  \n"
     "[ETHERNET INTERFACE]\nIP ADDRESS  =  10.0.0.2\t\n",
     {.ComPort = "COM2", .IpAddress = "10.0.0.2"},
     1},
    {"OddCase",
     "[serial interface]\ncomport=COM9\nStop On Errors=0\n"
     "[Ethernet Interface]\nIp Address=10.1.2.3\n[active INTERFACE]\nserial=0\nEthernet=1\n",
     {.ComPort = "COM9", .IpAddress = "10.1.2.3", .EthernetActive = 1, .SerialActive = 0},
     0},
    {"ForeignSectionsAndComments",
     "COMPORT=COM0\n[OTHER]\nCOMPORT=COM8\n[SERIAL INTERFACE]\n;COMPORT=COM7\n#COMPORT=COM6\n"
     "COMPORT\nCOMPORT=COM5\nCOMPORT=COM4\n[ETHERNET INTERFACE]\nIP ADDRESS=a=b\n",
     {.ComPort = "COM5", .IpAddress = "a=b"},
     1},
    {"CrLfAndByteOrderMark",
     "\xEF\xBB\xBF[SERIAL INTERFACE]\r\nCOMPORT=COM2\r\n[ACTIVE INTERFACE]\r\nETHERNET=1\r\nSERIAL=0",
     {.ComPort = "COM2", .EthernetActive = 1, .SerialActive = 0},
     1},
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class SettingsLoadFiles : public TempDir, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(SettingsLoadFiles, ReadsEveryField) {
  const LoadCase& c = GetParam();
  if (c.file) WriteFile(path_, *c.file);
  CommSettings settings = Stale();
  int ignoreErrors = -99;
  LoadSettings(path_, settings, ignoreErrors);
  EXPECT_EQ(settings.ComPort, c.expected.ComPort);
  EXPECT_EQ(settings.IpAddress, c.expected.IpAddress);
  EXPECT_EQ(settings.UdpPort, c.expected.UdpPort);
  EXPECT_EQ(settings.Passcode, c.expected.Passcode);
  EXPECT_EQ(settings.EthernetActive, c.expected.EthernetActive);
  EXPECT_EQ(settings.SerialActive, c.expected.SerialActive);
  EXPECT_EQ(ignoreErrors, c.ignoreErrors);
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsLoadFiles, ::testing::ValuesIn(kLoadCases),
                         [](const auto& param) { return std::string(param.param.name); });

using SettingsLoad = TempDir;

// Something that is not a regular file under the name gives the defaults,
// and a FIFO with no writer does not hold the load up.
TEST_F(SettingsLoad, NonRegularFileReadsAsDefaults) {
  ASSERT_EQ(::mkfifo(path_.c_str(), 0644), 0);
  CommSettings settings = Stale();
  int ignoreErrors = -99;
  LoadSettings(path_, settings, ignoreErrors);
  EXPECT_EQ(settings, CommSettings{});
  EXPECT_EQ(ignoreErrors, 1);

  ASSERT_EQ(::unlink(path_.c_str()), 0);
  fs::create_directory(path_);
  settings = Stale();
  LoadSettings(path_, settings, ignoreErrors);
  EXPECT_EQ(settings, CommSettings{});
}

// ----------------------------------------------------------------- saving

using SettingsSave = TempDir;

TEST_F(SettingsSave, FromNothingWritesExactlyTheTenLines) {
  SaveSettings(path_, CommSettings{}, 1);
  EXPECT_EQ(ReadFile(path_), kFreshFile);
  EXPECT_EQ(Entries(), std::vector<std::string>{"update.ini"});
}

TEST_F(SettingsSave, WhatIsSavedLoadsBack) {
  const CommSettings saved{.ComPort = "/dev/ttyUSB0",
                           .IpAddress = "radio.example",
                           .UdpPort = 70000,
                           .Passcode = -3,
                           .EthernetActive = 1,
                           .SerialActive = 0};
  SaveSettings(path_, saved, 5);
  CommSettings loaded = Stale();
  int ignoreErrors = -99;
  LoadSettings(path_, loaded, ignoreErrors);
  EXPECT_EQ(loaded, saved);
  EXPECT_EQ(ignoreErrors, 5);
}

// A value holding line breaks must not smuggle lines of its own into the file.
TEST_F(SettingsSave, ValueCannotAddLines) {
  CommSettings settings;
  settings.ComPort = "COM1\n[ACTIVE INTERFACE]\r\nETHERNET=1";
  SaveSettings(path_, settings, 1);
  EXPECT_EQ(ReadFile(path_), kFreshFile);
}

struct EditCase {
  const char* name;
  std::string before;
  std::string after;
};

// Every save writes all seven keys (here with the defaults and IgnoreErrors 0).
const EditCase kEditCases[] = {
    {"ForeignLinesKeptInPlace",
     "; written by hand\n"
     "[OTHER]\n"
     "COMPORT=COM8\n"
     "\n"
     "[serial interface]\n"
     "comport = COM3   \n"
     "; the next key stays\n"
     "BAUD=57600\n"
     "STOP ON ERRORS=1\n"
     "\n"
     "[ETHERNET INTERFACE]\n"
     "PASSCODE=77\n"
     "NOTE=keep me\n"
     "\n"
     "[TAIL]\n"
     "X=1\n",
     "; written by hand\n"
     "[OTHER]\n"
     "COMPORT=COM8\n"
     "\n"
     "[serial interface]\n"
     "COMPORT=COM1\n"
     "; the next key stays\n"
     "BAUD=57600\n"
     "STOP ON ERRORS=0\n"
     "\n"
     "[ETHERNET INTERFACE]\n"
     "PASSCODE=5\n"
     "NOTE=keep me\n"
     "IP ADDRESS=192.168.1.123\n"
     "UDP PORT=49152\n"
     "\n"
     "[TAIL]\n"
     "X=1\n"
     "[ACTIVE INTERFACE]\n"
     "ETHERNET=0\n"
     "SERIAL=1\n"},
    {"CrLfFileStaysCrLf",
     "\xEF\xBB\xBF[ACTIVE INTERFACE]\r\nSERIAL=0\r\nETHERNET=1",
     "\xEF\xBB\xBF[ACTIVE INTERFACE]\r\nSERIAL=1\r\nETHERNET=0\r\n"
     "[SERIAL INTERFACE]\r\nCOMPORT=COM1\r\nSTOP ON ERRORS=0\r\n"
     "[ETHERNET INTERFACE]\r\nIP ADDRESS=192.168.1.123\r\nUDP PORT=49152\r\nPASSCODE=5\r\n"},
    {"DuplicatesOnlyFirstRewritten",
     "[SERIAL INTERFACE]\nCOMPORT=A\nCOMPORT=B\n[SERIAL INTERFACE]\nSTOP ON ERRORS=1\n",
     "[SERIAL INTERFACE]\nCOMPORT=COM1\nCOMPORT=B\nSTOP ON ERRORS=0\n"
     "[SERIAL INTERFACE]\nSTOP ON ERRORS=1\n"
     "[ETHERNET INTERFACE]\nIP ADDRESS=192.168.1.123\nUDP PORT=49152\nPASSCODE=5\n"
     "[ACTIVE INTERFACE]\nETHERNET=0\nSERIAL=1\n"},
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class SettingsSaveEdits : public TempDir, public ::testing::WithParamInterface<EditCase> {};

TEST_P(SettingsSaveEdits, ChangesOnlyItsOwnKeys) {
  WriteFile(path_, GetParam().before);
  SaveSettings(path_, CommSettings{}, 0);
  EXPECT_EQ(ReadFile(path_), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsSaveEdits, ::testing::ValuesIn(kEditCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(SettingsSave, KeepsRightsAndWritesThroughLink) {
  const fs::path shared = dir_ / "shared.ini";
  WriteFile(shared, "[OTHER]\nX=1\n");
  fs::permissions(shared, fs::perms(0640));
  fs::create_symlink("shared.ini", path_);

  SaveSettings(path_, CommSettings{}, 1);

  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadFile(shared), std::string("[OTHER]\nX=1\n") + kFreshFile);
  EXPECT_EQ(fs::status(shared).permissions(), fs::perms(0640));
}

// Makes every write to a regular file beyond `bytes` fail with EFBIG, as a
// full disk would, until it goes out of scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool ok() const { return ok_; }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
  bool ok_ = false;
};

// The write must fail part-way through. The tests run as root, for whom a
// read-only directory or file is no obstacle, so the failure comes from a
// file-size limit instead: the kernel holds every process to it, root's
// included, and it cuts the write off after a few bytes just as a full disk
// does. Saving in place would leave a truncated update.ini behind.
TEST_F(SettingsSave, FailedWriteLeavesOldFileWhole) {
  const std::string old = "[OTHER]\nKEEP=this line\n[SERIAL INTERFACE]\nCOMPORT=COM7\n";
  WriteFile(path_, old);
  {
    FileSizeLimit limit(16);
    ASSERT_TRUE(limit.ok());
    SaveSettings(path_, CommSettings{}, 0);
  }
  EXPECT_EQ(ReadFile(path_), old);
  EXPECT_EQ(Entries(), std::vector<std::string>{"update.ini"});
}

// Saving over something that cannot be read as a file would throw away
// whatever it holds; the save is dropped instead.
TEST_F(SettingsSave, UnreadableTargetLeftAlone) {
  fs::create_directory(path_);
  WriteFile(fs::path(path_) / "inside", "x");
  SaveSettings(path_, CommSettings{}, 1);
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_EQ(ReadFile(fs::path(path_) / "inside"), "x");
  EXPECT_EQ(Entries(), std::vector<std::string>{"update.ini"});
}

// ------------------------------------------------------------------- path

class SettingsPathTest : public TempDir {
 protected:
  void SetUp() override {
    TempDir::SetUp();
    before_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(before_);
    TempDir::TearDown();
  }
  fs::path before_;
};

// Each call asks for the current directory afresh, however long its path.
TEST_F(SettingsPathTest, FollowsTheCurrentDirectory) {
  fs::current_path("/");
  EXPECT_EQ(SettingsPath(), "/update.ini");

  fs::path deep = fs::canonical(dir_);
  while (deep.string().size() < 400) deep /= std::string(60, 'd');
  fs::create_directories(deep);
  fs::current_path(deep);
  EXPECT_EQ(SettingsPath(), (deep / "update.ini").string());

  CommSettings settings;
  settings.ComPort = "COM2";
  SaveSettings(settings, 0);
  fs::current_path(dir_);
  SaveSettings(CommSettings{}, 1);

  fs::current_path(deep);
  CommSettings loaded;
  int ignoreErrors = -99;
  LoadSettings(loaded, ignoreErrors);
  EXPECT_EQ(loaded.ComPort, "COM2");
  EXPECT_EQ(ignoreErrors, 0);
  EXPECT_EQ(ReadFile(dir_ / "update.ini"), kFreshFile);
}

}  // namespace
}  // namespace flash
