#include "radio-sim/options.h"

#include <arpa/inet.h>

#include <charconv>
#include <functional>
#include <map>

namespace flash::radio_sim {

namespace {

constexpr std::uint64_t kMaxCount = 1'000'000'000'000ULL;

std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max, bool allowHex = false) {
  int base = 10;
  if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || ptr != end || value > max) return std::nullopt;
  return value;
}

// "N:M" as two numbers.
std::optional<std::pair<std::uint64_t, std::uint64_t>> ParsePair(std::string_view text,
                                                                 std::uint64_t maxFirst,
                                                                 std::uint64_t maxSecond) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto first = ParseNumber(text.substr(0, colon), maxFirst);
  const auto second = ParseNumber(text.substr(colon + 1), maxSecond);
  if (!first || !second) return std::nullopt;
  return std::pair{*first, *second};
}

// Bytes with an optional K or M suffix (binary units).
std::optional<std::uint64_t> ParseSize(std::string_view text) {
  std::uint64_t unit = 1;
  if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) unit = 1024;
  if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) unit = 1024 * 1024;
  if (unit != 1) text.remove_suffix(1);
  const auto value = ParseNumber(text, (std::uint64_t{256} << 20U) / unit);
  if (!value || *value == 0) return std::nullopt;
  return *value * unit;
}

std::chrono::milliseconds Ms(std::uint64_t value) {
  return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(value));
}

}  // namespace

std::string UsageText() {
  return R"(usage: radio-sim [options]
A simulated radio for the firmware updater, on a pseudo-terminal or on UDP.

Transport
  --link PATH              symlink PATH to the pseudo-terminal (removed at exit)
  --udp ADDR:PORT          serve UDP on ADDR:PORT instead of the pseudo-terminal
  --passcode N             UDP passcode, decimal or 0x hex; its low 16 bits count (0)
  --baud N                 pace the serial line at N baud, 10 bits a byte
  --resync-ms N            quiet time that cuts an incomplete serial packet (200)
Radio
  --dsp N                  DSP version 0..9999 (2101)
  --model N                model code (730)
  --short-version          version reply without a model code
  --flash-size N[K|M]      flash size in bytes (1M)
  --srec-address-bytes N   address bytes of an S-record packet: 2, 3 or 4 (4)
  --erase-ms N             time an erase takes (0)
  --load-bin FILE          preload the flash from a binary image
Faults (packets count from 1 in arrival order)
  --silent                 never reply
  --drop N                 no reply to packet N
  --bad-echo N:K           wrong checksum echo for packets N .. N+K-1
  --garbage N              junk bytes in front of the reply to packet N
  --split N:MS             reply to packet N in two writes, MS apart
  --twice N                send the reply to packet N twice
  --delay-ms N             wait N ms before every reply
  --hangup N               hang up the line after packet N
Records and exit
  --dump-bin FILE          write the flash image at exit
  --dump-hex FILE          write the programmed ranges as Intel HEX at exit
  --transcript FILE        write the packet transcript at exit
  --exit-after-idle-ms N   exit after N ms without traffic
  --max-packets N          exit after answering N packets
  --help                   show this text
)";
}

