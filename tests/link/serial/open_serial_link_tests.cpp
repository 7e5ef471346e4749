// Opening the serial link for a run, on a real pseudo-terminal.

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_host.h"

#include "link/os/poll_event_loop.h"
#include "link/serial/open_serial_link.h"
#include "pty_pair.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using testing::PtyPair;

// What the operator would see: the log pane and message boxes.
using Screen = testing::TestHost;

class Window : public MessageWindow {
 public:
  void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
    EXPECT_EQ(message, DefaultComMessage());
    EXPECT_EQ(lParam, 0);
    wParams.push_back(wParam);
  }
  std::vector<std::uintptr_t> wParams;
};

class SerialOpenLinkTest : public ::testing::Test {
 protected:
  bool Open(const std::string& comPort) { return OpenSerialLink(port, comPort, loop, window, logs, screen); }

  PtyPair pty;
  PollEventLoop loop;
  Screen screen;
  Logs logs{screen, screen, "/dev/null"};
  Window window;
  CRadioPort port;
};

TEST_F(SerialOpenLinkTest, OpensAndConfiguresThePortForTheRadio) {
  ASSERT_TRUE(Open(pty.SlavePath()));
  EXPECT_EQ(logs.LogText(), "Using Serial Interface \r\n");
  EXPECT_EQ(screen.logPane, logs.LogText());
  EXPECT_TRUE(screen.messageBoxes.empty());
  EXPECT_TRUE(port.IsPortOpen());
  EXPECT_TRUE(port.IsWatching());

  const termios t = pty.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(port.QueryEventMask(), 0x0082u);
  EXPECT_EQ(port.QueryEventCharacter(), '\r');
  EXPECT_EQ(port.QueryFlowControl(), FLOW_HARDWARE);
  EXPECT_TRUE(pty.Receive(100ms).empty());  // nothing is sent here

  pty.Send("partial");
  loop.RunFor(100ms);
  EXPECT_TRUE(window.wParams.empty());
  pty.Send("\r");
  ASSERT_TRUE(loop.RunUntil([&] { return !window.wParams.empty(); }, 5s));
  EXPECT_EQ(window.wParams[0], EV_RXFLAG);
}

TEST_F(SerialOpenLinkTest, StartingAgainReopensWithEmptyBuffersAndAFreshWatcher) {
  ASSERT_TRUE(Open(pty.SlavePath()));
  pty.Send("left over");
  loop.RunFor(50ms);
  ASSERT_TRUE(Open(pty.SlavePath()));
  EXPECT_EQ(logs.LogText(), "Using Serial Interface \r\nUsing Serial Interface \r\n");
  char buffer[32];
  std::uint32_t count = 1;
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);
  EXPECT_EQ(count, 0u);
  pty.Send("VER\r");
  ASSERT_TRUE(loop.RunUntil([&] { return !window.wParams.empty(); }, 5s));
}

TEST_F(SerialOpenLinkTest, AMissingDeviceStopsTheRunWithTheReason) {
  EXPECT_FALSE(Open("/dev/ttyUSB97"));
  const std::string expected = "Cannot open serial port /dev/ttyUSB97: No such file or directory.";
  EXPECT_EQ(logs.LogText(), expected + "\r\n");
  ASSERT_EQ(screen.messageBoxes.size(), 1u);
  EXPECT_EQ(screen.messageBoxes[0], expected);
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_EQ(logs.LogText().find("Using Serial Interface"), std::string::npos);
}

TEST_F(SerialOpenLinkTest, APortInUseStopsTheRunAndSaysSo) {
  CSerialPort other;
  ASSERT_EQ(other.OpenPort(pty.SlavePath()), 0);
  EXPECT_FALSE(Open(pty.SlavePath()));
  EXPECT_NE(logs.LogText().find("Cannot open serial port " + pty.SlavePath()), std::string::npos);
  EXPECT_NE(logs.LogText().find("Another program is using the port."), std::string::npos);
  EXPECT_EQ(screen.messageBoxes.size(), 1u);
  EXPECT_FALSE(port.IsPortOpen());
}

TEST_F(SerialOpenLinkTest, AFailedReopenLeavesThePreviousPortClosed) {
  ASSERT_TRUE(Open(pty.SlavePath()));
  EXPECT_FALSE(Open(""));
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_FALSE(port.IsWatching());
  EXPECT_NE(logs.LogText().find("Cannot open serial port (no name): No such file or directory."),
            std::string::npos);
}

TEST(SerialOpenLinkText, NamesThePortTheReasonAndTheRemedy) {
  const struct {
    const char* port;
    std::int32_t result;
    bool opening;
    const char* text;
  } cases[] = {
      {"COM99", EACCES, true,
       "Cannot open serial port COM99 (/dev/ttyS98): Permission denied. Your user must belong to the group that "
       "owns the device, usually \"dialout\" (add it with: sudo usermod -aG dialout $USER, then log in again)."},
      {"/dev/no-such-port", EPERM, true,
       "Cannot open serial port /dev/no-such-port: Operation not permitted. Your user must belong to the group "
       "that owns the device, usually \"dialout\" (add it with: sudo usermod -aG dialout $USER, then log in "
       "again)."},
      {"/dev/ttyUSB0", EBUSY, true,
       "Cannot open serial port /dev/ttyUSB0: Device or resource busy. Another program is using the port."},
      {"/dev/ttyUSB0", EINVAL, false, "Cannot set up serial port /dev/ttyUSB0: Invalid argument."},
      {"/dev/ttyUSB0", ERROR_TIMEOUT, false, "Cannot set up serial port /dev/ttyUSB0: The operation timed out."},
  };
  for (const auto& c : cases) EXPECT_EQ(SerialLinkFailureText(c.port, c.result, c.opening), c.text);
}

}  // namespace
}  // namespace flash
