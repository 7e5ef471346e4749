// CSerialPort on a real pseudo-terminal: opening, line settings, reads,
// writes, waits, purges and the result codes of each.

#include <cerrno>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "link/serial/serial_port.h"
#include "pty_pair.h"

namespace flash {
namespace {

using testing::PtyPair;

TEST(SerialPortClosed, EveryOperationReportsNoPort) {
  CSerialPort port;
  char buffer[8];
  std::uint32_t count = 99;
  std::uint32_t written = 99;
  OsEvent* none[] = {nullptr};
  std::size_t signalled = 0;
  const struct {
    const char* name;
    std::function<std::int64_t()> call;
    std::int64_t expected;
  } cases[] = {
      {"ConfigureLine", [&] { return port.ConfigureLine(57600, 8, NOPARITY, ONESTOPBIT); }, ERROR_INVALID_HANDLE},
      {"SetEventCharacter", [&] { return port.SetEventCharacter('\r', true); }, ERROR_INVALID_HANDLE},
      {"SetEventMask", [&] { return port.SetEventMask(0x82); }, ERROR_INVALID_HANDLE},
      {"WaitForEvent", [&] { return port.WaitForEvent(nullptr, INFINITE); }, ERROR_INVALID_HANDLE},
      {"SetFlowControl", [&] { return port.SetFlowControl(FLOW_HARDWARE); }, ERROR_INVALID_HANDLE},
      {"SetReadMode", [&] { return port.SetReadMode(READ_IMMEDIATE); }, ERROR_INVALID_HANDLE},
      {"WriteText", [&] { return port.WriteText("?V\r", &written, nullptr, INFINITE); }, ERROR_INVALID_HANDLE},
      {"WriteBytes", [&] { return port.WriteBytes("ZZ\r", 3, &written, nullptr, INFINITE); }, ERROR_INVALID_HANDLE},
      {"ReadBytes", [&] { return port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE); },
       ERROR_INVALID_HANDLE},
      {"PurgeBuffers", [&] { return port.PurgeBuffers(); }, ERROR_INVALID_HANDLE},
      {"WaitForSignal", [&] { return port.WaitForSignal(none, 0, signalled); }, ERROR_INVALID_HANDLE},
      {"QueryBaudRate", [&] { return port.QueryBaudRate(); }, -1},
      {"QueryDataBits", [&] { return port.QueryDataBits(); }, -1},
      {"QueryParity", [&] { return port.QueryParity(); }, -1},
      {"QueryStopBits", [&] { return port.QueryStopBits(); }, -1},
      {"QueryFlowControl", [&] { return port.QueryFlowControl(); }, -1},
      {"QueryEventMask", [&] { return port.QueryEventMask(); }, 0},
      {"QueryEventCharacter", [&] { return port.QueryEventCharacter(); }, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.call(), c.expected) << c.name;
    EXPECT_EQ(port.LastError(), ERROR_INVALID_HANDLE) << c.name;
  }
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(port.SetWriteTimeouts(1, 1));
  EXPECT_EQ(port.TakeEvents(), 0u);
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_EQ(port.ClosePort(), 0);
  EXPECT_EQ(port.LastError(), 0);
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(port.OpenPort(pty.SlavePath()), 0); }

  std::string ReadAll(std::size_t expected) {
    std::string got;
    char buffer[256];
    std::uint32_t count = 0;
    for (int tries = 0; got.size() < expected && tries < 200; ++tries) {
      EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);
      got.append(buffer, count);
      if (count == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return got;
  }

  PtyPair pty;
  CSerialPort port;
};

TEST_F(SerialPortTest, OpenedPortStartsWithTheDefaultMaskAndImmediateReads) {
  EXPECT_TRUE(port.IsPortOpen());
  EXPECT_EQ(port.QueryEventMask(), 0x00C1u);
  char buffer[16];
  std::uint32_t count = 1;
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);  // nothing there: at once
  EXPECT_EQ(count, 0u);
}

TEST_F(SerialPortTest, OpeningAnOpenPortIsRefusedAndTheOpenPortKeepsWorking) {
  EXPECT_EQ(port.OpenPort(pty.SlavePath()), ERROR_ALREADY_INITIALIZED);
  EXPECT_EQ(port.LastError(), ERROR_ALREADY_INITIALIZED);
  EXPECT_TRUE(port.IsPortOpen());
  std::uint32_t written = 0;
  EXPECT_EQ(port.WriteBytes("?V\r", 3, &written, nullptr, INFINITE), 0);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(pty.Receive(), "?V\r");
}

