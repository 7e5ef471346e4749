#pragma once
// The engine on the real links: the send path and the serial receive path
// over a real pseudo-terminal and a real UDP socket, with a real poll loop as
// the window thread.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/flash_engine.h"
#include "link/framing/radio_links.h"
#include "link/os/poll_event_loop.h"
#include "link/os/system_clock.h"
#include "logs/logs.h"
#include "poll_host.h"
#include "settings/settings.h"
#include "temp_dir.h"

namespace flash::testing {

class LinkFixture : public ::testing::Test {
 protected:
  LinkFixture() {
    window.onTimer = [this](int id) { engine.OnTimer(id); };
    links.SetReplyHandlers(
        [this](const std::uint8_t* data, std::uint8_t count) {
          replies.emplace_back(reinterpret_cast<const char*>(data), count);
          engine.ParseRadioReply(data, count);
        },
        [this] {
          ++dataArrived;
          engine.StopVersionTimer();
        });
    links.SetLinkLostHandler([this](const std::string& reason) { engine.OnLinkLost(reason); });
  }

  bool RunUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    return loop.RunUntil(done, std::chrono::milliseconds(milliseconds));
  }

  TempDir dir;
  PollEventLoop loop;
  PollHost window{loop};
  SystemClock clock;
  Logs logs{window, clock, dir.File("comms.txt")};
  CommSettings settings;
  RadioLinks links{settings, loop, logs, window};
  FlashEngine engine{window, clock, logs, links};
  std::vector<std::string> replies;
  int dataArrived = 0;
};

}  // namespace flash::testing
