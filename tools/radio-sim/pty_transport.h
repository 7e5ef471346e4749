#pragma once
// The radio's serial port: a pseudo-terminal whose slave side the updater opens
// as its port. Both sides are in raw mode. The simulator keeps one descriptor
// of the slave open itself, so the line stays up while the updater closes and
// re-opens the port between runs.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace flash::radio_sim {

class PtyTransport {
 public:
  PtyTransport() = default;
  ~PtyTransport();
  PtyTransport(const PtyTransport&) = delete;
  PtyTransport& operator=(const PtyTransport&) = delete;

  // Opens the pseudo-terminal; with a link path, also points a symlink there
  // (a stale symlink is replaced; any other file in the way is an error).
  bool Open(const std::string& linkPath, std::string& error);

  const std::string& SlavePath() const { return slavePath_; }
  const std::string& LinkPath() const { return linkPath_; }
  // The master side, -1 once hung up.
  int Descriptor() const { return master_; }

  // Non-blocking: what the updater has written, up to the buffer's size.
  std::size_t Read(std::span<std::uint8_t> buffer);
  // Non-blocking: as much as the line takes now.
  std::size_t Write(std::span<const std::uint8_t> bytes);

  // Bytes written to the updater that it has not read yet.
  std::size_t Unread() const;

  // Closes both sides, so the port disappears, and removes the link.
  void HangUp();

 private:
  int master_ = -1;
  int holder_ = -1;
  std::string slavePath_;
  std::string linkPath_;
};

}  // namespace flash::radio_sim
