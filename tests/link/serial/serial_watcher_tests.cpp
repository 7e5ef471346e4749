// The watcher thread and the window notification, on a real pseudo-terminal
// with a poll-based window thread: what is posted, when, and how the watcher
// ends.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/os/poll_event_loop.h"
#include "link/serial/serial_wnd.h"
#include "pty_pair.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using testing::PtyPair;

constexpr auto kLimit = 5s;  // a bound for waits that should end almost at once

struct Message {
  unsigned id;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  std::thread::id thread;
};

// The main window's part: it records each notification and handles it as the
// serial receive handler does (read up to 128 bytes, then purge).
class RecordingWindow : public MessageWindow {
 public:
  explicit RecordingWindow(CSerialPort& port) : port_(port) {}
  void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
    if (beforeRead) beforeRead();
    messages.push_back({message, wParam, lParam, std::this_thread::get_id()});
    char buffer[128];
    std::uint32_t count = 0;
    results.push_back(port_.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE));
    reads.emplace_back(buffer, count);
    port_.PurgeBuffers();
  }
  std::function<void()> beforeRead;
  std::vector<Message> messages;
  std::vector<std::int32_t> results;
  std::vector<std::string> reads;

 private:
  CSerialPort& port_;
};

// Counts the watcher's notifications as they are posted.
class CountingRadioPort : public CRadioPort {
 public:
  ~CountingRadioPort() override { ClosePort(); }
  void OnCommEvent(std::uint32_t events, std::uint32_t errors) override {
    CRadioPort::OnCommEvent(events, errors);
    ++posted;
  }
  std::atomic<int> posted{0};
};

