// The two text destinations of a session: the console and the output file.
//
// On the console the first character of every record is consumed as carriage
// control (blank: new line, "0": one empty line first, "1": new page, "+":
// overwrite the current line) and the line end of a record is written only
// when the next record starts, before a console read, or at the stop. The
// output file receives every character, each record ended by carriage return
// and line feed.
#pragma once

#include <fstream>
#include <ostream>
#include <string>
#include <string_view>

#include "textio/formatter.h"

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
  // The same write to the console first, then to the output file.
  void FormatBoth(std::string_view format, const Items& items = {});
  void ListBoth(const Items& items = {});
  // The dialogs' two most common records: a list record of one text on the
  // console (it shows exactly as given) and an empty console line.
  void ConsoleLine(std::string_view text) { List(Dest::Console, {std::string(text)}); }
  void ConsoleEmpty() { List(Dest::Console); }

  // Opens (creates or rewrites) the output file; a failure is a reading-error
  // stop with exit status 1. `shownName` names the file in the error report.
  void OpenOutputFile(const std::string& path, const std::string& shownName);
  void CloseOutputFile();
  bool OutputFileOpen() const { return file_.is_open(); }

  // Writes a pending console line end (called before every console read).
  void EndConsoleLine();
  // The stop: pending line end, "Stop - Program terminated." and a line end.
  void WriteStopLine();

 private:
  void ConsoleRecord(const std::string& record);
  void FileRecord(const std::string& record);

  std::ostream& console_;
  std::ofstream file_;
  std::string fileName_;
  bool consoleLinePending_ = false;
};

}  // namespace qev
