#pragma once
// The progress of a run as the console shows it. The engine reports progress
// as the text "N of M Lines Processed" in status pane 0; the console turns it
// into a bar redrawn in place on a terminal, or into a few plain lines when the
// output goes to a file or a pipe.

#include <optional>
#include <string>
#include <string_view>

namespace flash::cli {

struct LineProgress {
  int line = 0;   // lines processed so far
  int total = 0;  // data lines counted in the file (the count can pass it)
};

// Reads "N of M Lines Processed"; nothing for any other text.
std::optional<LineProgress> ParseProgressText(std::string_view text);

// Whole percent done, held within 0..100.
int PercentDone(const LineProgress& progress);

// "0:42", "12:05", "1:02:03".
std::string FormatDuration(double seconds);

// "450 of 1000 lines  45%  37.5 lines/s  0:14 left"; without a rate the rate
// and the time left read "--".
std::string FormatProgressText(const LineProgress& progress, std::optional<double> linesPerSecond);

// The terminal form: a bar of fixed width in front of the progress text.
std::string FormatProgressBar(const LineProgress& progress, std::optional<double> linesPerSecond);

// Follows one run's progress: the rate since the first report, and which
// reports deserve a plain line (the first, one per 5 % step, the last).
class ProgressMeter {
 public:
  void Reset();
  // Records a report made at the given time (seconds on a steady clock).
  void Observe(const LineProgress& progress, double nowSeconds);
  // Lines per second since the first report; nothing until a second has passed.
  std::optional<double> Rate() const;
  // Whether the report just observed should be printed as a plain line.
  bool WantsPlainLine() const { return wantsPlainLine_; }

 private:
  bool started_ = false;
  LineProgress first_;
  double firstTime_ = 0;
  LineProgress last_;
  double lastTime_ = 0;
  int lastPrintedStep_ = -1;
  bool lastPrintedFinal_ = false;
  bool wantsPlainLine_ = false;
};

}  // namespace flash::cli
