#pragma once
// A fresh directory for one test, removed with everything in it afterwards.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace flash::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Writes the bytes to a file in the directory and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::string& path);
// The file split at CR LF; a last line without CR LF is kept too.
std::vector<std::string> ReadCrLfLines(const std::string& path);

}  // namespace flash::testing