TEST_F(SerialPortTest, ASecondPortOnTheSameDeviceIsRefused) {
  CSerialPort other;
  EXPECT_EQ(other.OpenPort(pty.SlavePath()), EBUSY);
  EXPECT_FALSE(other.IsPortOpen());
  EXPECT_EQ(port.ClosePort(), 0);
  EXPECT_EQ(other.OpenPort(pty.SlavePath()), 0);  // free again once closed
}

TEST_F(SerialPortTest, TheRunLineSettingsReachTheTty) {
  ASSERT_EQ(port.ConfigureLine(57600, 8, NOPARITY, ONESTOPBIT), 0);
  ASSERT_EQ(port.SetFlowControl(FLOW_HARDWARE), 0);
  const termios t = pty.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(t.c_iflag & INPCK, 0u);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(port.QueryBaudRate(), 57600);
  EXPECT_EQ(port.QueryDataBits(), 8);
  EXPECT_EQ(port.QueryParity(), 0);
  EXPECT_EQ(port.QueryStopBits(), ONESTOPBIT);
  EXPECT_EQ(port.QueryFlowControl(), FLOW_HARDWARE);
}

// A pseudo-terminal keeps speed and stop bits, but runs only 8 data bits
// without parity: what it cannot run is refused and taken back.
TEST_F(SerialPortTest, LineSettingsTable) {
  const struct {
    std::uint32_t baud;
    std::uint8_t bits, parity, stop;
    std::int32_t result;
  } cases[] = {
      {9600, 8, NOPARITY, TWOSTOPBITS, 0},
      {115200, 8, NOPARITY, ONESTOPBIT, 0},
      {1200, 7, EVENPARITY, ONESTOPBIT, EINVAL},
      {2400, 8, ODDPARITY, ONESTOPBIT, EINVAL},
      {12345, 8, NOPARITY, ONESTOPBIT, EINVAL},    // no such speed
      {57600, 9, NOPARITY, ONESTOPBIT, EINVAL},    // no such size
      {57600, 4, NOPARITY, ONESTOPBIT, EINVAL},
      {57600, 8, 5, ONESTOPBIT, EINVAL},           // no such parity
      {57600, 8, NOPARITY, 3, EINVAL},             // no such stop bits
      {57600, 8, NOPARITY, ONE5STOPBITS, EINVAL},  // 1.5 only with 5 bits
  };
  ASSERT_EQ(port.ConfigureLine(57600, 8, NOPARITY, ONESTOPBIT), 0);
  for (const auto& c : cases) {
    const termios before = pty.SlaveTermios();
    EXPECT_EQ(port.ConfigureLine(c.baud, c.bits, c.parity, c.stop), c.result) << c.baud;
    EXPECT_EQ(port.LastError(), c.result);
    const termios after = pty.SlaveTermios();
    if (c.result != 0) {
      EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before)) << c.baud;
      EXPECT_EQ(after.c_cflag, before.c_cflag) << c.baud;
      continue;
    }
    EXPECT_EQ(port.QueryBaudRate(), static_cast<int>(c.baud));
    EXPECT_EQ(port.QueryStopBits(), c.stop);
    EXPECT_EQ((after.c_cflag & CSTOPB) != 0, c.stop == TWOSTOPBITS);
  }
}

TEST_F(SerialPortTest, FlowControlModes) {
  ASSERT_EQ(port.SetFlowControl(FLOW_XONXOFF), 0);
  termios t = pty.SlaveTermios();
  EXPECT_NE(t.c_iflag & IXON, 0u);
  EXPECT_NE(t.c_iflag & IXOFF, 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(port.QueryFlowControl(), FLOW_XONXOFF);

  ASSERT_EQ(port.SetFlowControl(FLOW_NONE), 0);
  t = pty.SlaveTermios();
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(port.QueryFlowControl(), FLOW_NONE);
}

TEST_F(SerialPortTest, ModesOutsideTheirTablesAreRefusedAndChangeNothing) {
  ASSERT_EQ(port.SetFlowControl(FLOW_HARDWARE), 0);
  EXPECT_EQ(port.SetFlowControl(3), E_INVALIDARG);
  EXPECT_EQ(port.LastError(), E_INVALIDARG);
  EXPECT_EQ(port.QueryFlowControl(), FLOW_HARDWARE);
  EXPECT_NE(pty.SlaveTermios().c_cflag & CRTSCTS, 0u);

  EXPECT_EQ(port.SetReadMode(2), E_INVALIDARG);
  char buffer[4];
  std::uint32_t count = 1;
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);  // still immediate
  EXPECT_EQ(count, 0u);
}

