#pragma once
// A small INI ("profile") file: section lines in square brackets, key lines of
// the form key=value, and anything else (comments, blank lines, stray text)
// kept as it stands. Reading follows the usual profile-file rules: section and
// key names match without regard to ASCII case, blanks around names and values
// are dropped, and a value standing in matching quotes loses them. Writing
// changes only the line of the key it sets (or adds one), so every other line
// of the file, its line ends included, comes back out unchanged.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flash {

class IniFile {
 public:
  IniFile() = default;

  // Splits text into lines; "\n" and "\r\n" line ends are both understood
  // and kept per line, and a leading UTF-8 byte-order mark is kept aside.
  static IniFile Parse(std::string_view text);

  // The value of the first such key in the first such section, or nothing
  // when the section or the key is absent. A key line present with nothing
  // after its equals sign gives an empty value.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Gives the key this value: its line is rewritten as key=value, or, when
  // absent, a line is added after the section's last key, or the section is
  // added at the end. The value is cut at its first line break (or NUL), so
  // no value can add lines of its own to the file. Section and key names are
  // the caller's and must hold no line break, "=" or "]".
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole file as it is to be written.
  std::string Text() const;

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\n", "\r\n", or "" for a last line without one
  };

  // Index of the first header line of the section, or npos.
  std::size_t FindSection(std::string_view section) const;
  // Index of the first line of the key between the section header at
  // `header` and the next header, or npos.
  std::size_t FindKey(std::size_t header, std::string_view key) const;
  // Inserts a line before index `at`, giving the line before it a line end.
  void InsertLine(std::size_t at, std::string text);
  // The line end for lines this file gains: the file's own, else "\n".
  std::string NewLineEnd() const;

  std::vector<Line> lines_;
  bool byteOrderMark_ = false;
};

// What LoadIniFile found on disk.
enum class IniLoad {
  kLoaded,     // the file was read whole
  kMissing,    // there is no file (or no directory) at the path
  kUnreadable  // something is there but could not be read as a regular file
};

// Reads the file at path into `file` (left empty unless kLoaded). Never
// blocks on a FIFO or device that happens to carry the name.
IniLoad LoadIniFile(const std::string& path, IniFile& file);

// Replaces the file at path with file.Text() atomically: the text goes to a
// temporary file beside it, is flushed to the disk, and is then renamed over
// the old one, so the path always holds either the old file or the whole new
// one. A symbolic link at the path is written through, and an existing file
// keeps its permission bits. Returns false, with the old file untouched and no
// temporary file left behind, when any step fails.
bool StoreIniFile(const std::string& path, const IniFile& file);

}  // namespace flash
