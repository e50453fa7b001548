// Fuzzes a whole session: arbitrary bytes as the console input and as the
// catalog files of the working folder.
//
// Input layout (the seed corpus is written in it by fuzz/make_seeds.py):
//
//   <console input>
//   \n##FILE name\n<bytes of the file>     (any number of these)
//   \n##DIR name\n                          (a folder of that name)
//
// Names keep only letters, digits, '.', '-' and '_' (at most 40 of them); the
// session's own file-name answers have every '/' turned into '_' before the
// session sees them, so that no answer can reach outside the temporary working
// folder (the harness runs as whatever user runs the fuzzer, possibly root).
//
// The session ends at the end of the console input at the latest (a reading
// error), so every input ends; the harness checks that it ends with the stop
// line, a defined exit status, no internal error, output files made of whole
// lines, no temporary file left, no file of the folder changed by an error
// stop (nor more than the report by a normal end), and at a normal end a
// report whose RESULTS give a Beta, Lambda and Mmax that are finite numbers.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "classic/run_session.h"
#include "console/textio.h"
#include "fuzz_common.h"
#include "textio/reader.h"

namespace fs = std::filesystem;

namespace {

using fuzz::Broken;

const fs::path& WorkDir() {
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "qev-fuzz-session-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Broken("cannot make a temporary folder");
    return fs::path(pattern);
  }();
  return dir;
}

void ClearWorkDir() {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(WorkDir(), error)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(entry.path(), error);
  }
}

std::string SafeName(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_';
    if (ok && out.size() < 40) out += c;
  }
  if (out == "." || out == "..") out.clear();
  return out;
}

// The files the harness wrote, with their contents.
std::map<std::string, std::string> writtenFiles;

// Splits the input into the console part and the files; writes the files.
std::string Prepare(std::string_view input) {
  writtenFiles.clear();
  static constexpr std::string_view kFile = "\n##FILE ";
  static constexpr std::string_view kDir = "\n##DIR ";
  std::size_t next = std::min(input.find(kFile), input.find(kDir));
  std::string console(input.substr(0, next));
  while (next != std::string_view::npos) {
    const bool isDir = input.compare(next, kDir.size(), kDir) == 0;
    const std::size_t nameStart = next + (isDir ? kDir.size() : kFile.size());
    const std::size_t nameEnd = std::min(input.find('\n', nameStart), input.size());
    const std::size_t bodyStart = std::min(nameEnd + 1, input.size());
    next = std::min(input.find(kFile, nameEnd), input.find(kDir, nameEnd));
    const std::size_t bodyEnd = next == std::string_view::npos ? input.size() : next;
    const std::string name = SafeName(input.substr(nameStart, nameEnd - nameStart));
    if (name.empty()) continue;
    std::error_code error;
    fs::remove_all(WorkDir() / name, error);
    if (isDir) {
      fs::create_directory(WorkDir() / name, error);
    } else {
      const std::string body(input.substr(bodyStart, bodyEnd - bodyStart));
      std::ofstream out(WorkDir() / name, std::ios::binary);
      out << body;
      writtenFiles[name] = body;
    }
  }
  // No answer may name a path outside the working folder.
  for (char& c : console) {
    if (c == '/') c = '_';
  }
  return console;
}

// The estimate in a RESULTS line of the report: the field after "= ".
std::string EstimateOf(const std::string& report, const std::string& label) {
  const std::size_t at = report.find("\r\n" + label, report.find("RESULTS\r\n"));
  if (at == std::string::npos) return {};
  const std::size_t value = at + 2 + label.size();
  return report.substr(value, report.find(' ', report.find_first_not_of(' ', value)) - value);
}

