#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>

namespace flash {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// What one line of the file is, with its name and raw value.
struct LineForm {
  enum Kind { kSection, kKey, kOther } kind = kOther;
  std::string_view name;
  std::string_view value;
};

// "[name]" is a section line (blanks around it and inside the brackets are
// dropped; a header missing its closing bracket runs to the end of the line).
// "name=value" is a key line; a line starting with ';' or '#' is a comment, and
// a line without an equals sign is neither and only kept.
LineForm ClassifyLine(std::string_view text) {
  LineForm form;
  text = TrimBlanks(text);
  if (text.empty() || text.front() == ';' || text.front() == '#') return form;
  if (text.front() == '[') {
    text.remove_prefix(1);
    const std::size_t close = text.rfind(']');
    if (close != std::string_view::npos) text = text.substr(0, close);
    form.kind = LineForm::kSection;
    form.name = TrimBlanks(text);
    return form;
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return form;
  form.kind = LineForm::kKey;
  form.name = TrimBlanks(text.substr(0, equals));
  form.value = TrimBlanks(text.substr(equals + 1));
  return form;
}

std::string_view DropMatchingQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor& operator=(Descriptor&&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and tells whether the close (the last chance to hear of a
  // failed write-back) succeeded.
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The path the new file must take the place of: the target of a symbolic
// link at path (so the link stays a link), else path itself.
std::string ResolveTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

// Creates a temporary file beside target that no one else has opened.
Descriptor CreateTemporaryBeside(const std::string& target, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    // 0666 so the process's umask sets a new file's rights, as for any file it creates.
    Descriptor fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.valid() || errno != EEXIST) return fd;
  }
  return Descriptor(-1);
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile file;
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    file.byteOrderMark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos) {
      file.lines_.push_back({std::string(text), ""});
      break;
    }
    std::string_view body = text.substr(0, newline);
    const bool crlf = !body.empty() && body.back() == '\r';
    if (crlf) body.remove_suffix(1);
    file.lines_.push_back({std::string(body), std::string(crlf ? "\r\n" : "\n")});
    text.remove_prefix(newline + 1);
  }
  return file;
}

std::size_t IniFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const LineForm form = ClassifyLine(lines_[i].text);
    if (form.kind == LineForm::kSection && SameName(form.name, section)) return i;
  }
  return std::string::npos;
}

std::size_t IniFile::FindKey(std::size_t header, std::string_view key) const {
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    const LineForm form = ClassifyLine(lines_[i].text);
    if (form.kind == LineForm::kSection) break;
    if (form.kind == LineForm::kKey && SameName(form.name, key)) return i;
  }
  return std::string::npos;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  const std::size_t header = FindSection(section);
  if (header == std::string::npos) return std::nullopt;
  const std::size_t line = FindKey(header, key);
  if (line == std::string::npos) return std::nullopt;
  return std::string(DropMatchingQuotes(ClassifyLine(lines_[line].text).value));
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
  std::string keyLine = std::string(key) + "=" + std::string(value);

  const std::size_t header = FindSection(section);
  if (header == std::string::npos) {
    std::string headerLine;
    headerLine.reserve(section.size() + 2);
    headerLine.append(1, '[').append(section).append(1, ']');
    InsertLine(lines_.size(), std::move(headerLine));
    InsertLine(lines_.size(), std::move(keyLine));
    return;
  }
  const std::size_t line = FindKey(header, key);
  if (line != std::string::npos) {
    lines_[line].text = std::move(keyLine);
    return;
  }
  // After the section's last key line, so blank lines and comments that
  // close the section stay between it and the next one.
  std::size_t at = header + 1;
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    const LineForm form = ClassifyLine(lines_[i].text);
    if (form.kind == LineForm::kSection) break;
    if (form.kind == LineForm::kKey) at = i + 1;
  }
  InsertLine(at, std::move(keyLine));
}

void IniFile::InsertLine(std::size_t at, std::string text) {
  const std::string end = NewLineEnd();
  if (at > 0 && lines_[at - 1].end.empty()) lines_[at - 1].end = end;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), end});
}

std::string IniFile::NewLineEnd() const {
  for (const Line& line : lines_) {
    if (!line.end.empty()) return line.end;
  }
  return "\n";
}

std::string IniFile::Text() const {
  std::string text;
  if (byteOrderMark_) text += kByteOrderMark;
  for (const Line& line : lines_) {
    text += line.text;
    text += line.end;
  }
  return text;
}

IniLoad LoadIniFile(const std::string& path, IniFile& file) {
  file = IniFile();
  // Non-blocking, so a FIFO carrying the name cannot hold the open up.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    return (errno == ENOENT || errno == ENOTDIR) ? IniLoad::kMissing : IniLoad::kUnreadable;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return IniLoad::kUnreadable;

  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return IniLoad::kUnreadable;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  file = IniFile::Parse(text);
  return IniLoad::kLoaded;
}

bool StoreIniFile(const std::string& path, const IniFile& file) {
  const std::string target = ResolveTarget(path);
  std::string tempPath;
  Descriptor fd = CreateTemporaryBeside(target, tempPath);
  if (!fd.valid()) return false;

  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0;
  bool ok = true;
  if (replacing) {
    // Keeps the owner when another user's file is rewritten; only the
    // superuser may, and a failure here is no reason to lose the save.
    if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
      // The new file stays the writer's own.
    }
    ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd.get(), file.Text());
  ok = ok && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(tempPath.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }
  // Makes the rename itself survive a crash; the new file is complete either way.
  Descriptor directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.valid()) ::fsync(directory.get());
  return true;
}

}  // namespace flash
