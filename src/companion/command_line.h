// Command lines of the companion tools, parsed by CLI11: options as
// "--name value" or "--name=value", "-h" for the short usage, "--help" for
// the manual page, "--version"; of an option given twice the last counts.
// Numbers are whole texts of finite values, and every fault of the command
// line is a UsageError, which the tool prints as "ERROR: ..." before its usage.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qev::companion {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HelpFlags {
  bool ShortHelp = false;  // -h
  bool Help = false;       // --help
  bool Version = false;    // --version
};

// An App with the conventions above; `flags` receives -h, --help and --version.
void SetUpApp(CLI::App& app, HelpFlags& flags);

// Runs the parser on `args` (without the program name). Arguments the App
// does not know end in "unknown option --x" or "unexpected operand 'x'".
void ParseArguments(CLI::App& app, const std::vector<std::string>& args);

// Whole-text numbers; `what` names the value in the error message.
float ParseReal(const std::string& text, const std::string& what);
int ParseInteger(const std::string& text, const std::string& what);

// Checks an option's text before CLI11 converts it: CLI11 alone would take
// "" as 0, "nan" and "1e300" as floats and "-1" as the largest seed.
CLI::Validator RealText();
CLI::Validator SeedText();

}  // namespace qev::companion
