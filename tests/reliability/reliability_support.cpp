#include "reliability/reliability_support.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "driver/run_session.h"
#include "textio/textio.h"

namespace qev::reliability {

namespace fs = std::filesystem;

Workspace::Workspace() {
  std::string pattern = (fs::temp_directory_path() / "qev-reliability-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
  dir_ = pattern;
}

Workspace::~Workspace() {
  std::error_code error;
  fs::remove_all(dir_, error);
}

void Workspace::Write(const std::string& name, std::string_view bytes) const {
  std::ofstream out(dir_ / name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Workspace::MakeDir(const std::string& name) const { fs::create_directories(dir_ / name); }

Outcome Workspace::Run(std::string_view answers, const std::string& outputName) const {
  std::error_code error;
  if (!outputName.empty()) fs::remove(dir_ / outputName, error);  // left by an earlier run
  std::istringstream in{std::string(answers)};
  std::ostringstream out;
  Outcome outcome;
  {
    TextIo io(in, out, {}, dir_, [] { return CalendarDate{4, 11, 2001}; });
    outcome.ExitStatus = RunSession(io);
  }
  outcome.Console = out.str();
  const fs::path output = dir_ / outputName;
  if (!outputName.empty() && fs::is_regular_file(output, error)) {
    std::ifstream file(output, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    outcome.OutputExists = true;
    outcome.Output = bytes.str();
  }
  return outcome;
}

std::vector<std::string> Lines(std::string_view bytes) {
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

std::string ConsoleTail(const std::string& console, std::size_t count) {
  std::vector<std::string> lines = Lines(console);
  if (!lines.empty()) lines.pop_back();  // the stop line
  const std::size_t first = lines.size() > count ? lines.size() - count : 0;
  std::string tail;
  for (std::size_t i = first; i < lines.size(); ++i) tail += lines[i] + "\n";
  return tail;
}

bool WholeLines(const std::string& bytes) {
  return bytes.empty() || (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0);
}

}  // namespace qev::reliability
