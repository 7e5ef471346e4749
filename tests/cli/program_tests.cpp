// The program itself, run as a child process in a temporary working directory
// (update.ini and comms.txt live in the current directory).

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "temp_dir.h"

namespace flash::cli {
namespace {

using testing::Bytes;
using testing::IntelRecord;
using testing::SegmentRecord;

struct Finished {
  int status = -1;
  std::string out;
  std::string err;
};

class CliProgram : public ::testing::Test {
 protected:
  Finished Run(const std::vector<std::string>& arguments) {
    testing::EnsureQtApp();
    QStringList list;
    for (const auto& argument : arguments) list << QString::fromStdString(argument);
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(dir_.Path().string()));
    process.start(QStringLiteral(CLI_PROGRAM), list);
    EXPECT_TRUE(process.waitForStarted(10000));
    EXPECT_TRUE(process.waitForFinished(60000));
    Finished finished;
    finished.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    finished.out = process.readAllStandardOutput().toStdString();
    finished.err = process.readAllStandardError().toStdString();
    return finished;
  }
  Finished Run(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
    return Run(words);
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(dir_.Path() / name); }
  std::string Ini() const { return flash::testing::ReadFileBytes(dir_.File("update.ini")); }

  std::string GoodFile() const {
    return SegmentRecord(0x1000) + IntelRecord(0x00, 0x0000, Bytes(16)) + IntelRecord(0x00, 0x0010, Bytes(16)) +
           IntelRecord(0x01, 0, {});
  }
  std::string DamagedFile() const {
    return SegmentRecord(0x1000) + IntelRecord(0x00, 0x0000, Bytes(16), 1) + IntelRecord(0x01, 0, {});
  }

  flash::testing::TempDir dir_;
};

TEST_F(CliProgram, HelpAndVersion) {
  for (const char* option : {"--help", "-h"}) {
    const Finished help = Run(option);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: flash-update-cli COMMAND FILE [OPTIONS]\n", 0), 0U) << help.out;
    EXPECT_NE(help.out.find("Exit status:\n"), std::string::npos);
    EXPECT_NE(help.out.find("  64   bad usage"), std::string::npos);
    EXPECT_EQ(help.err, "");
  }
  const Finished version = Run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("flash-update-cli ", 0), 0U);
  EXPECT_EQ(version.out.back(), '\n');
  EXPECT_FALSE(Exists("update.ini"));
}

TEST_F(CliProgram, BadUsageExits64) {
  dir_.Write("710.ruf", GoodFile());
  for (const char* line : {"", "program 710.ruf", "update", "update 710.ruf 710.ruf", "update 710.ruf --bogus",
                           "update 710.ruf --udp nohost", "update 710.ruf --ignore-errors --check-errors",
                           "check 710.ruf --check-errors"}) {
    const Finished run = Run(line);
    EXPECT_EQ(run.status, 64) << line;
    EXPECT_NE(run.err.find("Try 'flash-update-cli --help'"), std::string::npos) << line << ": " << run.err;
    EXPECT_EQ(run.out, "") << line;
  }
  EXPECT_FALSE(Exists("update.ini"));
  EXPECT_FALSE(Exists("comms.txt"));
}

TEST_F(CliProgram, ChecksFilesWithoutARadio) {
  dir_.Write("710_good.ruf", GoodFile());
  dir_.Write("710_bad.ruf", DamagedFile());

  const Finished good = Run("check 710_good.ruf");
  EXPECT_EQ(good.status, 0) << good.out << good.err;
  EXPECT_NE(good.out.find("Model number: 710"), std::string::npos) << good.out;
  EXPECT_NE(good.out.find("  00010000-0001001F  32 bytes"), std::string::npos) << good.out;
  EXPECT_NE(good.out.find("The file is sound."), std::string::npos) << good.out;

  const Finished bad = Run("check 710_bad.ruf");
  EXPECT_EQ(bad.status, 4);
  EXPECT_NE(bad.out.find("  line 2 has a checksum error"), std::string::npos) << bad.out;

  const Finished missing = Run("check 710_none.ruf");
  EXPECT_EQ(missing.status, 4);
  EXPECT_NE(missing.err.find("Unable to open file"), std::string::npos) << missing.err;
  EXPECT_FALSE(Exists("update.ini"));
}

