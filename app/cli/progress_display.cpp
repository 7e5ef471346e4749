#include "cli/progress_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace flash::cli {
namespace {

constexpr int kBarWidth = 24;
constexpr int kPlainStepPercent = 5;
constexpr double kMinRateSeconds = 1.0;

// A non-negative decimal number at pos, advancing pos past it.
std::optional<int> ReadNumber(std::string_view text, std::size_t& pos) {
  const std::size_t start = pos;
  long long value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
    ++pos;
  }
  if (pos == start) return std::nullopt;
  return static_cast<int>(value);
}

bool ReadWord(std::string_view text, std::size_t& pos, std::string_view word) {
  if (text.substr(pos, word.size()) != word) return false;
  pos += word.size();
  return true;
}

}  // namespace

std::optional<LineProgress> ParseProgressText(std::string_view text) {
  std::size_t pos = 0;
  const auto line = ReadNumber(text, pos);
  if (!line || !ReadWord(text, pos, " of ")) return std::nullopt;
  const auto total = ReadNumber(text, pos);
  if (!total || !ReadWord(text, pos, " Lines Processed") || pos != text.size()) return std::nullopt;
  return LineProgress{*line, *total};
}

int PercentDone(const LineProgress& progress) {
  if (progress.total <= 0) return progress.line > 0 ? 100 : 0;
  const long long percent = static_cast<long long>(std::max(progress.line, 0)) * 100 / progress.total;
  return static_cast<int>(std::min<long long>(percent, 100));
}

std::string FormatDuration(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  // Beyond 99 hours the figure says nothing useful.
  const long long whole = std::min(static_cast<long long>(std::llround(seconds)), 99LL * 3600 + 59 * 60 + 59);
  const long long hours = whole / 3600;
  const long long minutes = whole / 60 % 60;
  const long long secs = whole % 60;
  char text[32];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, minutes, secs);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", minutes, secs);
  }
  return text;
}

std::string FormatProgressText(const LineProgress& progress, std::optional<double> linesPerSecond) {
  char text[160];
  std::snprintf(text, sizeof text, "%d of %d lines  %3d%%", progress.line, progress.total, PercentDone(progress));
  std::string result = text;
  if (linesPerSecond && *linesPerSecond > 0) {
    const double left = std::max(progress.total - progress.line, 0);
    std::snprintf(text, sizeof text, "  %.1f lines/s  %s left", *linesPerSecond,
                  FormatDuration(left / *linesPerSecond).c_str());
  } else {
    std::snprintf(text, sizeof text, "  -- lines/s  --:-- left");
  }
  return result.append(text);
}

std::string FormatProgressBar(const LineProgress& progress, std::optional<double> linesPerSecond) {
  const int filled = PercentDone(progress) * kBarWidth / 100;
  std::string bar = "[";
  bar.append(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  bar.append("] ");
  return bar.append(FormatProgressText(progress, linesPerSecond));
}

void ProgressMeter::Reset() { *this = ProgressMeter(); }

void ProgressMeter::Observe(const LineProgress& progress, double nowSeconds) {
  if (!started_) {
    started_ = true;
    first_ = progress;
    firstTime_ = nowSeconds;
  }
  last_ = progress;
  lastTime_ = nowSeconds;

  const bool final = progress.total > 0 && progress.line >= progress.total;
  const int step = PercentDone(progress) / kPlainStepPercent;
  wantsPlainLine_ = step > lastPrintedStep_ || (final && !lastPrintedFinal_);
  if (wantsPlainLine_) {
    lastPrintedStep_ = std::max(step, lastPrintedStep_);
    lastPrintedFinal_ = final;
  }
}

std::optional<double> ProgressMeter::Rate() const {
  if (!started_) return std::nullopt;
  const double elapsed = lastTime_ - firstTime_;
  const int lines = last_.line - first_.line;
  if (elapsed < kMinRateSeconds || lines <= 0) return std::nullopt;
  return lines / elapsed;
}

}  // namespace flash::cli