ParsedOptions ParseOptions(std::span<const std::string_view> args) {
  SimOptions o;
  std::string error;
  bool baudGiven = false;

  using Handler = std::function<bool(std::string_view)>;
  const auto count = [](std::uint64_t& target) {
    return [&target](std::string_view v) {
      const auto n = ParseNumber(v, kMaxCount);
      if (!n || *n == 0) return false;
      target = *n;
      return true;
    };
  };
  const auto duration = [](std::chrono::milliseconds& target) {
    return [&target](std::string_view v) {
      const auto n = ParseNumber(v, 3'600'000);
      if (!n) return false;
      target = Ms(*n);
      return true;
    };
  };
  const auto packetSet = [](std::set<std::uint64_t>& target) {
    return [&target](std::string_view v) {
      const auto n = ParseNumber(v, kMaxCount);
      if (!n || *n == 0) return false;
      target.insert(*n);
      return true;
    };
  };
  const auto path = [](std::string& target) {
    return [&target](std::string_view v) {
      if (v.empty()) return false;
      target = v;
      return true;
    };
  };

  std::uint64_t hangup = 0;
  std::uint64_t maxPackets = 0;
  std::chrono::milliseconds idle{-1};
  FaultPlan& faults = o.radio.faults;

  const std::map<std::string_view, Handler> valued = {
      {"--link", path(o.linkPath)},
      {"--udp",
       [&o](std::string_view v) {
         const auto colon = v.rfind(':');
         if (colon == std::string_view::npos) return false;
         const std::string address(v.substr(0, colon));
         in_addr parsed{};
         const auto port = ParseNumber(v.substr(colon + 1), 65535);
         if (!port || inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
         o.udp = true;
         o.udpAddress = address;
         o.udpPort = static_cast<std::uint16_t>(*port);
         return true;
       }},
      {"--passcode",
       [&o](std::string_view v) {
         const auto n = ParseNumber(v, 0xFFFFFFFFULL, true);
         if (!n) return false;
         o.radio.passcode = static_cast<std::uint16_t>(*n & 0xFFFFU);
         return true;
       }},
      {"--baud",
       [&o, &baudGiven](std::string_view v) {
         const auto n = ParseNumber(v, 10'000'000);
         if (!n || *n == 0) return false;
         o.baud = static_cast<unsigned>(*n);
         baudGiven = true;
         return true;
       }},
      {"--resync-ms", duration(o.resyncTime)},
      {"--dsp",
       [&o](std::string_view v) {
         const auto n = ParseNumber(v, 9999);
         if (!n) return false;
         o.radio.dspVersion = static_cast<int>(*n);
         return true;
       }},
      {"--model",
       [&o](std::string_view v) {
         const auto n = ParseNumber(v, 999'999'999);
         if (!n) return false;
         o.radio.modelCode = static_cast<int>(*n);
         return true;
       }},
      {"--flash-size",
       [&o](std::string_view v) {
         const auto n = ParseSize(v);
         if (!n) return false;
         o.radio.flashSize = static_cast<std::size_t>(*n);
         return true;
       }},
      {"--srec-address-bytes",
       [&o](std::string_view v) {
         const auto n = ParseNumber(v, 4);
         if (!n || *n < 2) return false;
         o.radio.srecAddressBytes = static_cast<int>(*n);
         return true;
       }},
      {"--erase-ms", duration(o.radio.eraseTime)},
      {"--load-bin", path(o.loadBin)},
      {"--drop", packetSet(faults.drop)},
      {"--bad-echo",
       [&faults](std::string_view v) {
         const auto pair = ParsePair(v, kMaxCount, kMaxCount);
         if (!pair || pair->first == 0 || pair->second == 0) return false;
         faults.badEcho.push_back({pair->first, pair->second});
         return true;
       }},
      {"--garbage", packetSet(faults.garbage)},
      {"--split",
       [&faults](std::string_view v) {
         const auto pair = ParsePair(v, kMaxCount, 3'600'000);
         if (!pair || pair->first == 0) return false;
         faults.split[pair->first] = Ms(pair->second);
         return true;
       }},
      {"--twice", packetSet(faults.twice)},
      {"--delay-ms", duration(faults.delay)},
      {"--hangup", count(hangup)},
      {"--dump-bin", path(o.dumpBin)},
      {"--dump-hex", path(o.dumpHex)},
      {"--transcript", path(o.transcript)},
      {"--exit-after-idle-ms", duration(idle)},
      {"--max-packets", count(maxPackets)},
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::optional<std::string_view> value;
    if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string_view::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    if (!value && (name == "--help" || name == "-h")) {
      o.help = true;
      continue;
    }
    if (!value && name == "--silent") {
      faults.silent = true;
      continue;
    }
    if (!value && name == "--short-version") {
      o.radio.shortVersion = true;
      continue;
    }
    const auto handler = valued.find(name);
    if (handler == valued.end()) return {std::nullopt, "unknown option " + std::string(name)};
    if (!value) {
      if (i + 1 >= args.size()) return {std::nullopt, std::string(name) + " needs a value"};
      value = args[++i];
    }
    if (!handler->second(*value)) {
      return {std::nullopt, "bad value for " + std::string(name) + ": " + std::string(*value)};
    }
  }

  if (hangup != 0) faults.hangupAfter = hangup;
  if (maxPackets != 0) o.radio.maxPackets = maxPackets;
  if (idle.count() >= 0) o.exitAfterIdle = idle;
  if (o.udp && !o.linkPath.empty()) return {std::nullopt, "--link applies to the serial port, not to --udp"};
  if (o.udp && baudGiven) return {std::nullopt, "--baud applies to the serial port, not to --udp"};
  return {std::move(o), {}};
}

}  // namespace flash::radio_sim
