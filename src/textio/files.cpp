#include "textio/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ios>
#include <mutex>
#include <system_error>
#include <vector>

#include "qev/errors.h"
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

OpenedInput OpenRegularInput(const fs::path& path) {
  OpenedInput opened;
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) {
    opened.reason = SystemReason(errno);
    return opened;
  }
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) {
    opened.reason = SystemReason(errno);
  } else if (S_ISDIR(status.st_mode)) {
    opened.reason = "it is a directory, not a file";
  } else if (!S_ISREG(status.st_mode)) {
    opened.reason = "it is not a regular file but a device, a pipe or a socket";
  }
  if (!opened.reason.empty()) {
    ::close(descriptor);
    return opened;
  }
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  opened.descriptor = descriptor;
  opened.size = static_cast<std::uint64_t>(status.st_size);
  return opened;
}

std::string ReadRegularFile(const fs::path& path, const std::string& what, std::uint64_t largest) {
  const OpenedInput opened = OpenRegularInput(path);
  if (opened.descriptor < 0) {
    throw Error(path.string() + ": cannot open " + what + " (" + opened.reason + ")");
  }
  InputFile in(opened.descriptor);
  const std::string tooLarge = path.string() + ": " + what + " is larger than " +
                               std::to_string(largest) + " bytes, the most that is read whole";
  if (opened.size > largest) throw Error(tooLarge);
  std::string text;
  text.reserve(static_cast<std::size_t>(opened.size));
  char block[1 << 16];
  try {
    // The size may have grown since it was asked: the limit holds for what is read.
    // From the buffer itself, so that a failed read is thrown, not a bit set.
    for (std::streamsize got = 0; (got = in.rdbuf()->sgetn(block, sizeof block)) > 0;) {
      text.append(block, static_cast<std::size_t>(got));
      if (text.size() > largest) throw Error(tooLarge);
    }
  } catch (const std::ios_base::failure& failure) {
    throw StreamError(path.string(), 0, failure.code().message());
  }
  return text;
}

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

namespace {

// The temporary files of the uncommitted output sets, where a signal handler
// can read them: a path is complete before its slot is marked used.
constexpr int kOutputSlots = 64;
char outputTemporaries[kOutputSlots][4096];
volatile std::sig_atomic_t outputSlotUsed[kOutputSlots] = {};
std::mutex outputSlotsMutex;

int TakeSlot(const fs::path& path) {
  const std::string& text = path.native();
  if (text.size() >= sizeof outputTemporaries[0]) return -1;
  std::lock_guard lock(outputSlotsMutex);
  for (int slot = 0; slot < kOutputSlots; ++slot) {
    if (outputSlotUsed[slot]) continue;
    std::memcpy(outputTemporaries[slot], text.c_str(), text.size() + 1);
    outputSlotUsed[slot] = 1;
    return slot;
  }
  return -1;
}

void FreeSlot(int slot) {
  if (slot < 0) return;
  std::lock_guard lock(outputSlotsMutex);
  outputSlotUsed[slot] = 0;
}

[[noreturn]] void OutputFails(const fs::path& path, const std::string& what, int error) {
  throw Error(path.string() + ": " + what + " (" + SystemReason(error) + ")");
}

}  // namespace

void RemoveOutputTemporaries() {
  for (int slot = 0; slot < kOutputSlots; ++slot) {
    if (outputSlotUsed[slot]) ::unlink(outputTemporaries[slot]);
  }
}

namespace {

void RemoveAndEnd(int signal) {
  RemoveOutputTemporaries();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void RemoveOutputTemporariesOnSignals() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    if (::signal(signal, RemoveAndEnd) == SIG_IGN) ::signal(signal, SIG_IGN);
  }
}

OutputSet::OutputSet(std::vector<fs::path> inputs) : inputs_(std::move(inputs)) {}

OutputSet::~OutputSet() { Abandon(); }

fs::path OutputSet::Add(const fs::path& target) {
  struct stat status {};
  const bool exists = ::stat(target.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) OutputFails(target, "cannot be written", EISDIR);
  // A device, pipe or socket cannot be replaced by a finished file (and as
  // the superuser a device's node would be).
  if (exists && !S_ISREG(status.st_mode)) {
    throw Error(target.string() +
                ": cannot be written (it is a device or a pipe, not a file; the outputs are put "
                "in place as files, name a file)");
  }
  if (const std::optional<FileIdentity> file = RegularFileOf(target)) {
    for (const fs::path& input : inputs_) {
      if (RegularFileOf(input) == file) {
        throw Error(target.string() + " is the input file " + input.string() +
                    ": an output never replaces an input; choose another name or folder");
      }
    }
  }
  for (const File& earlier : files_) {
    if (earlier.target == target) throw Error(target.string() + ": named twice as an output");
  }
  // Beside the target (a link followed), so that the rename stays in its folder.
  std::error_code ignored;
  fs::path resolved = exists ? fs::canonical(target, ignored) : fs::path();
  if (resolved.empty()) resolved = target;
  std::string pattern = resolved.string() + ".qev-XXXXXX";
  const int descriptor = ::mkstemp(pattern.data());
  if (descriptor < 0) OutputFails(target, "cannot be written", errno);
  ::fchmod(descriptor, exists ? (status.st_mode & 07777) : NewFileMode());
  ::close(descriptor);
  files_.push_back({resolved, pattern, TakeSlot(pattern)});
  return pattern;
}

void OutputSet::Write(const fs::path& target, std::string_view text) {
  const fs::path temporary = Add(target);
  const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (descriptor < 0) OutputFails(target, "cannot be written", errno);
  const bool written = WriteAll(descriptor, text);
  const int error = errno;
  if (::close(descriptor) != 0 && written) OutputFails(target, "cannot be written", errno);
  if (!written) OutputFails(target, "cannot be written", error);
}

void OutputSet::Commit() {
  for (const File& file : files_) {
    const int descriptor = ::open(file.temporary.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = descriptor >= 0 && (::fsync(descriptor) == 0 || errno == EINVAL);
    const int error = errno;
    if (descriptor >= 0) ::close(descriptor);
    if (!synced) OutputFails(file.target, "cannot be written", error);
  }
  for (File& file : files_) {
    if (::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
      OutputFails(file.target, "cannot be put in place", errno);
    }
    FreeSlot(file.slot);
    file.slot = -1;
    file.temporary.clear();
  }
  files_.clear();
  // The new files are in place: what they supersede goes. A file that
  // cannot be removed stays; the caller has named it in its warnings.
  for (const fs::path& earlier : retired_) ::unlink(earlier.c_str());
  retired_.clear();
}

void OutputSet::Retire(const fs::path& earlier) {
  std::error_code ignored;
  const fs::path resolved = fs::weakly_canonical(earlier, ignored);
  for (const File& file : files_) {
    if (file.target == resolved || file.target == earlier) {
      throw Error(earlier.string() + ": written and retired at once");
    }
  }
  retired_.push_back(earlier);
}

void OutputSet::Abandon() {
  for (File& file : files_) {
    if (!file.temporary.empty()) ::unlink(file.temporary.c_str());
    FreeSlot(file.slot);
  }
  files_.clear();
  retired_.clear();
}

}  // namespace qev
