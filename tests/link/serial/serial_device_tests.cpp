// The OS layer beneath the driver classes: port names, the marked-input
// decoder, and opening real pseudo-terminals.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/os/serial_device.h"
#include "link/serial/serial_port.h"
#include "pty_pair.h"

namespace flash {
namespace {

using testing::PtyPair;

TEST(SerialDeviceName, ComNamesMapToTtySAndEverythingElseIsAPath) {
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},
      {"com4", "/dev/ttyS3"},
      {"Com12", "/dev/ttyS11"},
      {"COM0", "COM0"},
      {"COM", "COM"},
      {"COM1x", "COM1x"},
      {"COM-1", "COM-1"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"/dev/serial/by-id/usb-Radio_Cable_0001-if00-port0", "/dev/serial/by-id/usb-Radio_Cable_0001-if00-port0"},
      {"ttyUSB0", "ttyUSB0"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolveSerialDeviceName(c.name), c.path) << c.name;
}

// The tty marks what it could not receive cleanly; the decoder turns the marks
// back into data bytes and counts breaks and errored bytes.
TEST(SerialMarkedInput, DecodesMarksAndKeepsDataBytes) {
  const struct {
    std::vector<std::uint8_t> raw;
    std::vector<std::uint8_t> data;
    unsigned breaks;
    unsigned badBytes;
  } cases[] = {
      {{'A', 'B', '\r'}, {'A', 'B', '\r'}, 0, 0},
      {{0xFF, 0xFF}, {0xFF}, 0, 0},
      {{'A', 0xFF, 0x00, 0x00, 'B'}, {'A', 'B'}, 1, 0},
      {{0xFF, 0x00, 'x', '\r'}, {'x', '\r'}, 0, 1},
      {{0xFF, 0x00, 0xFF}, {0xFF}, 0, 1},
      {{0xFF, 'q'}, {0xFF, 'q'}, 0, 0},
  };
  for (const auto& c : cases) {
    MarkedInputDecoder decoder;
    std::deque<std::uint8_t> out;
    const auto marks = decoder.Decode(c.raw.data(), c.raw.size(), out);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.end()), c.data);
    EXPECT_EQ(marks.breaks, c.breaks);
    EXPECT_EQ(marks.badBytes, c.badBytes);
  }
}

TEST(SerialMarkedInput, UnderstandsAMarkSplitBetweenReads) {
  MarkedInputDecoder decoder;
  std::deque<std::uint8_t> out;
  const std::uint8_t first[] = {'A', 0xFF};
  const std::uint8_t second[] = {0x00};
  const std::uint8_t third[] = {'z', 0xFF};
  const std::uint8_t fourth[] = {0xFF, 'B'};
  unsigned bad = 0;
  bad += decoder.Decode(first, sizeof first, out).badBytes;
  bad += decoder.Decode(second, sizeof second, out).badBytes;
  bad += decoder.Decode(third, sizeof third, out).badBytes;
  bad += decoder.Decode(fourth, sizeof fourth, out).badBytes;
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.end()), (std::vector<std::uint8_t>{'A', 'z', 0xFF, 'B'}));
  EXPECT_EQ(bad, 1u);
}

TEST(SerialDeviceOpen, RefusesWhatIsNotAnAvailableTty) {
  PtyPair pty;
  std::unique_ptr<SerialDevice> holder;
  ASSERT_EQ(SerialDevice::Open(pty.SlavePath(), holder), 0);

  const struct {
    std::string path;
    std::int32_t error;
  } cases[] = {
      {"", ENOENT},
      {"/dev/no-such-serial-port", ENOENT},
      {"/dev/null", ENOTTY},
      {pty.SlavePath(), EBUSY},  // held by the open above
  };
  for (const auto& c : cases) {
    std::unique_ptr<SerialDevice> device;
    EXPECT_EQ(SerialDevice::Open(c.path, device), c.error) << c.path;
    EXPECT_EQ(device, nullptr);
  }
}

TEST(SerialDeviceOpen, RefusesAPortAnotherProgramHasLocked) {
  PtyPair pty;
  const int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  std::unique_ptr<SerialDevice> device;
  EXPECT_EQ(SerialDevice::Open(pty.SlavePath(), device), EBUSY);
  ::close(other);
  EXPECT_EQ(SerialDevice::Open(pty.SlavePath(), device), 0);
}

TEST(SerialDeviceOpen, RawWhileOpenAndTheOldSettingsBackAtClose) {
  PtyPair pty;
  const termios before = pty.SlaveTermios();
  ASSERT_NE(before.c_lflag & ICANON, 0u);  // a fresh pty is a cooked terminal
  {
    std::unique_ptr<SerialDevice> device;
    ASSERT_EQ(SerialDevice::Open(pty.SlavePath(), device), 0);
    const termios open = pty.SlaveTermios();
    EXPECT_EQ(open.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(open.c_oflag & OPOST, 0u);
    EXPECT_EQ(open.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(open.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(open.c_cflag & CLOCAL, 0u);
  }
  const termios after = pty.SlaveTermios();
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
}

// The tty doubles a received 0xFF while it marks errors; the port must hand
// each byte over once, and must still see the event character behind it.
TEST(SerialDeviceInput, BytesFFArriveOnce) {
  PtyPair pty;
  CSerialPort port;
  ASSERT_EQ(port.OpenPort(pty.SlavePath()), 0);
  ASSERT_EQ(port.SetEventCharacter('\r', false), 0);
  ASSERT_EQ(port.SetEventMask(EV_RXFLAG), 0);
  const std::string sent("\xFF\x00\xFF\xFF" "A\r", 6);
  pty.Send(sent);
  ASSERT_EQ(port.WaitForEvent(nullptr, 5000), 0);
  EXPECT_EQ(port.TakeEvents(), EV_RXFLAG);
  std::string got;
  char buffer[64];
  std::uint32_t count = 0;
  while (got.size() < sent.size() && port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE) == 0 &&
         count > 0) {
    got.append(buffer, count);
  }
  EXPECT_EQ(got, sent);
}

}  // namespace
}  // namespace flash
