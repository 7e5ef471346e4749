// radio-sim: a simulated radio for trying the updater without a radio.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "radio-sim/options.h"
#include "radio-sim/pty_transport.h"
#include "radio-sim/sim_host.h"
#include "radio-sim/simulated_radio.h"
#include "radio-sim/udp_transport.h"

namespace {

using flash::radio_sim::SimOptions;
using flash::radio_sim::SimulatedRadio;

// The records asked for on the command line; false when one could not be written.
bool WriteRecords(const SimOptions& options, const SimulatedRadio& radio) {
  bool ok = true;
  std::string error;
  if (!options.dumpBin.empty() && !radio.Flash().DumpBinary(options.dumpBin, error)) {
    std::cerr << "radio-sim: " << error << '\n';
    ok = false;
  }
  if (!options.dumpHex.empty() && !radio.Flash().DumpIntelHex(options.dumpHex, error)) {
    std::cerr << "radio-sim: " << error << '\n';
    ok = false;
  }
  if (!options.transcript.empty()) {
    std::ofstream out(options.transcript, std::ios::trunc);
    radio.GetTranscript().Write(out);
    out.close();
    if (!out) {
      std::cerr << "radio-sim: cannot write " << options.transcript << '\n';
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace flash::radio_sim;

  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedOptions parsed = ParseOptions(args);
  if (!parsed.options) {
    std::cerr << "radio-sim: " << parsed.error << "\n(radio-sim --help lists the options)\n";
    return 2;
  }
  const SimOptions& options = *parsed.options;
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }

  SimulatedRadio radio(options.radio);
  std::string error;
  if (!options.loadBin.empty() && !radio.Flash().LoadBinary(options.loadBin, error)) {
    std::cerr << "radio-sim: " << error << '\n';
    return 1;
  }

  // SIGINT and SIGTERM end the run through a descriptor the loop watches, so the
  // records are written on the way out.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (stopFd < 0) {
    // Without the descriptor a signal must still end the program, records or not.
    sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
    std::cerr << "radio-sim: signalfd failed; a signal ends the program without records\n";
  }
  signal(SIGPIPE, SIG_IGN);
  // Line-speed pacing sleeps to byte deadlines: ask for wake-ups without the
  // default 50 us of timer slack, or every byte would be late.
  if (options.baud != 0) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

  SimHost host(radio, HostConfig{options.baud, options.resyncTime, options.exitAfterIdle});
  PtyTransport pty;
  UdpTransport udp;
  if (options.udp) {
    if (!udp.Bind(options.udpAddress, options.udpPort, error)) {
      std::cerr << "radio-sim: " << error << '\n';
      return 1;
    }
    host.ServeUdp(udp);
    std::cout << "radio-sim: udp " << options.udpAddress << ':' << udp.Port() << std::endl;
  } else {
    if (!pty.Open(options.linkPath, error)) {
      std::cerr << "radio-sim: " << error << '\n';
      return 1;
    }
    host.ServeSerial(pty);
    std::cout << "radio-sim: serial port " << pty.SlavePath() << std::endl;
    if (!pty.LinkPath().empty()) std::cout << "radio-sim: link " << pty.LinkPath() << std::endl;
  }
  host.WatchStop(stopFd);
  host.Run();

  pty.HangUp();
  udp.Close();
  const bool written = WriteRecords(options, radio);
  std::cout << "radio-sim: " << radio.GetTranscript().SummaryLine() << std::endl;
  if (stopFd >= 0) close(stopFd);
  return written ? 0 : 1;
}