TEST_F(CliProgram, LeavesUpdateIniAloneUnlessAsked) {
  const std::string ini = "; the operator's own notes\r\n[SERIAL INTERFACE]\r\nCOMPORT=/dev/ttyS3\r\n"
                          "STOP ON ERRORS=0\r\n[OTHER]\r\nKEY=value\r\n";
  dir_.Write("update.ini", ini);
  dir_.Write("710_bad.ruf", DamagedFile());

  // Options change the settings of this run only.
  const Finished missing = Run("update 710_none.ruf --port /dev/ttyS9 --ignore-errors");
  EXPECT_EQ(missing.status, 4);
  EXPECT_NE(missing.err.find("710_none.ruf: no such file"), std::string::npos) << missing.err;
  const Finished damaged = Run("update 710_bad.ruf --udp 127.0.0.1:9 --passcode 7");
  EXPECT_EQ(damaged.status, 4);
  EXPECT_NE(damaged.err.find("The update was not started: line 2"), std::string::npos) << damaged.err;
  EXPECT_EQ(Ini(), ini);
  EXPECT_FALSE(Exists("comms.txt"));  // nothing went to a radio
}

TEST_F(CliProgram, SavesTheEffectiveSettingsWhenAsked) {
  dir_.Write("710_bad.ruf", DamagedFile());

  // A fresh installation: error checking is off, and the operator is told so.
  const Finished fresh = Run("update 710_bad.ruf");
  EXPECT_EQ(fresh.status, 4);
  EXPECT_NE(fresh.err.find("error checking is off"), std::string::npos) << fresh.err;
  EXPECT_NE(fresh.err.find("--check-errors"), std::string::npos) << fresh.err;
  EXPECT_FALSE(Exists("update.ini"));

  const Finished saved = Run("update 710_bad.ruf --udp 127.0.0.1:49999 --passcode 1234 --check-errors --save-settings");
  EXPECT_EQ(saved.status, 4);
  EXPECT_NE(saved.out.find("Settings saved to "), std::string::npos) << saved.out;
  EXPECT_EQ(saved.err.find("error checking is off"), std::string::npos) << saved.err;
  const std::string ini = Ini();
  for (const char* line : {"STOP ON ERRORS=0", "IP ADDRESS=127.0.0.1", "UDP PORT=49999", "PASSCODE=1234",
                           "ETHERNET=1", "SERIAL=0", "COMPORT=COM1"}) {
    EXPECT_NE(ini.find(line), std::string::npos) << line << " in\n" << ini;
  }

  // The next run reads them: error checking stays on without the option.
  const Finished next = Run("update 710_bad.ruf");
  EXPECT_EQ(next.status, 4);
  EXPECT_EQ(next.err.find("error checking is off"), std::string::npos) << next.err;
  EXPECT_EQ(Ini(), ini);
}

TEST_F(CliProgram, ALinkThatCannotBeOpenedExits5) {
  dir_.Write("710.ruf", GoodFile());
  const std::string port = dir_.File("no-such-port");
  const Finished run = Run({"update", "710.ruf", "--port", port, "--check-errors"});
  EXPECT_EQ(run.status, 5) << run.out << run.err;
  EXPECT_NE(run.err.find(port), std::string::npos) << run.err;  // the link says which port failed
  EXPECT_NE(run.err.find("the link to the radio could not be opened (exit status 5)"), std::string::npos) << run.err;
  EXPECT_FALSE(Exists("comms.txt"));
}

TEST_F(CliProgram, VerifyNeedsErrorChecking) {
  dir_.Write("710.ruf", GoodFile());
  const Finished fresh = Run("verify 710.ruf");
  EXPECT_EQ(fresh.status, 64);
  EXPECT_NE(fresh.err.find("verify needs error checking on"), std::string::npos) << fresh.err;
  EXPECT_NE(fresh.err.find("--check-errors"), std::string::npos) << fresh.err;

  // Any value but 0 keeps Verify disabled, as in the window.
  dir_.Write("update.ini", "[SERIAL INTERFACE]\nSTOP ON ERRORS=5\n");
  const Finished five = Run("verify 710.ruf --save-settings");
  EXPECT_EQ(five.status, 64);
  EXPECT_NE(five.err.find("STOP ON ERRORS=5"), std::string::npos) << five.err;
  EXPECT_EQ(Ini(), "[SERIAL INTERFACE]\nSTOP ON ERRORS=5\n");
  EXPECT_FALSE(Exists("comms.txt"));
}

}  // namespace
}  // namespace flash::cli
