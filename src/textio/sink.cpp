#include "textio/sink.h"

#include "textio/stop.h"

namespace qev {

namespace {
constexpr const char* kLineEnd = "\r\n";
}

ReportSink::ReportSink(std::ostream& console) : console_(console) {}

ReportSink::~ReportSink() {
  if (file_.is_open()) file_.close();
}

void ReportSink::Format(Dest dest, std::string_view format, const Items& items) {
  for (const std::string& record : FormatText(format, items)) {
    if (dest == Dest::Console) {
      ConsoleRecord(record);
    } else {
      FileRecord(record);
    }
  }
}

void ReportSink::List(Dest dest, const Items& items) {
  const std::string record = ListRecord(items);
  if (dest == Dest::Console) {
    ConsoleRecord(record);
  } else {
    FileRecord(record);
  }
}

void ReportSink::FormatBoth(std::string_view format, const Items& items) {
  Format(Dest::Console, format, items);
  Format(Dest::File, format, items);
}

void ReportSink::ListBoth(const Items& items) {
  List(Dest::Console, items);
  List(Dest::File, items);
}

// Carriage control: the first character places the record and is not shown.
void ReportSink::ConsoleRecord(const std::string& record) {
  const char control = record.empty() ? ' ' : record[0];
  if (control == '+') {
    if (consoleLinePending_) console_ << '\r';
  } else {
    if (consoleLinePending_) console_ << kLineEnd;
    if (control == '0') console_ << kLineEnd;
    if (control == '1') console_ << '\f';
  }
  if (record.size() > 1)
    console_.write(record.data() + 1, static_cast<std::streamsize>(record.size() - 1));
  consoleLinePending_ = true;
}

void ReportSink::FileRecord(const std::string& record) {
  if (!file_.is_open()) return;
  file_ << record << kLineEnd;
  file_.flush();
  if (!file_) {
    file_.close();
    throw ProgramStop{kExitError, {"", " ERROR: cannot write to the output file " + fileName_, ""}};
  }
}

void ReportSink::OpenOutputFile(const std::string& path, const std::string& shownName) {
  if (file_.is_open()) file_.close();
  fileName_ = "'" + shownName + "'";
  file_.clear();
  file_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file_.is_open()) {
    throw ProgramStop{kExitError,
                      {"", " ERROR: cannot create or rewrite the output file " + fileName_, ""}};
  }
}

void ReportSink::CloseOutputFile() {
  if (file_.is_open()) file_.close();
}

void ReportSink::EndConsoleLine() {
  if (consoleLinePending_) console_ << kLineEnd;
  consoleLinePending_ = false;
  console_.flush();
}

void ReportSink::WriteStopLine() {
  EndConsoleLine();
  console_ << "Stop - Program terminated." << kLineEnd;
  console_.flush();
  CloseOutputFile();
}

}  // namespace qev
