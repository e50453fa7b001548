// Runs a program of the build in a folder, with standard input from a file,
// and collects its exit status and both output streams.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace qev::companion::testing {

struct ProcessResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// `command` is a shell command line; `input` names a file in `folder` or is empty.
inline ProcessResult RunIn(const std::filesystem::path& folder, const std::string& command,
                           const std::string& input = "") {
  const std::filesystem::path out = folder / ".stdout";
  const std::filesystem::path err = folder / ".stderr";
  const std::string line = "cd " + Quoted(folder.string()) + " && " + command + " < " +
                           (input.empty() ? std::string("/dev/null") : Quoted(input)) + " > " +
                           Quoted(out.string()) + " 2> " + Quoted(err.string());
  const int raw = std::system(line.c_str());
  ProcessResult result;
  result.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.Out = ReadFile(out);
  result.Err = ReadFile(err);
  return result;
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder {
 public:
  explicit TempFolder(const std::string& stem) {
    std::random_device device;
    path_ = std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(device()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace qev::companion::testing
