#pragma once
// Child processes for the end-to-end tests: started with their output in
// files, waited for with a deadline, and ended when the test is done.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace flash::testing {

class ChildProcess {
 public:
  // Starts program with the arguments in directory, standard output and
  // error into the files given.
  ChildProcess(const std::vector<std::string>& command, const std::string& directory, const std::string& stdoutPath,
               const std::string& stderrPath);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // The exit status, or -1 when the process did not end in time (it is then killed), or
  // 128 + the signal that ended it.
  int Wait(std::chrono::milliseconds limit);
  // Asks the process to end (SIGTERM) and waits for it.
  int Stop(std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
  bool Running();

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  bool reaped_ = false;
};

}  // namespace flash::testing
