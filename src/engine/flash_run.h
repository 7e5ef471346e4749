#pragma once
// The run record: the one record of a run's state, shared by the line encoder,
// the run driver, the reply parser and the reply timers.

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace flash {

// The run's mode code. Its low byte opens every Intel HEX data packet.
enum class RunMode : int {
  Program = 66,  // 'B'
  Verify = 86,   // 'V'
  Testing = 153, // 0x99
  Query = 63,    // '?'
};

// What ProcessLine tells the line pump.
enum class LineResult : int {
  EndOfFile = 1,     // the file has no further line: the run is over
  WaitForRadio = 2,  // a packet that expects a reply was sent
  NextLine = 3,      // the line is finished; go on with the next one at once
};

// Where a run stands. Every reply and timer expiry is judged against it, so
// nothing late can touch a closed file or resume a stopped run.
enum class RunState {
  Idle,          // no run: before the first, or after one ended or stopped
  ChoosingFile,  // the open-file dialog is up
  Opening,       // counting the file and opening the link
  VersionQuery,  // "?V\r" sent; no RUF line read yet
  Streaming,     // RUF lines are being sent
  Ending,        // the file is done; summary and result dialog
};

// Window timers and messages of the main window.
inline constexpr int TIMER_RESPONSE = 103;
inline constexpr int TIMER_VERSION = 125;
inline constexpr unsigned WM_USER = 0x0400;
inline constexpr unsigned WM_APPEND_LOG = WM_USER + 3;
inline constexpr unsigned WM_SET_STATUS = WM_USER + 4;
inline constexpr unsigned WM_NEXT_LINE = WM_USER + 7;

// Time-outs in milliseconds.
inline constexpr int kVersionTimeoutMs = 10000;
inline constexpr int kLineTimeoutMs = 10000;
inline constexpr int kEraseTimeoutMs = 40000;
inline constexpr int kModel730TimeoutMs = 50000;
inline constexpr int kCheckedReplyTimeoutMs = 5000;  // whenever replies are checked
inline constexpr int kMaxTimeoutRetries = 6;         // more than this: communication error
inline constexpr int kMaxChecksumRetries = 3;        // repeats after a bad echo

// Commands of the main window.
inline constexpr int ID_UPDATE_RADIO = 32768;
inline constexpr int ID_VERIFY_PROGRAM = 32769;
inline constexpr int ID_QUERY_MODE = 32770;
inline constexpr int ID_TOGGLE_IGNORE_ERRORS = 32778;
inline constexpr int ID_TESTING_MODE = 32784;

// Result and error dialogs, by resource number.
inline constexpr int IDD_COMM_ERROR = 113;
inline constexpr int IDD_UPDATE_SUCCESS = 117;
inline constexpr int IDD_VERIFY_SUCCESS = 118;
inline constexpr int IDD_NOT_JUDGED = 120;
inline constexpr int IDD_VERIFY_FAILED = 121;
inline constexpr int IDD_UPDATE_FAILED = 122;

// A line is read with at most 254 characters, line end included.
inline constexpr std::size_t kMaxLineChars = 254;
inline constexpr std::size_t kPacketBufferSize = 256;

// Segment values outside 0..0xFFFF match no extended segment record.
inline constexpr int kNoSegment = -1;

struct FlashRun {
  RunMode Mode = RunMode::Program;
  int IgnoreErrors = 0;  // 1: replies and errors are ignored; stored as the settings gave it
  int Busy = 0;
  int ResultDialogOpen = 0;
  int FailureFlag = 0;
  std::int8_t ChecksumRetries = 0;
  int ChecksumErrors = 0;
  std::int8_t TimeoutRetries = 0;
  std::uint8_t ResendPending = 0;
  std::uint8_t ZzPending = 0;
  std::uint8_t SegmentSent = 0;
  int LastSegment = 0x5AA5;
  int Segment = 0xA55A;
  std::uint8_t ExpectedEcho = 0;
  int ResponseTimeoutMs = kLineTimeoutMs;
  int FileModel = 99999;
  char FileModelText[4] = {};
  int DspVersion = 0;
  int RadioModel = 0;
  std::uint8_t LastEcho = 0;
  std::FILE* RufFile = nullptr;
  int LinesTotal = 0;
  int LineNumber = 0;
  char Line[kMaxLineChars + 1] = {};
  char LastLine[kMaxLineChars + 1] = {};
  std::int64_t StartTime = 0;
  std::int64_t EndTime = 0;
  int ElapsedSeconds = 0;

  // Beyond the classic record: the run's state machine and what a repeat
  // before the first RUF line sends.
  RunState State = RunState::Idle;
  bool ModelMatched = false;       // the radio's version reply matched the file's model
  bool LineReadThisRun = false;    // a RUF line has been read since the run started
  int FileLine = 0;                // physical lines read from the file, for notes
  std::uint8_t LastControlPacket[3] = {};  // the version query or acknowledge last sent
  std::size_t LastControlLength = 0;
  std::uint8_t Packet[kPacketBufferSize] = {};
};

inline std::uint8_t ModeByte(RunMode mode) {
  return static_cast<std::uint8_t>(static_cast<int>(mode) & 0xFF);
}

}  // namespace flash
