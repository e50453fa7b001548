// The session's input and output: the console (reader and writer), the output
// file, catalog files opened by name, the command-line arguments used for
// blank file names, and the local date. Injectable, so that a whole session can
// run in a test from an answer script with files in a temporary folder.
#pragma once

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "console/sink.h"
#include "textio/files.h"
#include "textio/reader.h"

namespace qev {

struct CalendarDate {
  int Day = 1;    // 1..31
  int Month = 1;  // 1..12
  int Year = 2000;
};

// A catalog file open for reading and its description in reading errors
// ("catalog file 'NAME'", control characters of the name shown as '?').
struct CatalogStream {
  std::unique_ptr<std::istream> stream;
  std::string description;
};

// The regular files behind the program's standard input and output, if they
// are files: neither may become the output file.
struct StandardFiles {
  std::optional<FileIdentity> input;
  std::optional<FileIdentity> output;
};

class TextIo {
 public:
  TextIo(std::istream& consoleIn, std::ostream& consoleOut, std::vector<std::string> args,
         std::filesystem::path baseDir = ".", std::function<CalendarDate()> today = nullptr);

  ReportSink& Sink() { return sink_; }
  LineSource& Console() { return console_; }

  // Console reads: the pending console line end is written first.
  ReadOutcome ReadConsole(const std::vector<Target>& targets);
  void ReadConsoleLine(std::string& text, std::size_t length);

  // Resolves a file name answer: trailing blanks dropped; an all-blank name is
  // replaced by the next unused command-line argument, else asked for on the
  // console ("File name missing or blank - please enter file name" /
  // "UNIT n? ") until a name is given. `unit` is 9 (output) or 2 (catalog).
  std::string ResolveFileName(const std::string& answer, int unit);

  void SetStandardFiles(const StandardFiles& files) { standard_ = files; }

  // Opens the output file (unit 9) under the resolved name; the program's
  // standard input or output is refused as output file.
  void OpenOutputFile(const std::string& answer);
  // Opens a catalog file (unit 2) for reading. A file that cannot be opened,
  // a folder, anything but a regular file (a pipe, a device, which might
  // never end) and the output file itself end the program with a report.
  CatalogStream OpenCatalogFile(const std::string& answer);
  // The files this session reads: the catalogs opened and standard input.
  std::vector<FileIdentity> Inputs() const;

  CalendarDate Today() const;

 private:
  std::filesystem::path Resolve(const std::string& name) const;

  ReportSink sink_;
  LineSource console_;
  std::vector<std::string> args_;
  std::size_t nextArg_ = 0;
  std::filesystem::path baseDir_;
  std::function<CalendarDate()> today_;
  StandardFiles standard_;
  std::vector<FileIdentity> catalogs_;
};

}  // namespace qev
