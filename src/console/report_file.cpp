#include "console/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "console/stop.h"
#include "textio/reader.h"

namespace qev {

namespace fs = std::filesystem;

ReportFile::ReportFile(const fs::path& target, const std::string& shownName)
    : target_(target), shownName_(shownName) {
  struct stat status {};
  if (::stat(target.c_str(), &status) == 0) {
    targetExisted_ = true;
    if (S_ISDIR(status.st_mode)) Fail("create or rewrite", EISDIR);
    if (!S_ISREG(status.st_mode)) {
      // A device or a pipe: written directly, as it is. Opened without
      // waiting, so that a pipe nobody reads is refused ("No such device or
      // address") instead of blocking the session.
      descriptor_ = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      if (descriptor_ < 0) Fail("create or rewrite", errno);
      ::fcntl(descriptor_, F_SETFL, ::fcntl(descriptor_, F_GETFL) & ~O_NONBLOCK);
      return;
    }
    // The file is replaced only at the end, so it must be writable now.
    if (::access(target.c_str(), W_OK) != 0) Fail("create or rewrite", errno);
    std::error_code ignored;
    const fs::path resolved = fs::canonical(target, ignored);
    if (!resolved.empty()) target_ = resolved;
    targetFile_ = RegularFileOf(target_);
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
  if (!WriteAllBytes(descriptor_, line)) {
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
  // A TARGET.partial that cannot be replaced (a folder of that name): the
  // partial report keeps its temporary name, which the console line gives.
  if (::rename(temporary.c_str(), partial.c_str()) != 0) {
    return kept + qev::ShownName(temporary.string()) + "'";
  }
  return kept + partialShown_ + "'";
}

bool ReportFile::Is(const FileIdentity& file) const {
  return targetFile_ == file || temporaryFile_ == file;
}

}  // namespace qev
