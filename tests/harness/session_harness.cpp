#include "harness/session_harness.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "driver/run_session.h"
#include "textio/stop.h"

namespace qev::testing {

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Files the harness itself keeps in the folder (piped streams of binary runs).
bool IsHarnessFile(const std::string& name) { return !name.empty() && name[0] == '.'; }

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

SessionHarness::SessionHarness() {
  std::string pattern = (fs::temp_directory_path() / "qev-session-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
  dir_ = pattern;
}

SessionHarness::~SessionHarness() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

void SessionHarness::WriteFile(const std::string& name, std::string_view contents) const {
  std::ofstream out(dir_ / name, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

std::string SessionHarness::ReadFile(const std::string& name) const { return Slurp(dir_ / name); }

bool SessionHarness::FileExists(const std::string& name) const {
  return fs::is_regular_file(dir_ / name);
}

std::vector<std::pair<std::string, std::string>> SessionHarness::Snapshot() const {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (IsHarnessFile(name)) continue;
    // The time of the last write tells a file rewritten with the same bytes.
    const auto stamp = entry.last_write_time().time_since_epoch().count();
    files.emplace_back(name, std::to_string(stamp) + ":" + Slurp(entry.path()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The output file is the one file that is new or written again after the run.
void SessionHarness::CaptureOutputFile(
    const std::vector<std::pair<std::string, std::string>>& before, SessionOutcome& outcome) const {
  for (const auto& [name, stampAndContents] : Snapshot()) {
    const auto old = std::find_if(before.begin(), before.end(),
                                  [&](const auto& file) { return file.first == name; });
    if (old == before.end() || old->second != stampAndContents) {
      outcome.OutputFileName = name;
      outcome.OutputFile = ReadFile(name);
      return;
    }
  }
}

SessionOutcome SessionHarness::Run(std::string_view answers, std::vector<std::string> args,
                                   CalendarDate date) const {
  const auto before = Snapshot();
  std::istringstream in{std::string(answers)};
  std::ostringstream out;
  SessionOutcome outcome;
  {
    TextIo io(in, out, std::move(args), dir_, [date] { return date; });
    outcome.ExitStatus = RunSession(io);
  }  // the output file is closed with the session's input/output
  outcome.Console = out.str();
  CaptureOutputFile(before, outcome);
  return outcome;
}

SessionOutcome SessionHarness::RunProcedure(std::string_view answers,
                                            const std::function<void(Session&)>& body,
                                            const std::string& outputName) const {
  const auto before = Snapshot();
  std::istringstream in{std::string(answers)};
  std::ostringstream out;
  SessionOutcome outcome;
  {
    TextIo io(in, out, {}, dir_, [] { return kFixedDate; });
    auto session = std::make_unique<Session>(io);
    try {
      if (!outputName.empty()) io.OpenOutputFile(outputName);
      body(*session);
    } catch (const ProgramStop& stop) {
      for (const std::string& line : stop.ConsoleLines) io.Sink().List(Dest::Console, {line});
      io.Sink().WriteStopLine();
      outcome.ExitStatus = stop.ExitStatus;
    }
    if (io.Sink().OutputFileOpen()) io.Sink().CloseOutputFile();
  }
  outcome.Console = out.str();
  CaptureOutputFile(before, outcome);
  return outcome;
}

SessionOutcome SessionHarness::RunBinary(std::string_view answers,
                                         std::vector<std::string> args) const {
#ifndef QEV_BINARY
  (void)answers;
  (void)args;
  throw std::logic_error("QEV_BINARY is not defined for this test target");
#else
  const auto before = Snapshot();
  WriteFile(".stdin", answers);
  std::string command = "cd " + ShellQuote(dir_.string()) + " && " + ShellQuote(QEV_BINARY);
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  command += " <.stdin >.stdout 2>.stderr";
  const int raw = std::system(command.c_str());
  SessionOutcome outcome;
  outcome.ExitStatus = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  outcome.Console = ReadFile(".stdout");
  outcome.ErrorStream = ReadFile(".stderr");
  CaptureOutputFile(before, outcome);
  return outcome;
#endif
}

std::vector<std::string> SplitLines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(bytes.substr(start));
      break;
    }
    lines.emplace_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> LinesFrom(const std::vector<std::string>& lines, std::string_view marker,
                                   std::size_t count) {
  const auto first = std::find(lines.begin(), lines.end(), marker);
  if (first == lines.end()) return {};
  const auto available = static_cast<std::size_t>(std::distance(first, lines.end()));
  return std::vector<std::string>(first, first + static_cast<std::ptrdiff_t>(std::min(count, available)));
}

}  // namespace qev::testing
