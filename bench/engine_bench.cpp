// The engine benchmark: whole "Update Radio" runs over generated Intel HEX
// files against an instant in-process radio, the encoder's pause on its own,
// and the peak memory of a run in a fresh process for each file length.

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "bench_rig.h"

namespace flash::bench {
namespace {

constexpr const char* kMemoryChildFlag = "--memory-child";
constexpr const char* kRufName = "710_bench.ruf";

double ThreadCpuNs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// CPU time of one encoder pause, averaged over a batch.
double PauseNs(int batch) {
  const double start = ThreadCpuNs();
  for (int i = 0; i < batch; ++i) PauseLikeTheEncoder();
  return (ThreadCpuNs() - start) / batch;
}

void BM_EncoderPause(benchmark::State& state) {
  const double start = ThreadCpuNs();
  for (auto _ : state) PauseLikeTheEncoder();
  const double elapsed = ThreadCpuNs() - start;
  if (state.iterations() > 0) state.counters["pause_us"] = elapsed / static_cast<double>(state.iterations()) / 1e3;
}

void BM_ProgramRun(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  ScratchDir dir;
  if (!dir.Ok() || !WriteHexFile(dir.File(kRufName), lines)) {
    state.SkipWithError("cannot write the RUF file in a temporary directory");
    return;
  }
  ProgramRig rig(dir.File("comms.txt"));
  const std::string path = dir.File(kRufName);

  double runNs = 0;
  double pauseNs = 0;
  std::size_t logTextChars = 0;
  int runs = 0;
  // A batch of pauses (a few per cent of a run) next to every run, so the pause
  // subtracted is timed at the same moment, on the same core, as the run.
  const int batch = lines / 20 < 200 ? 200 : lines / 20;
  for (auto _ : state) {
    state.PauseTiming();
    pauseNs += PauseNs(batch);
    state.ResumeTiming();
    const double start = ThreadCpuNs();
    const RunOutcome outcome = rig.Run(path, lines);
    runNs += ThreadCpuNs() - start;
    if (!outcome.ok) {
      state.SkipWithError(outcome.problem.c_str());
      return;
    }
    logTextChars = outcome.logTextChars;
    ++runs;
  }
  if (runs == 0) return;
  std::error_code ignored;
  const std::uintmax_t commsLogBytes = std::filesystem::file_size(dir.File("comms.txt"), ignored);
  runNs /= runs;
  pauseNs /= runs;
  // ProcessLine pauses once per line and once more when it finds the end of the file.
  const double pausesPerRun = lines + 1.0;
  state.counters["lines_per_second"] = benchmark::Counter(lines, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["engine_us_per_line"] = runNs / lines / 1e3;
  state.counters["pause_us"] = pauseNs / 1e3;
  state.counters["engine_us_per_line_beyond_pause"] = (runNs - pausesPerRun * pauseNs) / lines / 1e3;
  state.counters["log_text_chars"] = static_cast<double>(logTextChars);
  state.counters["comms_txt_bytes"] = static_cast<double>(commsLogBytes);
}

// The child's report, one line on its standard output.
struct ChildReport {
  long rssBeforeKb = 0;
  long hwmBeforeKb = 0;
  long hwmAfterKb = 0;
  long logTextChars = 0;
  int ok = 0;
};

// In a fresh process: sets up one rig, notes the memory, runs the file once,
// notes the peak.
int MemoryChildMain(int lines, const std::string& rufPath, const std::string& commsLogPath) {
  ProgramRig rig(commsLogPath);
  const ProcessMemory before = ReadProcessMemory();
  const RunOutcome outcome = rig.Run(rufPath, lines);
  const ProcessMemory after = ReadProcessMemory();
  std::printf("%ld %ld %ld %zu %d\n", before.rssKb, before.hwmKb, after.hwmKb, outcome.logTextChars,
              outcome.ok ? 1 : 0);
  if (!outcome.ok) std::fprintf(stderr, "memory child: %s\n", outcome.problem.c_str());
  return outcome.ok ? 0 : 1;
}

// Runs this program again as a memory child; false when that fails.
bool RunMemoryChild(int lines, const std::string& rufPath, const std::string& commsLogPath, ChildReport& report) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return false;
  const std::string linesText = std::to_string(lines);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return false;
  }
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    const char* args[] = {"engine_bench", kMemoryChildFlag, linesText.c_str(), rufPath.c_str(),
                          commsLogPath.c_str(), nullptr};
    ::execv("/proc/self/exe", const_cast<char* const*>(args));
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  std::string output;
  char buffer[256];
  for (;;) {
    const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  return std::sscanf(output.c_str(), "%ld %ld %ld %ld %d", &report.rssBeforeKb, &report.hwmBeforeKb,
                     &report.hwmAfterKb, &report.logTextChars, &report.ok) == 5 &&
         report.ok == 1;
}

void BM_PeakMemory(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  ScratchDir dir;
  if (!dir.Ok() || !WriteHexFile(dir.File(kRufName), lines)) {
    state.SkipWithError("cannot write the RUF file in a temporary directory");
    return;
  }
  ChildReport report;
  for (auto _ : state) {
    if (!RunMemoryChild(lines, dir.File(kRufName), dir.File("comms.txt"), report)) {
      state.SkipWithError("the memory child failed");
      return;
    }
  }
  state.counters["rss_before_run_kB"] = static_cast<double>(report.rssBeforeKb);
  state.counters["peak_rss_kB"] = static_cast<double>(report.hwmAfterKb);
  state.counters["peak_rss_growth_kB"] = static_cast<double>(report.hwmAfterKb - report.rssBeforeKb);
  state.counters["log_text_chars"] = static_cast<double>(report.logTextChars);
}

BENCHMARK(BM_EncoderPause)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_ProgramRun)->Unit(benchmark::kMillisecond)->Arg(10'000)->Iterations(5);
BENCHMARK(BM_ProgramRun)->Unit(benchmark::kMillisecond)->Arg(100'000)->Iterations(2);
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->Arg(10'000)->Arg(100'000)->Iterations(1);

}  // namespace
}  // namespace flash::bench

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], flash::bench::kMemoryChildFlag) == 0) {
    return flash::bench::MemoryChildMain(std::atoi(argv[2]), argv[3], argv[4]);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
