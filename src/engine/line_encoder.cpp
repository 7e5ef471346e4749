// ProcessLine: turns one line of the RUF file into what the radio must
// receive, keeps the progress text, and tells the line pump whether to wait.

#include <cstdio>
#include <cstring>

#include "engine/flash_engine.h"
#include "engine/ruf_record.h"

namespace flash {
namespace {

// A short fixed pause between consecutive packets.
void PauseBetweenPackets() {
  volatile int countdown = 50000;
  while (countdown > 0) {
    const int left = countdown;
    countdown = left - 1;
  }
}

std::string Printf(const char* format, int a, int b) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

std::string_view FlashEngine::CurrentLine() const {
  return std::string_view(run_.Line, std::strlen(run_.Line));
}

void FlashEngine::SendPacket(std::size_t length) { SendToRadio(run_.Packet, length); }

LineResult FlashEngine::ProcessLine() {
  run_.ResponseTimeoutMs = kLineTimeoutMs;
  PauseBetweenPackets();

  if (run_.ResendPending != 0 && run_.ZzPending != 0) {
    run_.ResendPending = 0;
    SendControlPacket("ZZ\r");
    return LineResult::WaitForRadio;
  }
  if (run_.ResendPending != 0) {
    run_.ResendPending = 0;
    if (!run_.LineReadThisRun) {
      // No RUF line yet in this run: repeat the version query or acknowledge.
      SendToRadio(run_.LastControlPacket, run_.LastControlLength);
      return LineResult::WaitForRadio;
    }
    std::memcpy(run_.Line, run_.LastLine, sizeof run_.Line);
    run_.LineNumber -= 1;
    if (run_.SegmentSent != 0) run_.LastSegment = kNoSegment;
  } else {
    if (run_.RufFile == nullptr ||
        std::fgets(run_.Line, static_cast<int>(sizeof run_.Line), run_.RufFile) == nullptr) {
      run_.Line[0] = '\0';
      logs_.AppendLog(" End Of Code Processing, Please Standby!\r\n");
      run_.Busy = 0;
      return LineResult::EndOfFile;
    }
    run_.FileLine += 1;
    run_.ChecksumRetries = 0;
    run_.TimeoutRetries = 0;
    if (!run_.LineReadThisRun) {
      run_.LineReadThisRun = true;
      run_.State = RunState::Streaming;
    }
  }

  if (static_cast<unsigned>(run_.LineNumber) <= 50 || run_.LineNumber % 10 == 0) {
    logs_.SetStatus(kProgressPane, Printf("%d of %d Lines Processed", run_.LineNumber, run_.LinesTotal));
  }
  std::memcpy(run_.LastLine, run_.Line, sizeof run_.LastLine);

  switch (run_.Line[0]) {
    case ';': return EncodeComment();
    case '#': return EncodeDirective();
    case ':': return EncodeIntelHex();
    case 'S': return EncodeSRecord();
    default: return SkipUnrecognisedLine();
  }
}

LineResult FlashEngine::EncodeComment() {
  logs_.AppendLog(" ");
  logs_.AppendLog(CurrentLine().substr(1));
  return LineResult::NextLine;
}

LineResult FlashEngine::SkipUnrecognisedLine() {
  // Nothing is sent, so no reply can come: go on with the next line.
  char text[64];
  std::snprintf(text, sizeof text, " Line %d of the file not recognised, skipped", run_.FileLine);
  logs_.TraceNote("line encoder", text);
  return LineResult::NextLine;
}

LineResult FlashEngine::RejectUnreadableRecord(std::string_view problem) {
  // A record that cannot be read is a file error: nothing is sent.
  if (logs_.CommsLogOpen()) {
    logs_.WriteCommsLog(" File Record Error ");
    logs_.WriteCommsLog(std::string("Record cannot be read: ").append(problem).append("\n"));
    logs_.WriteCommsLog("\n");
    logs_.WriteCommsLog(CurrentLine());
    logs_.WriteCommsLog("\n");
  }
  run_.FailureFlag = 1;
  return LineResult::NextLine;
}

LineResult FlashEngine::EncodeDirective() {
  const std::string_view line = CurrentLine();
  const bool verifying = run_.Mode == RunMode::Verify;
  switch (line.size() > 1 ? line[1] : '\0') {
    case '>':
      SendToRadio(reinterpret_cast<const std::uint8_t*>(line.data() + 2), line.size() - 2);
      SendText("\r");
      return LineResult::NextLine;
    case 'E': {
      run_.LineNumber += 1;
      if (verifying) return LineResult::NextLine;
      const auto arguments = DecodeDirectiveArguments(line, 3);
      if (!arguments) return RejectUnreadableRecord("its command arguments are not hexadecimal");
      run_.ResponseTimeoutMs = kEraseTimeoutMs;
      const auto& b = *arguments;
      run_.Packet[0] = 'E';
      run_.Packet[1] = b[0];
      run_.Packet[2] = b[1];
      run_.Packet[3] = b[2];
      run_.Packet[4] = static_cast<std::uint8_t>(0x100 - ((b[0] + b[1] + b[2]) & 0xFF));
      run_.Packet[5] = 0x0D;
      SendPacket(6);
      return LineResult::WaitForRadio;
    }
    case 'G': {
      if (verifying) return LineResult::NextLine;
      run_.LineNumber += 1;
      const auto arguments = DecodeDirectiveArguments(line, 4);
      if (!arguments) return RejectUnreadableRecord("its command arguments are not hexadecimal");
      run_.ResponseTimeoutMs = kLineTimeoutMs;
      const auto& b = *arguments;
      run_.Packet[0] = 'G';
      run_.Packet[1] = b[0];
      run_.Packet[2] = b[1];
      run_.Packet[3] = b[2];
      run_.Packet[4] = b[3];
      run_.Packet[5] = static_cast<std::uint8_t>(0x100 - ((b[0] + b[1] + b[2] + b[3]) & 0xFF));
      run_.Packet[6] = 0x0D;
      SendPacket(7);
      return LineResult::WaitForRadio;
    }
    case 'M':
      logs_.AppendLog(std::string(" Radio Update File for ").append(line.substr(2)).append("\r\n"));
      return LineResult::NextLine;
    case 'U':
      if (verifying) return LineResult::NextLine;
      if (line.substr(1, 10) == "UNLOCKBOOT") {
        SendText("UNLOCKBOOT\r");
        run_.ExpectedEcho = 0;
      }
      return LineResult::NextLine;
    case 'V':
      logs_.AppendLog(std::string(" Flash Rom Update File Format Version ")
                          .append(line.size() > 5 ? line.substr(5) : std::string_view())
                          .append("\r\n"));
      return LineResult::NextLine;
    default:
      return SkipUnrecognisedLine();
  }
}

LineResult FlashEngine::EncodeIntelHex() {
  run_.LineNumber += 1;  // every ':' line counts, whatever follows
  const std::string_view line = CurrentLine();
  const DecodedRecord record = DecodeIntelHex(line);
  if (record.status == RecordStatus::Unreadable) return RejectUnreadableRecord(record.problem);

  run_.Packet[0] = ModeByte(run_.Mode);
  if (record.count == 0) return LineResult::NextLine;

  std::memcpy(run_.Packet + 1, record.bytes.data(), record.byteCount);
  const std::size_t length = record.byteCount + 3;  // LL + 7
  run_.Packet[length - 2] = record.checksum;
  run_.Packet[length - 1] = 0x0D;

  if (record.status == RecordStatus::ChecksumError) {
    if (logs_.CommsLogOpen()) {
      char text[64];
      std::snprintf(text, sizeof text, "Calc Checksum %02X Line Checksum %02X\n", record.calculated,
                    record.checksum);
      logs_.WriteCommsLog(" File CheckSum Error ");
      logs_.WriteCommsLog(text);
      logs_.WriteCommsLog("\n");
      logs_.WriteCommsLog(line);
      logs_.WriteCommsLog("\n");
    }
    run_.FailureFlag = 1;
  }

  switch (record.type) {
    case 0x00:
      break;
    case 0x02:
      run_.Segment = record.segment;
      if (run_.Segment == run_.LastSegment) return LineResult::NextLine;
      run_.LastSegment = run_.Segment;
      run_.Packet[0] = 'A';
      run_.SegmentSent = 1;
      break;
    default:
      return LineResult::NextLine;
  }
  SendPacket(length);
  run_.ExpectedEcho = record.checksum;
  return LineResult::WaitForRadio;
}

LineResult FlashEngine::EncodeSRecord() {
  const std::string_view line = CurrentLine();
  if (line.size() > 1 && (line[1] == '0' || line[1] == '7')) return LineResult::NextLine;
  run_.LineNumber += 1;
  const DecodedRecord record = DecodeSRecord(line);
  if (record.status == RecordStatus::Unreadable) return RejectUnreadableRecord(record.problem);

  run_.Packet[0] = 'S';
  if (record.count == 0) return LineResult::NextLine;

  std::memcpy(run_.Packet + 1, record.bytes.data(), record.byteCount);
  const std::size_t length = record.byteCount + 3;  // NN + 3
  run_.Packet[length - 2] = record.checksum;
  run_.Packet[length - 1] = 0x0D;
  if (record.status == RecordStatus::ChecksumError) run_.FailureFlag = 1;

  if (record.type == 1) return LineResult::NextLine;
  if (record.type != 3) {
    // Any other type ends the data of the file: the next line request finds no line.
    CloseRufFile();
  }
  SendPacket(length);
  run_.ExpectedEcho = record.checksum;
  return LineResult::WaitForRadio;
}

}  // namespace flash
