// The classic program's report file, written as the session goes and put
// in place only at its normal end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textio/files.h"

namespace qev {

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

}  // namespace qev
