#include "qt_host/qt_event_loop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <thread>
#include <vector>

#include "cli_test_support.h"

namespace flash::cli {
namespace {

// A real pipe whose read end the loop watches.
class CliQtEventLoopPipe : public ::testing::Test {
 protected:
  CliQtEventLoopPipe() {
    testing::EnsureQtApp();
    EXPECT_EQ(pipe2(fds_, O_CLOEXEC | O_NONBLOCK), 0);
  }
  ~CliQtEventLoopPipe() override {
    loop_.UnwatchReadable(fds_[0]);
    close(fds_[0]);
    close(fds_[1]);
  }
  void WriteByte() { ASSERT_EQ(write(fds_[1], "x", 1), 1); }
  void Drain() {
    char buffer[64];
    while (read(fds_[0], buffer, sizeof buffer) > 0) {
    }
  }

  QtEventLoop loop_;
  int fds_[2] = {-1, -1};
};

TEST(CliQtEventLoop, PostedTasksRunOnTheLoopThreadInPostingOrder) {
  testing::EnsureQtApp();
  QtEventLoop loop;
  const auto loopThread = std::this_thread::get_id();
  std::vector<int> order;
  bool allOnLoopThread = true;
  std::thread poster([&] {
    for (int i = 0; i < 200; ++i) {
      loop.Post([&, i] {
        order.push_back(i);
        allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
      });
    }
  });
  poster.join();
  EXPECT_TRUE(order.empty());  // nothing runs before the loop does
  ASSERT_TRUE(testing::ProcessEventsUntil([&] { return order.size() == 200; }));
  EXPECT_TRUE(allOnLoopThread);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST(CliQtEventLoop, TasksStillQueuedWhenTheLoopGoesAwayAreDropped) {
  testing::EnsureQtApp();
  bool ran = false;
  {
    QtEventLoop loop;
    loop.Post([&] { ran = true; });
  }
  bool later = false;
  QtEventLoop other;
  other.Post([&] { later = true; });
  ASSERT_TRUE(testing::ProcessEventsUntil([&] { return later; }));
  EXPECT_FALSE(ran);
}

TEST_F(CliQtEventLoopPipe, ReportsReadableDescriptorsAndReplacesCallbacks) {
  int first = 0;
  int second = 0;
  loop_.WatchReadable(fds_[0], [&] {
    ++first;
    Drain();
  });
  WriteByte();
  ASSERT_TRUE(testing::ProcessEventsUntil([&] { return first == 1; }));

  loop_.WatchReadable(fds_[0], [&] {
    ++second;
    Drain();
  });
  WriteByte();
  ASSERT_TRUE(testing::ProcessEventsUntil([&] { return second == 1; }));
  EXPECT_EQ(first, 1);
}

TEST_F(CliQtEventLoopPipe, CallbackMayUnwatchOrReplaceItself) {
  // Data is left unread, so a notifier still watching would fire again and again.
  int calls = 0;
  loop_.WatchReadable(fds_[0], [&] {
    ++calls;
    loop_.WatchReadable(fds_[0], [&] {  // replaced while running
      ++calls;
      loop_.UnwatchReadable(fds_[0]);  // and gone while running
    });
  });
  WriteByte();
  ASSERT_TRUE(testing::ProcessEventsUntil([&] { return calls == 2; }));

  bool marker = false;
  loop_.Post([&] { marker = true; });
  ASSERT_TRUE(testing::ProcessEventsUntil([&] { return marker; }));
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(calls, 2);

  // Watching again after an unwatch works as the first time.
  loop_.WatchReadable(fds_[0], [&] {
    ++calls;
    Drain();
  });
  ASSERT_TRUE(testing::ProcessEventsUntil([&] { return calls == 3; }));
}

}  // namespace
}  // namespace flash::cli