class SerialWatcherTest : public ::testing::Test {
 protected:
  // Opened and set up as a run uses the port.
  void SetUp() override {
    ASSERT_EQ(port.OpenForWindow(pty.SlavePath(), loop, &window, 0, 77, 2048, 2048), 0);
    ASSERT_EQ(port.SetEventCharacter('\r', false), 0);
    ASSERT_EQ(port.SetEventMask(EV_RXFLAG | EV_ERR), 0);
    ASSERT_EQ(port.PurgeBuffers(), 0);
  }
  bool RunUntilMessages(std::size_t count) {
    return loop.RunUntil([&] { return window.messages.size() >= count; }, kLimit);
  }
  bool WaitUntilPosted(int count) {
    const auto end = std::chrono::steady_clock::now() + kLimit;
    while (port.posted < count && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    return port.posted >= count;
  }

  PtyPair pty;
  PollEventLoop loop;
  CountingRadioPort port;
  RecordingWindow window{port};
};

TEST_F(SerialWatcherTest, TheEventCharacterPostsTheRegisteredMessageToTheWindowThread) {
  EXPECT_TRUE(port.IsWatching());
  pty.Send("VER 1234\r");
  ASSERT_TRUE(RunUntilMessages(1));
  const Message& m = window.messages[0];
  EXPECT_EQ(m.id, DefaultComMessage());
  EXPECT_EQ(m.id, RegisterWindowMessage("CSerialWnd_DefaultComMsg"));
  EXPECT_EQ(m.wParam, EV_RXFLAG);  // no line errors in the high word
  EXPECT_EQ(m.lParam, 77);
  EXPECT_EQ(m.thread, std::this_thread::get_id());
  EXPECT_EQ(window.reads[0], "VER 1234\r");
}

TEST_F(SerialWatcherTest, BytesWithoutTheEventCharacterRaiseNothingAndWaitInTheBuffer) {
  pty.Send("ABC");
  loop.RunFor(200ms);
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(port.posted, 0);
  pty.Send("\r");
  ASSERT_TRUE(RunUntilMessages(1));
  EXPECT_EQ(window.reads[0], "ABC\r");
}

TEST_F(SerialWatcherTest, TwoRepliesBeforeTheWindowHandlesTheFirstNotification) {
  // While the window handles the first notification, the second reply
  // arrives and the watcher posts again.
  window.beforeRead = [&] {
    if (window.messages.empty()) {
      pty.Send("R2\r");
      ASSERT_TRUE(WaitUntilPosted(2));
    }
  };
  pty.Send("R1\r");
  ASSERT_TRUE(RunUntilMessages(2));
  loop.RunFor(100ms);
  ASSERT_EQ(window.messages.size(), 2u);  // one post per completed wait
  EXPECT_EQ(window.reads[0], "R1\rR2\r");  // the first read takes both
  EXPECT_EQ(window.reads[1], "");          // the purge left nothing for the second
  EXPECT_EQ(window.results[1], 0);
}

TEST_F(SerialWatcherTest, AMaskChangeWakesTheWatcherWithoutANotificationAndItWatchesTheNewMask) {
  ASSERT_EQ(port.SetEventMask(EV_RXCHAR), 0);
  loop.RunFor(100ms);
  EXPECT_TRUE(window.messages.empty());
  pty.Send("a");
  ASSERT_TRUE(RunUntilMessages(1));
  EXPECT_EQ(window.messages[0].wParam, EV_RXCHAR);
  EXPECT_EQ(window.reads[0], "a");
}

TEST_F(SerialWatcherTest, LineErrorsTravelInTheHighWord) {
  // A pseudo-terminal has no line to err on; the watcher's report is handed
  // straight to the notification.
  port.OnCommEvent(EV_ERR, CE_FRAME);
  port.OnCommEvent(0, CE_OVERRUN);  // no events: nothing posted
  port.OnCommEvent(EV_RXFLAG | EV_ERR, 0x12345 | CE_RXPARITY);
  ASSERT_TRUE(RunUntilMessages(2));
  loop.RunFor(50ms);
  ASSERT_EQ(window.messages.size(), 2u);
  EXPECT_EQ(window.messages[0].wParam, 0x00080080u);
  EXPECT_EQ(window.messages[1].wParam, (0x2345u << 16) | 0x0082u);
}

TEST_F(SerialWatcherTest, ClosingStopsTheWaitingWatcher) {
  ASSERT_TRUE(port.IsWatching());
  EXPECT_EQ(port.ClosePort(), 0);
  EXPECT_FALSE(port.IsWatching());
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_EQ(port.QueryEventMask(), 0u);
}

TEST_F(SerialWatcherTest, ANotificationQueuedAtCloseIsStillDeliveredAndFindsThePortClosed) {
  pty.Send("late\r");
  ASSERT_TRUE(WaitUntilPosted(1));
  ASSERT_EQ(port.ClosePort(), 0);
  ASSERT_TRUE(RunUntilMessages(1));
  EXPECT_EQ(window.results[0], ERROR_INVALID_HANDLE);
  EXPECT_EQ(window.reads[0], "");
  pty.Send("ignored\r");
  loop.RunFor(100ms);
  EXPECT_EQ(window.messages.size(), 1u);  // nothing more once closed
}

TEST_F(SerialWatcherTest, ReopeningStartsAFreshWatcher) {
  ASSERT_EQ(port.ClosePort(), 0);
  ASSERT_EQ(port.OpenForWindow(pty.SlavePath(), loop, &window, 0, 0, 2048, 2048), 0);
  EXPECT_TRUE(port.IsWatching());
  EXPECT_EQ(port.QueryEventMask(), 0x00C1u);  // the open's own mask again
  pty.Send("x");
  ASSERT_TRUE(RunUntilMessages(1));
  EXPECT_EQ(window.messages[0].wParam, EV_RXCHAR);
  EXPECT_EQ(window.messages[0].lParam, 0);
}

TEST_F(SerialWatcherTest, OpeningTheOpenPortAgainIsRefused) {
  EXPECT_EQ(port.OpenForWindow(pty.SlavePath(), loop, &window), ERROR_ALREADY_INITIALIZED);
  EXPECT_TRUE(port.IsWatching());
  pty.Send("ok\r");
  ASSERT_TRUE(RunUntilMessages(1));
  EXPECT_EQ(window.reads[0], "ok\r");
}

TEST_F(SerialWatcherTest, TheWatcherNoticesAHangUpAndEnds) {
  pty.CloseMaster();
  const auto end = std::chrono::steady_clock::now() + kLimit;
  while (port.IsWatching() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(port.IsWatching());
  EXPECT_EQ(port.LastError(), EIO);
  char buffer[8];
  std::uint32_t count = 5;
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), EIO);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(port.WriteBytes("?V\r", 3, nullptr, nullptr, INFINITE), EIO);
  loop.RunFor(50ms);
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(port.ClosePort(), 0);
}

TEST(SerialWatcherOpen, AFailedOpenLeavesNothingRunning) {
  PollEventLoop loop;
  CRadioPort port;
  EXPECT_EQ(port.OpenForWindow("/dev/no-such-serial-port", loop, nullptr), ENOENT);
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_FALSE(port.IsWatching());
  EXPECT_EQ(port.StartWatcher(), ERROR_INVALID_HANDLE);
}

TEST(SerialWatcherOpen, WithoutAWindowNothingIsPosted) {
  PtyPair pty;
  PollEventLoop loop;
  CRadioPort port;
  ASSERT_EQ(port.OpenForWindow(pty.SlavePath(), loop, nullptr), 0);
  EXPECT_TRUE(port.IsWatching());
  pty.Send("x\r");
  bool ran = false;
  loop.Post([&] { ran = true; });
  loop.RunFor(100ms);
  EXPECT_TRUE(ran);
  EXPECT_EQ(port.ClosePort(), 0);
}

}  // namespace
}  // namespace flash
