#pragma once
// The link as the engine sees it: open it for a run, hand it packets, purge the
// serial side, and end the run's use of it. Replies come back as calls of
// FlashEngine::ParseRadioReply on the window thread.

#include <cstddef>
#include <cstdint>

namespace flash {

class RadioLink {
 public:
  virtual ~RadioLink() = default;

  // Opens the link the settings select, for a run about to start. False when
  // the run cannot start; the link has then told the operator why.
  virtual bool OpenForRun() = 0;
  // One packet, as one unit (one datagram on UDP). The sent trace and the reply
  // timer have been taken care of already.
  virtual void Transmit(const std::uint8_t* data, std::size_t length) = 0;
  // Discards what the serial port holds in both directions (nothing if it is not open).
  virtual void PurgeSerial() = 0;
  // The end of a completed run: the UDP link forgets its endpoint and closes.
  virtual void CloseForRun() = 0;
};

}  // namespace flash
