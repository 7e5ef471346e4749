#pragma once
// One update or verify run of the command-line program, against the radio the
// settings (and the options over them) select.

#include <ostream>

#include "cli/cli_options.h"
#include "cli/run_outcome.h"

namespace flash::cli {

// Runs the command of options (Update or Verify) on the Qt event loop, which
// the caller's QCoreApplication provides, and returns the exit status.
// terminal: out is a terminal (progress bar, warning beep).
ExitStatus RunRadioCommand(const CliOptions& options, std::ostream& out, std::ostream& err, bool terminal);

}  // namespace flash::cli
