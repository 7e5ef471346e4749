// flash-update-cli: the headless updater. Updates or verifies a radio's flash
// memory from a Rom Update File over the serial port or UDP, or checks a file
// without a radio. See README.md beside this file.

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/radio_run.h"
#include "cli/ruf_check.h"
#include "cli/run_outcome.h"

namespace {

int RunCheck(const std::string& file) {
  const flash::cli::RufCheckReport report = flash::cli::CheckRufFile(file);
  (report.opened ? std::cout : std::cerr) << flash::cli::FormatCheckReport(report);
  return flash::cli::ToInt(report.Sound() ? flash::cli::ExitStatus::Success : flash::cli::ExitStatus::FileUnusable);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace flash::cli;
  // A reader of our output that goes away must not end an update half-way.
  signal(SIGPIPE, SIG_IGN);

  const std::vector<std::string> arguments(argv, argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.options) {
    std::cerr << kProgramName << ": " << parsed.error << "\n"
              << "Try '" << kProgramName << " --help' for more information.\n";
    return ToInt(ExitStatus::Usage);
  }
  const CliOptions& options = *parsed.options;
  if (options.help) {
    std::cout << HelpText();
    return ToInt(ExitStatus::Success);
  }
  if (options.version) {
    std::cout << VersionText();
    return ToInt(ExitStatus::Success);
  }
  if (options.command == Command::Check) return RunCheck(options.file);

  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(kProgramName);
  return ToInt(RunRadioCommand(options, std::cout, std::cerr, isatty(STDOUT_FILENO) == 1));
}
