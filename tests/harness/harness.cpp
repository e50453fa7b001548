#include "harness/harness.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "classic/error_report.h"
#include "classic/run_session.h"

namespace qev::testing {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Workspace::Workspace() {
  std::string pattern = (fs::temp_directory_path() / "qev-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
  dir_ = pattern;
}

Workspace::~Workspace() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

void Workspace::WriteFile(const std::string& name, std::string_view contents) const {
  std::ofstream out(dir_ / name, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

std::string Workspace::ReadFile(const std::string& name) const { return ReadBytes(dir_ / name); }

void Workspace::MakeDir(const std::string& name) const { fs::create_directories(dir_ / name); }

// Files of the folder with their time of last write, which tells a file
// rewritten with the same bytes; the harness's own files start with a dot.
std::vector<std::pair<std::string, std::string>> Workspace::Snapshot() const {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name[0] == '.') continue;
    const auto stamp = entry.last_write_time().time_since_epoch().count();
    files.emplace_back(name, std::to_string(stamp) + ":" + ReadBytes(entry.path()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

void Workspace::CaptureOutputFile(const std::vector<std::pair<std::string, std::string>>& before,
                                  SessionOutcome& outcome) const {
  for (const auto& [name, stampAndContents] : Snapshot()) {
    const std::string& fileName = name;  // a lambda of clang 14 cannot capture a binding
    const auto old = std::find_if(before.begin(), before.end(),
                                  [&](const auto& file) { return file.first == fileName; });
    if (old == before.end() || old->second != stampAndContents) {
      outcome.OutputFileName = name;
      outcome.OutputFile = ReadFile(name);
      return;
    }
  }
}

SessionOutcome Workspace::Run(std::string_view answers, std::vector<std::string> args,
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

SessionOutcome Workspace::RunCommand(const std::string& command, std::string_view input) const {
  const auto before = Snapshot();
  WriteFile(".stdin", input);
  const std::string line =
      "cd " + ShellQuote(dir_.string()) + " && " + command + " <.stdin >.stdout 2>.stderr";
  const int raw = std::system(line.c_str());
  SessionOutcome outcome;
  outcome.ExitStatus = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  outcome.Console = ReadFile(".stdout");
  outcome.ErrorStream = ReadFile(".stderr");
  CaptureOutputFile(before, outcome);
  return outcome;
}

SessionOutcome Workspace::RunBinary(std::string_view answers,
                                    const std::vector<std::string>& args) const {
  std::string command = ShellQuote(QEV_BINARY);
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  return RunCommand(command, answers);
}

ProcedureRun::ProcedureRun(const std::string& answers, std::int32_t dataKind)
    : in_(answers), io_(in_, out_, {}, ws.Dir(), [] { return kFixedDate; }), session(io_) {
  if (dataKind != 0) session.settings.DataKind = dataKind;
  io_.OpenOutputFile("out.txt");
}

std::optional<ProgramStop> ProcedureRun::Run(const std::function<void(Session&)>& procedure) {
  try {
    procedure(session);
  } catch (const ProgramStop& stop) {
    return stop;
  } catch (const ReadingError& error) {
    return ReadingErrorStop(error);
  } catch (const TrialPointNotPositive&) {
    return TrialPointStop();
  }
  return std::nullopt;
}

std::string ProcedureRun::Console() {
  io_.Sink().EndConsoleLine();
  return out_.str();
}

std::string ProcedureRun::File() {
  if (io_.Sink().OutputFileOpen()) io_.Sink().CloseOutputFile();
  return ws.ReadFile("out.txt");
}

std::string LastLines(const std::string& bytes, std::size_t count) {
  std::string text;
  const std::vector<std::string> lines = SplitLines(bytes);
  for (std::size_t i = lines.size() - std::min(count, lines.size()); i < lines.size(); ++i)
    text += lines[i] + "\n";
  return text;
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

std::size_t CountOf(std::string_view text, std::string_view what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

std::vector<std::vector<std::string>> TableRows(const std::string& path, const std::string& kind) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (kind.empty() || fields[0] == kind) rows.push_back(fields);
  }
  EXPECT_FALSE(rows.empty()) << path << " " << kind;
  return rows;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
  }
  return out;
}

}  // namespace qev::testing