TEST_F(SerialPortTest, EventMaskAndCharacter) {
  EXPECT_EQ(port.SetEventMask(0x4000), EINVAL);  // not an event
  EXPECT_EQ(port.QueryEventMask(), 0x00C1u);     // kept
  ASSERT_EQ(port.SetEventCharacter('\r', false), 0);
  EXPECT_EQ(port.QueryEventCharacter(), '\r');
  EXPECT_EQ(port.QueryEventMask(), 0x00C1u);
  ASSERT_EQ(port.SetEventCharacter('#', true), 0);
  EXPECT_EQ(port.QueryEventCharacter(), '#');
  EXPECT_EQ(port.QueryEventMask(), 0x00C3u);
}

TEST_F(SerialPortTest, WaitForEventSeesTheEventCharacterOnlyWhenItArrives) {
  ASSERT_EQ(port.SetEventCharacter('\r', false), 0);
  ASSERT_EQ(port.SetEventMask(EV_RXFLAG), 0);
  pty.Send("ABC");
  EXPECT_EQ(port.WaitForEvent(nullptr, 100), ERROR_TIMEOUT);
  EXPECT_EQ(port.LastError(), ERROR_TIMEOUT);
  EXPECT_TRUE(port.IsPortOpen());
  // The timed-out wait was cancelled: a new one can start and sees the '\r'.
  pty.Send("\r");
  ASSERT_EQ(port.WaitForEvent(nullptr, INFINITE), 0);
  EXPECT_EQ(port.TakeEvents(), EV_RXFLAG);
  EXPECT_EQ(port.TakeEvents(), 0u);  // taken
  EXPECT_EQ(ReadAll(4), "ABC\r");
}

TEST_F(SerialPortTest, AWaitOnTheCallersRecordStaysPendingUntilTheEvent) {
  std::unique_ptr<OsEvent> done;
  ASSERT_EQ(OsEvent::Create(done), 0);
  Overlapped record{done.get()};
  ASSERT_EQ(port.SetEventMask(EV_RXCHAR), 0);
  ASSERT_EQ(port.WaitForEvent(&record, INFINITE), 0);
  EXPECT_FALSE(done->IsSet());
  EXPECT_EQ(port.WaitForEvent(&record, INFINITE), EBUSY);  // one wait at a time

  OsEvent* const list[] = {done.get()};
  std::size_t signalled = 9;
  EXPECT_EQ(port.WaitForSignal(list, 50, signalled), ERROR_TIMEOUT);
  pty.Send("x");
  ASSERT_EQ(port.WaitForSignal(list, INFINITE, signalled), 0);
  EXPECT_EQ(signalled, 0u);
  EXPECT_EQ(port.TakeEvents(), EV_RXCHAR);

  // A mask change completes a pending wait with no events.
  ASSERT_EQ(port.WaitForEvent(&record, INFINITE), 0);
  EXPECT_FALSE(done->IsSet());
  ASSERT_EQ(port.SetEventMask(EV_RXFLAG), 0);
  EXPECT_TRUE(done->IsSet());
  EXPECT_EQ(port.TakeEvents(), 0u);
}

TEST_F(SerialPortTest, BlockingReadsWaitForTheirCount) {
  ASSERT_EQ(port.SetReadMode(READ_BLOCKING), 0);
  char buffer[5];
  std::uint32_t count = 0;
  pty.Send("12");
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, 100), ERROR_TIMEOUT);
  EXPECT_EQ(std::string(buffer, count), "12");  // what did arrive is handed over, not lost

  std::thread radio([&] {
    pty.Send("ab");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.Send("cde");
  });
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);
  radio.join();
  EXPECT_EQ(std::string(buffer, count), "abcde");
}

