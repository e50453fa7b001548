#include "console/sink.h"

#include "console/stop.h"

namespace qev {

namespace {
constexpr const char* kLineEnd = "\r\n";
}

ReportSink::ReportSink(std::ostream& console) : console_(console) {}

ReportSink::~ReportSink() {
  report_.reset();
  Watch();
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

void ReportSink::Records(Dest dest, std::span<const char* const> texts) {
  for (const char* text : texts) {
    if (text == nullptr) {
      List(dest);
    } else {
      List(dest, {std::string(text)});
    }
  }
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
  if (report_) report_->Write(record);
}

void ReportSink::Watch() const {
  if (watcher_) watcher_(report_ ? report_->TemporaryPath().string() : std::string());
}

void ReportSink::OpenOutputFile(const std::string& path, const std::string& shownName) {
  report_.reset();
  report_ = std::make_unique<ReportFile>(path, shownName);
  Watch();
}

void ReportSink::CloseOutputFile() {
  if (!report_) return;
  report_->Commit();
  report_.reset();
  Watch();
}

std::optional<std::string> ReportSink::SetAsideOutputFile(const std::vector<FileIdentity>& inputs) {
  if (!report_) return std::nullopt;
  std::optional<std::string> where = report_->SetAside(inputs);
  report_.reset();
  Watch();
  return where;
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
}

}  // namespace qev
