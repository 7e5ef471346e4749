#include "cli/console_window.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli_test_support.h"
#include "engine/flash_run.h"
#include "link/os/system_clock.h"
#include "logs/logs.h"

namespace flash::cli {
namespace {

constexpr const char* kErase = "\r\033[K";

// A console window writing into strings, on a clock the test moves.
class CliConsole : public ::testing::Test {
 protected:
  explicit CliConsole(bool terminal = false)
      : window_(out_, err_, terminal, [this] { return seconds_; }) {}

  std::string Progress(int line, int total) {
    return std::to_string(line) + " of " + std::to_string(total) + " Lines Processed";
  }
  int Count(const std::string& text, const std::string& part) const {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  std::ostringstream out_;
  std::ostringstream err_;
  double seconds_ = 100.0;
  ConsoleWindow window_;
};

class CliTerminal : public CliConsole {
 protected:
  CliTerminal() : CliConsole(true) {}
};

TEST_F(CliConsole, WritesOnlyTheNewPartOfTheLog) {
  SystemClock clock;
  Logs logs(window_, clock);
  logs.AppendLog("Program Mode \r\n");
  logs.ClearLog();  // the start of the run empties the log: what follows starts over
  logs.AppendLog("\r\n Flash Rom Update File - /x/710.ruf\r\n\r\n");
  logs.AppendLog(" Please be patient while your radio is being updated.");
  logs.AppendLog("\r\n\r\n");
  logs.AppendLog(" 3 total data lines in file.");
  logs.AppendLog("\r\n");
  EXPECT_EQ(out_.str(),
            "Program Mode \n"
            "\n Flash Rom Update File - /x/710.ruf\n\n"
            " Please be patient while your radio is being updated.\n\n"
            " 3 total data lines in file.\n");
}

TEST_F(CliConsole, StartsOverWhenTheLogIsShortenedOrReplaced) {
  window_.SetLogPaneText("first line\r\nsecond\r\n");
  window_.SetLogPaneText("new\r\n");            // shorter: a new log
  window_.SetLogPaneText("new\r\nmore\r\n");    // goes on from it
  window_.SetLogPaneText("NEW\r\nmore\r\nend");  // same length or longer, other start: a new log too
  window_.SetLogPaneText("NEW\r\nmore\r\nend");  // unchanged: nothing
  EXPECT_EQ(out_.str(), "first line\nsecond\nnew\nmore\nNEW\nmore\nend");
}

TEST_F(CliConsole, NeutralisesControlCharactersFromTheFile) {
  // Comment lines of a RUF file reach the log as they are; they must not drive the terminal.
  window_.SetLogPaneText(" \x1b[2J\x1b]0;title\x07 comment\tend\r\n");
  EXPECT_EQ(out_.str(), " ?[2J?]0;title? comment\tend\n");
  EXPECT_EQ(ConsoleText("caf\xc3\xa9\x7f\r\n"), "caf\xc3\xa9?\n");
}

TEST_F(CliConsole, ProgressPlainLinesAreFewAndCarryRateAndTimeLeft) {
  for (int line = 0; line <= 200; ++line) {
    window_.SetStatusPane(kProgressPane, Progress(line, 200));
    seconds_ += 0.1;  // 10 lines a second
  }
  const std::string text = out_.str();
  EXPECT_EQ(Count(text, "Progress: "), 21) << text;  // 0 %, every 5 %, 100 %
  EXPECT_EQ(Count(text, "\r"), 0);
  EXPECT_NE(text.find("Progress: 0 of 200 lines    0%  -- lines/s  --:-- left\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Progress: 100 of 200 lines   50%  10.0 lines/s  0:10 left\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Progress: 200 of 200 lines  100%  10.0 lines/s  0:00 left\n"), std::string::npos) << text;
}

TEST_F(CliConsole, ProgressPlainLinesBeginOnTheirOwnLine) {
  window_.SetLogPaneText(" Please be patient.");
  window_.SetStatusPane(kProgressPane, Progress(0, 10));
  window_.SetStatusPane(kProgressPane, Progress(12, 10));  // directives can take the count past the total
  EXPECT_EQ(out_.str(),
            " Please be patient.\n"
            "Progress: 0 of 10 lines    0%  -- lines/s  --:-- left\n"
            "Progress: 12 of 10 lines  100%  -- lines/s  --:-- left\n");
}

TEST_F(CliTerminal, ProgressBarIsRedrawnInPlace) {
  window_.SetStatusPane(kProgressPane, Progress(0, 100));
  seconds_ += 5;
  window_.SetStatusPane(kProgressPane, Progress(50, 100));
  const std::string bar0 = "[........................] 0 of 100 lines    0%  -- lines/s  --:-- left";
  const std::string bar50 = "[############............] 50 of 100 lines   50%  10.0 lines/s  0:05 left";
  EXPECT_EQ(out_.str(), kErase + bar0 + kErase + bar50);
}

TEST_F(CliTerminal, ProgressBarStepsAsideForLogLinesAndDialogs) {
  const std::string bar = std::string(kErase) + "[##......................] 10 of 100 lines   10%  -- lines/s  --:-- left";
  window_.SetStatusPane(kProgressPane, Progress(10, 100));
  // A comment line: the bar is erased, the line written, the bar drawn again.
  window_.SetLogPaneText(" ");
  window_.SetLogPaneText("  a comment\r\n");
  EXPECT_EQ(out_.str(), bar + kErase + " " + " a comment\n" + bar);

  out_.str("");
  window_.SetStatusPane(kProgressPane, "");  // the file is done
  window_.ShowDialog(IDD_UPDATE_SUCCESS);
  EXPECT_EQ(out_.str(), std::string(kErase) + "\n[Flash Update]\nFlash Update Successfuly Completed !\n\n");
}

TEST_F(CliTerminal, ProgressBarStartsBelowAnUnfinishedLogLine) {
  window_.SetLogPaneText(" Please be patient.");
  window_.SetStatusPane(kProgressPane, Progress(1, 4));
  EXPECT_EQ(out_.str(), std::string(" Please be patient.\n") + kErase +
                            "[######..................] 1 of 4 lines   25%  -- lines/s  --:-- left");
}

TEST_F(CliConsole, ShowsDialogsAndMessageBoxesAndRecordsThem) {
  window_.MessageBox("Unable to open file");
  window_.ShowDialog(IDD_NOT_JUDGED);
  EXPECT_EQ(err_.str(), "Unable to open file\n");
  EXPECT_EQ(out_.str(),
            "\n[Flash Loader]\nFile Processing Complete! \n\nThere is no way to determine if Flash Updating was "
            "successful because error checking was turned off.\n\n");
  EXPECT_EQ(window_.ShownDialog(), IDD_NOT_JUDGED);
  EXPECT_EQ(window_.MessageBoxes(), std::vector<std::string>{"Unable to open file"});

  window_.WarningBeep();  // not a terminal: silent
  EXPECT_EQ(out_.str().find('\a'), std::string::npos);
}

TEST_F(CliTerminal, BeepsOnATerminal) {
  window_.WarningBeep();
  EXPECT_EQ(out_.str(), "\a");
}

TEST_F(CliConsole, ShowsTheRadioModelOnce) {
  window_.SetStatusPane(kModelPane, "Tarsel 710");
  window_.SetStatusPane(kModelPane, "Tarsel 710");
  window_.SetStatusPane(kModePane, "Program Flash");
  EXPECT_EQ(out_.str(), " Radio: Tarsel 710\n");
}

TEST_F(CliConsole, AnswersTheFileDialogWithTheGivenFile) {
  EXPECT_EQ(window_.ChooseOpenFile({}), std::nullopt);  // no file: as if cancelled
  window_.SetChosenFile("/tmp/710.ruf");
  EXPECT_EQ(window_.ChooseOpenFile({}), "/tmp/710.ruf");
}

TEST_F(CliConsole, TimersRepeatUntilKilled) {
  testing::EnsureQtApp();
  std::vector<int> expiries;
  window_.SetTimerHandler([&](int timerId) {
    expiries.push_back(timerId);
    if (expiries.size() == 3) window_.KillTimer(timerId);  // killed from its own expiry
  });
  window_.SetTimer(TIMER_RESPONSE, 1);
  window_.SetTimer(TIMER_RESPONSE, 1);  // setting again restarts the same timer
  EXPECT_TRUE(window_.TimerRunning(TIMER_RESPONSE));
  ASSERT_TRUE(testing::ProcessEventsUntil([&] { return expiries.size() >= 3; }));
  EXPECT_FALSE(window_.TimerRunning(TIMER_RESPONSE));
  EXPECT_EQ(expiries, (std::vector<int>{TIMER_RESPONSE, TIMER_RESPONSE, TIMER_RESPONSE}));

  window_.SetTimer(TIMER_VERSION, 1);
  window_.KillTimer(TIMER_VERSION);
  window_.KillTimer(42);  // never set: nothing
  EXPECT_FALSE(window_.TimerRunning(TIMER_VERSION));
}

}  // namespace
}  // namespace flash::cli