// No temporary report file is left, unless the console names it as where
// the partial report is (an earlier NAME.partial that is an input or a
// folder).
void CheckTemporaries(const std::string& console, const std::vector<std::string>& temporaries) {
  std::error_code error;
  for (const std::string& temporary : temporaries) {
    if (fs::exists(temporary, error) &&
        console.find("report so far is in '" + qev::ShownName(temporary) + "'") ==
            std::string::npos) {
      Broken("a temporary report file is left", console);
    }
  }
}

// A report of a normal end gives Beta, Lambda and Mmax as numbers.
void CheckEstimates(const std::string& console, const std::string& text) {
  for (const char* label : {"  Beta   = ", "  Lambda = ", "  M_max  = "}) {
    const std::string estimate = EstimateOf(text, label);
    if (estimate.empty() || estimate.find('#') != std::string::npos) {
      Broken("a normal end reports a Beta, Lambda or Mmax that is not a number", console);
    }
  }
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every file the session wrote (or rewrote) is made of whole lines, no
// temporary report file is left, an error stop leaves every file of the
// folder as it was and a normal end changes at most one; a normal end leaves
// a report whose Beta, Lambda and Mmax are numbers.
void CheckFiles(const std::string& console, int status,
                const std::vector<std::string>& temporaries) {
  CheckTemporaries(console, temporaries);
  std::error_code error;
  int changed = 0;
  bool results = false;
  for (const auto& entry : fs::directory_iterator(WorkDir(), error)) {
    if (!entry.is_regular_file(error)) continue;
    const std::string name = entry.path().filename().string();
    const std::string text = Contents(entry.path());
    const auto written = writtenFiles.find(name);
    if (written != writtenFiles.end() && written->second == text) continue;
    // An earlier partial report may give way to this session's.
    const bool partial = name.size() > 8 && name.compare(name.size() - 8, 8, ".partial") == 0;
    if (written != writtenFiles.end() && !(status != 0 && partial)) ++changed;
    if (!text.empty() &&
        text.compare(text.size() - std::min<std::size_t>(2, text.size()), 2, "\r\n") != 0) {
      Broken("the output file ends inside a line", console);
    }
    if (status != 0 || text.find("RESULTS\r\n") == std::string::npos) continue;
    results = true;
    CheckEstimates(console, text);
  }
  if (status != 0 && changed > 0) Broken("an error stop changed a file of the folder", console);
  if (status == 0 && changed > 1) Broken("a session changed more than its report", console);
  if (status == 0 && !results) Broken("a normal end without a report of RESULTS", console);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ClearWorkDir();
  const std::string answers = Prepare(std::string_view(reinterpret_cast<const char*>(data), size));
  std::istringstream in(answers);
  std::ostringstream out;
  int status = -1;
  std::vector<std::string> temporaries;  // every temporary report file made
  {
    qev::TextIo io(in, out, {}, WorkDir(), [] { return qev::CalendarDate{4, 11, 2001}; });
    io.Sink().WatchTemporaryFile([&temporaries](const std::string& path) {
      if (!path.empty()) temporaries.push_back(path);
    });
    status = qev::RunSession(io);
  }
  const std::string console = out.str();
  if (status != 0 && status != 1) Broken("the exit status must be 0 or 1", console);
  static constexpr std::string_view kStop = "Stop - Program terminated.\r\n";
  if (console.size() < kStop.size() ||
      console.compare(console.size() - kStop.size(), kStop.size(), kStop) != 0) {
    Broken("the console must end with the stop line", console);
  }
  // The driver reports any exception that is not a stop of the program's own
  // on a line of its own; no input may lead there.
  if (console.find("\nInternal error: ") != std::string::npos)
    Broken("a programming error surfaced", console);
  if (status == 0 && console.find("READING ERROR") != std::string::npos) {
    Broken("a reading error reported as success", console);
  }
  CheckFiles(console, status, temporaries);
  if (std::getenv("QEV_FUZZ_SHOW") != nullptr) {
    std::fprintf(stderr, "%s\n[exit status %d]\n", console.c_str(), status);
  }
  ClearWorkDir();
  return 0;
}