TEST_F(SerialPortTest, AWriteTheTtyCannotTakeRunsIntoItsTimeOut) {
  ASSERT_TRUE(port.SetWriteTimeouts(0, 50));
  // Nobody reads the master, so the pty's buffer fills and the write stalls.
  const std::string big(1 << 20, 'x');
  std::uint32_t written = 0;
  EXPECT_EQ(port.WriteBytes(big.data(), static_cast<std::uint32_t>(big.size()), &written, nullptr, INFINITE),
            ERROR_TIMEOUT);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, big.size());
  EXPECT_TRUE(port.IsPortOpen());
  // The caller's own time-out bounds a write as well.
  ASSERT_TRUE(port.SetWriteTimeouts(0, 0));
  EXPECT_EQ(port.WriteBytes(big.data(), static_cast<std::uint32_t>(big.size()), &written, nullptr, 50),
            ERROR_TIMEOUT);
}

TEST_F(SerialPortTest, WriteTextSendsTheTextWithoutItsTerminator) {
  std::uint32_t written = 0;
  EXPECT_EQ(port.WriteText("?V\r", &written, nullptr, INFINITE), 0);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(pty.Receive(), "?V\r");
}

TEST_F(SerialPortTest, PurgeEmptiesWhatIsBuffered) {
  ASSERT_EQ(port.SetEventCharacter('\r', false), 0);
  ASSERT_EQ(port.SetEventMask(EV_RXFLAG), 0);
  pty.Send("stale reply\r");
  ASSERT_EQ(port.WaitForEvent(nullptr, INFINITE), 0);  // the whole reply is in
  ASSERT_EQ(port.PurgeBuffers(), 0);
  char buffer[32];
  std::uint32_t count = 1;
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);
  EXPECT_EQ(count, 0u);
  pty.Send("new\r");
  EXPECT_EQ(ReadAll(4), "new\r");
}

TEST(SerialPortQueue, AFullInputQueueHoldsTheRestBackWithoutLosingIt) {
  PtyPair pty;
  CSerialPort port;
  ASSERT_EQ(port.OpenPort(pty.SlavePath(), 8, 8), 0);
  const std::string sent = "0123456789abcdefghij";
  pty.Send(sent);
  std::string got;
  char buffer[64];
  std::uint32_t count = 0;
  for (int tries = 0; got.size() < sent.size() && tries < 200; ++tries) {
    ASSERT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);
    EXPECT_LE(count, 8u);
    got.append(buffer, count);
    if (count == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(got, sent);
}

TEST(SerialPortQueue, AQueueSizeTheDriverRefusesLeavesThePortClosed) {
  PtyPair pty;
  CSerialPort port;
  EXPECT_EQ(port.OpenPort(pty.SlavePath(), 64u << 20, 2048), EINVAL);
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_EQ(port.OpenPort(pty.SlavePath(), 2048, 2048), 0);  // nothing was left held
}

TEST(SerialPortOpen, NamesReachTheDeviceOpenUnchanged) {
  CSerialPort port;
  EXPECT_EQ(port.OpenPort(""), ENOENT);
  EXPECT_EQ(port.OpenPort(" /dev/null"), ENOENT);  // no trimming
  EXPECT_EQ(port.OpenPort("/dev/null"), ENOTTY);
  EXPECT_EQ(port.LastError(), ENOTTY);
  EXPECT_FALSE(port.IsPortOpen());
}

TEST(SerialPortHangUp, ReadsAndWritesFailCleanlyOnceTheOtherSideHungUp) {
  PtyPair pty;
  CSerialPort port;
  ASSERT_EQ(port.OpenPort(pty.SlavePath()), 0);
  pty.CloseMaster();
  char buffer[8];
  std::uint32_t count = 7;
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), EIO);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(port.SetReadMode(READ_BLOCKING), 0);
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), EIO);  // does not hang
  EXPECT_EQ(port.WriteBytes("?V\r", 3, &count, nullptr, INFINITE), EIO);
  EXPECT_EQ(port.WaitForEvent(nullptr, INFINITE), EIO);  // does not hang either
  EXPECT_EQ(port.ClosePort(), 0);
}

}  // namespace
}  // namespace flash
