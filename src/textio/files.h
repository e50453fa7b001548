// The files of a session at the level of the operating system: which file a
// name or an open stream is (so that one file is never both an input and the
// report), catalog files read through their descriptor, and the report file
// written beside its target and put in place only at the end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace qev {

// A file on its device: two names (or links) of one file have the same.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The regular file behind an open descriptor or a name (links followed); none
// for anything else (a terminal, a pipe, a device, a name that does not exist).
std::optional<FileIdentity> RegularFileOf(int descriptor);
std::optional<FileIdentity> RegularFileOf(const std::filesystem::path& path);

// The system's word for an error number, e.g. "No space left on device".
std::string SystemReason(int error);

// Files the library's readers take whole (a QuakeML document, a GeoJSON zone,
// a TOML job) are refused above this size before anything is read.
inline constexpr std::uint64_t kLargestWholeFile = std::uint64_t{1} << 30;  // 1 GiB
// Job and settings files (TOML) are refused above this size.
inline constexpr std::uint64_t kLargestJobFile = std::uint64_t{1} << 24;  // 16 MiB
// Deepest nesting of elements or arrays in a document the readers parse.
inline constexpr int kDeepestNesting = 1000;

// An input file opened for reading, or why it cannot be: opened without
// waiting (a pipe without writer cannot block), then refused unless it is a
// regular file. `reason` is empty when `descriptor` is open (blocking again).
struct OpenedInput {
  int descriptor = -1;
  std::string reason;  // "it is a directory, not a file", ..., or the system's reason
  std::uint64_t size = 0;
};
OpenedInput OpenRegularInput(const std::filesystem::path& path);

// The whole of a regular file, at most `largest` bytes; `what` names the file
// in the messages ("the zone file"). Throws Error "PATH: cannot open WHAT
// (REASON)", "PATH: WHAT is larger than N bytes" or a StreamError.
std::string ReadRegularFile(const std::filesystem::path& path, const std::string& what,
                            std::uint64_t largest = kLargestWholeFile);

// A file open for reading through its descriptor. A failed read of the
// descriptor is thrown from the buffer as std::ios_base::failure carrying the
// error number, which LineSource reports as a StreamError.
class InputFile : public std::istream {
 public:
  // Takes over the open descriptor.
  explicit InputFile(int descriptor);
  ~InputFile() override;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

 private:
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(int descriptor) : descriptor_(descriptor) {}
    ~Buffer() override;

   protected:
    int_type underflow() override;

   private:
    int descriptor_;
    char data_[1 << 16];
  };
  Buffer buffer_;
};

// The output file of a session. A missing or regular target is written to a
// temporary file beside it (same folder, so that the rename is atomic) and
// put in place by Commit; until then an existing target is not touched. A
// target that is neither (a device such as /dev/null or /dev/full, a pipe)
// is written directly, as it is. Failures are thrown as ProgramStop (exit
// status 1) with the program's message lines and the system's reason.
class ReportFile {
 public:
  ReportFile(const std::filesystem::path& target, const std::string& shownName);
  // A file neither committed nor set aside is set aside (see SetAside).
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Appends one record with its line end. After a failed write the file
  // holds the records written before it, each whole.
  void Write(std::string_view record);
  // The normal end: the bytes on the disk, the temporary file renamed to the
  // target (a target written directly is closed).
  void Commit();
  // An error stop: a report whose target did not exist takes the target's
  // name (the partial report, as it stands); a target that existed is left
  // untouched and the partial report is put beside it as TARGET.partial,
  // unless that name is one of `inputs` (then it keeps its temporary name).
  // Returns, when the partial report is not under the target's name, the
  // console line that says where it is.
  std::optional<std::string> SetAside(const std::vector<FileIdentity>& inputs = {});

  // The file the report will replace (when it existed and is regular) and
  // the temporary file: inputs that are either are refused.
  bool Is(const FileIdentity& file) const;
  const std::string& ShownName() const { return shownName_; }
  // The temporary file while there is one (for a clean-up on a signal).
  const std::filesystem::path& TemporaryPath() const { return temporary_; }

 private:
  [[noreturn]] void Fail(const char* what, int error);
  void Close();

  std::filesystem::path target_;     // links resolved
  std::filesystem::path temporary_;  // empty: written directly
  std::string shownName_;
  std::string partialShown_;  // TARGET.partial as the user finds it
  std::optional<FileIdentity> targetFile_;
  std::optional<FileIdentity> temporaryFile_;
  bool targetExisted_ = false;
  int descriptor_ = -1;
  std::uint64_t whole_ = 0;  // bytes of the records written in full
  bool failed_ = false;
};

// The output files of one run of a tool, written as the classic report is:
// each beside its target under a temporary name (TARGET.qev-XXXXXX) and put
// in place only by Commit, after the whole run succeeded. A run that fails
// (an exception: the set is destroyed uncommitted) or is stopped by a signal
// (RemoveOutputTemporaries) leaves every earlier file as it was and no
// temporary file behind. A target that is one of the inputs (the same file,
// also through a link or another name) or a folder is refused before
// anything is written. Errors are qev::Error naming the file and the
// system's reason.
class OutputSet {
 public:
  explicit OutputSet(std::vector<std::filesystem::path> inputs = {});
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // Refuses the target (see above) and registers it; returns the temporary
  // file to write instead, made empty with the target's permissions.
  std::filesystem::path Add(const std::filesystem::path& target);
  // Add, then the whole text written to the temporary file.
  void Write(const std::filesystem::path& target, std::string_view text);
  // A file of an earlier run that this run supersedes without writing it
  // again (the source model of a branch no longer in the job): removed by
  // Commit once the new files are in place; a run that fails leaves it.
  void Retire(const std::filesystem::path& earlier);
  // Every temporary file synced and renamed to its target, in order; then
  // the retired files removed.
  void Commit();
  // The temporary files removed (what the destructor does uncommitted).
  void Abandon();
  std::size_t size() const { return files_.size(); }

 private:
  struct File {
    std::filesystem::path target;
    std::filesystem::path temporary;
    int slot;  // in the table the signal handler reads
  };
  std::vector<std::filesystem::path> inputs_;
  std::vector<File> files_;
  std::vector<std::filesystem::path> retired_;
};

// Removes the temporary files of every uncommitted OutputSet; only calls
// that are safe in a signal handler.
void RemoveOutputTemporaries();
// For a tool's main: SIGINT, SIGTERM, SIGHUP and SIGQUIT remove those
// temporary files, then end the program as the signal does (the shell's
// status 128 + the signal: 130 for Ctrl-C, 143 for kill). A signal the
// caller ignores (nohup) stays ignored.
void RemoveOutputTemporariesOnSignals();

}  // namespace qev
