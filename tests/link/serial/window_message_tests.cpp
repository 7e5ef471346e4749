// Registered message ids and posting to windows by handle.

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/os/poll_event_loop.h"
#include "link/serial/window_message.h"

namespace flash {
namespace {

using namespace std::chrono_literals;

TEST(SerialWindowMessage, OneIdPerNameFromEveryThread) {
  const unsigned first = RegisterWindowMessage("SerialTest_One");
  EXPECT_GE(first, kFirstRegisteredMessage);
  EXPECT_EQ(RegisterWindowMessage("SerialTest_One"), first);
  EXPECT_NE(RegisterWindowMessage("SerialTest_Two"), first);
  EXPECT_EQ(RegisterWindowMessage(""), 0u);

  std::vector<std::thread> threads;
  std::vector<std::vector<unsigned>> seen(4);
  for (std::size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) seen[t].push_back(RegisterWindowMessage("SerialTest_Race" + std::to_string(i)));
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& ids : seen) EXPECT_EQ(ids, seen[0]);
  EXPECT_EQ(std::set<unsigned>(seen[0].begin(), seen[0].end()).size(), seen[0].size());
}

struct Received {
  unsigned message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

class ListWindow : public MessageWindow {
 public:
  void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
    received.push_back({message, wParam, lParam});
  }
  std::vector<Received> received;
};

TEST(SerialWindowMessage, PostsArriveOnTheWindowThreadInOrder) {
  PollEventLoop loop;
  ListWindow window;
  std::thread poster([&] {
    for (unsigned i = 0; i < 3; ++i) EXPECT_TRUE(PostWindowMessage(loop, window.Handle(), 0xC100 + i, i, -1));
  });
  poster.join();
  ASSERT_TRUE(loop.RunUntil([&] { return window.received.size() == 3; }, 5s));
  for (unsigned i = 0; i < 3; ++i) {
    EXPECT_EQ(window.received[i].message, 0xC100 + i);
    EXPECT_EQ(window.received[i].wParam, i);
    EXPECT_EQ(window.received[i].lParam, -1);
  }
}

TEST(SerialWindowMessage, AWindowThatIsGoneGetsNothing) {
  PollEventLoop loop;
  EXPECT_FALSE(PostWindowMessage(loop, WindowHandle::None, 0xC000, 0, 0));
  auto window = std::make_unique<ListWindow>();
  const WindowHandle handle = window->Handle();
  EXPECT_TRUE(IsWindow(handle));
  EXPECT_TRUE(PostWindowMessage(loop, handle, 0xC000, 1, 0));  // queued, then the window goes
  window.reset();
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_FALSE(PostWindowMessage(loop, handle, 0xC000, 2, 0));
  ListWindow later;  // a new window never takes over an old handle
  EXPECT_NE(later.Handle(), handle);
  loop.RunFor(50ms);
  EXPECT_TRUE(later.received.empty());
}

}  // namespace
}  // namespace flash
