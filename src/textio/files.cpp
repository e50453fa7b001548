#include "textio/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ios>
#include <system_error>
#include <vector>

#include "textio/reader.h"
#include "textio/stop.h"

namespace qev {

namespace fs = std::filesystem;

namespace {

std::optional<FileIdentity> RegularOf(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino)};
}

// Permissions of a new file as the process would create it (0666 less the
// umask); the umask can only be read by setting it.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool WriteAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

std::optional<FileIdentity> RegularFileOf(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return std::nullopt;
  return RegularOf(status);
}

std::optional<FileIdentity> RegularFileOf(const fs::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return RegularOf(status);
}

std::string SystemReason(int error) { return std::generic_category().message(error); }

InputFile::InputFile(int descriptor) : std::istream(nullptr), buffer_(descriptor) {
  rdbuf(&buffer_);
}

InputFile::~InputFile() = default;

InputFile::Buffer::~Buffer() { ::close(descriptor_); }

InputFile::Buffer::int_type InputFile::Buffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  for (;;) {
    const ssize_t count = ::read(descriptor_, data_, sizeof data_);
    if (count > 0) {
      setg(data_, data_, data_ + count);
      return traits_type::to_int_type(*gptr());
    }
    if (count == 0) return traits_type::eof();
    if (errno != EINTR) {
      throw std::ios_base::failure("read", std::error_code(errno, std::generic_category()));
    }
  }
}

ReportFile::ReportFile(const fs::path& target, const std::string& shownName)
    : target_(target), shownName_(shownName) {
  struct stat status {};
  if (::stat(target.c_str(), &status) == 0) {
    targetExisted_ = true;
    if (S_ISDIR(status.st_mode)) Fail("create or rewrite", EISDIR);
    if (!S_ISREG(status.st_mode)) {
      // A device or a pipe: written directly, as it is.
      descriptor_ = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
      if (descriptor_ < 0) Fail("create or rewrite", errno);
      return;
    }
    // The file is replaced only at the end, so it must be writable now.
    if (::access(target.c_str(), W_OK) != 0) Fail("create or rewrite", errno);
    std::error_code ignored;
    const fs::path resolved = fs::canonical(target, ignored);
    if (!resolved.empty()) target_ = resolved;
    targetFile_ = RegularOf(status);
  }
  std::error_code noLink;
  partialShown_ = fs::is_symlink(target, noLink) ? qev::ShownName(target_.string()) + ".partial"
                                                 : shownName + ".partial";
  std::string pattern = target_.string() + ".qev-XXXXXX";
  descriptor_ = ::mkstemp(pattern.data());
  if (descriptor_ < 0) Fail("create or rewrite", errno);
  temporary_ = pattern;
  ::fcntl(descriptor_, F_SETFD, FD_CLOEXEC);
  ::fchmod(descriptor_, targetExisted_ ? (status.st_mode & 07777) : NewFileMode());
  temporaryFile_ = RegularFileOf(descriptor_);
}

ReportFile::~ReportFile() {
  if (descriptor_ >= 0 || !temporary_.empty()) SetAside();
}

void ReportFile::Fail(const char* what, int error) {
  failed_ = true;
  throw ProgramStop{
      kExitError,
      {"", std::string(" ERROR: cannot ") + what + " the output file '" + shownName_ + "'",
       " the system reports: " + SystemReason(error), ""}};
}

void ReportFile::Write(std::string_view record) {
  if (failed_ || descriptor_ < 0) return;
  std::string line(record);
  line += "\r\n";
  if (!WriteAll(descriptor_, line)) {
    const int error = errno;
    // Keep the file made of whole records: the beginning of the failed one goes.
    if (!temporary_.empty()) {
      [[maybe_unused]] const int ignored = ::ftruncate(descriptor_, static_cast<off_t>(whole_));
    }
    Fail("write to", error);
  }
  whole_ += line.size();
}

void ReportFile::Close() {
  if (descriptor_ < 0) return;
  const int descriptor = descriptor_;
  descriptor_ = -1;
  if (::close(descriptor) != 0 && errno != EINTR) Fail("write to", errno);
}

void ReportFile::Commit() {
  if (descriptor_ >= 0 && !temporary_.empty() && ::fsync(descriptor_) != 0 && errno != EINVAL) {
    Fail("write to", errno);
  }
  Close();
  if (temporary_.empty()) return;
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) Fail("write to", errno);
  temporary_.clear();
}

std::optional<std::string> ReportFile::SetAside(const std::vector<FileIdentity>& inputs) {
  if (descriptor_ >= 0) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
  if (temporary_.empty()) return std::nullopt;
  const fs::path temporary = temporary_;
  temporary_.clear();
  if (!targetExisted_) {
    if (::rename(temporary.c_str(), target_.c_str()) != 0) ::unlink(temporary.c_str());
    return std::nullopt;
  }
  const std::string kept =
      " The file '" + shownName_ + "' is left as it was; the report so far is in '";
  fs::path partial = target_;
  partial += ".partial";
  const std::optional<FileIdentity> existing = RegularFileOf(partial);
  for (const FileIdentity& input : inputs) {
    if (existing == input) return kept + qev::ShownName(temporary.string()) + "'";
  }
  if (::rename(temporary.c_str(), partial.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return std::nullopt;
  }
  return kept + partialShown_ + "'";
}

bool ReportFile::Is(const FileIdentity& file) const {
  return targetFile_ == file || temporaryFile_ == file;
}

}  // namespace qev
