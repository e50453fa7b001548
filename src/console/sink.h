// The two text destinations of a session: the console and the output file.
//
// On the console the first character of every record is consumed as carriage
// control (blank: new line, "0": one empty line first, "1": new page, "+":
// overwrite the current line) and the line end of a record is written only
// when the next record starts, before a console read, or at the stop. The
// output file receives every character, each record ended by carriage return
// and line feed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console/formatter.h"
#include "console/report_file.h"

namespace qev {

enum class Dest { Console, File };

class ReportSink {
 public:
  explicit ReportSink(std::ostream& console);
  ~ReportSink();
  ReportSink(const ReportSink&) = delete;
  ReportSink& operator=(const ReportSink&) = delete;

  // A formatted write of the given format text and items.
  void Format(Dest dest, std::string_view format, const Items& items = {});
  // A list-directed write; no items gives an empty record.
  void List(Dest dest, const Items& items = {});
  // The same formatted write to the console first, then to the output file.
  void FormatBoth(std::string_view format, const Items& items = {});
  // The dialogs' two most common records: a list record of one text on the
  // console (it shows exactly as given) and an empty console line.
  void ConsoleLine(std::string_view text) { List(Dest::Console, {std::string(text)}); }
  void ConsoleEmpty() { List(Dest::Console); }
  // A block of list records of one text each; a null text is an empty record.
  void Records(Dest dest, std::span<const char* const> texts);

  // Opens the output file (a ReportFile: written beside its target and put
  // in place by CloseOutputFile); a failure is a stop with exit status 1 that
  // names the file (`shownName`) and the system's reason.
  void OpenOutputFile(const std::string& path, const std::string& shownName);
  // The normal end of the report: it replaces the target. A failure is a stop.
  void CloseOutputFile();
  // An error stop: the partial report is put in place or beside an existing
  // target (ReportFile::SetAside); returns the line that says where, when it
  // is not under the target's name.
  std::optional<std::string> SetAsideOutputFile(const std::vector<FileIdentity>& inputs);
  bool OutputFileOpen() const { return report_ != nullptr; }
  // Whether `file` is the output file's target or its temporary file.
  bool IsOutputFile(const FileIdentity& file) const { return report_ && report_->Is(file); }
  // Told the temporary report file's path when it is made and an empty path
  // when it is gone, so that a program can remove it when it is killed.
  void WatchTemporaryFile(std::function<void(const std::string&)> watcher) {
    watcher_ = std::move(watcher);
  }

  // Writes a pending console line end (called before every console read).
  void EndConsoleLine();
  // The stop: pending line end, "Stop - Program terminated." and a line end.
  // The output file is left to CloseOutputFile or SetAsideOutputFile.
  void WriteStopLine();

 private:
  void ConsoleRecord(const std::string& record);
  void FileRecord(const std::string& record);

  void Watch() const;

  std::ostream& console_;
  std::unique_ptr<ReportFile> report_;
  std::function<void(const std::string&)> watcher_;
  bool consoleLinePending_ = false;
};

}  // namespace qev
