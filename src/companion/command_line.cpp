#include "companion/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace qev::companion {

void SetUpApp(CLI::App& app, HelpFlags& flags) {
  app.set_help_flag();  // -h and --help print different texts
  app.allow_extras();   // reported by ParseArguments in the tools' words
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_flag("-h", flags.ShortHelp);
  app.add_flag("--help", flags.Help);
  app.add_flag("--version", flags.Version);
}

void ParseArguments(CLI::App& app, const std::vector<std::string>& args) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them so
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    throw UsageError(error.what());
  }
  const std::vector<std::string> extras = app.remaining();
  if (extras.empty()) return;
  const std::string& first = extras.front();
  if (first.size() > 1 && first[0] == '-') {
    throw UsageError("unknown option " + first + " (see --help)");
  }
  throw UsageError("unexpected operand '" + first + "' (see --help)");
}

float ParseReal(const std::string& text, const std::string& what) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(begin, &end);
  if (text.empty() || end != begin + text.size() || errno == ERANGE || !std::isfinite(value) ||
      std::fabs(value) > std::numeric_limits<float>::max()) {
    throw UsageError(what + ": '" + text + "' is not a number");
  }
  return static_cast<float>(value);
}

int ParseInteger(const std::string& text, const std::string& what) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(begin, &end, 10);
  if (text.empty() || end != begin + text.size() || errno == ERANGE ||
      value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
    throw UsageError(what + ": '" + text + "' is not an integer");
  }
  return static_cast<int>(value);
}

CLI::Validator RealText() {
  return CLI::Validator(
      [](const std::string& text) {
        try {
          ParseReal(text, "");
        } catch (const UsageError&) {
          return "'" + text + "' is not a number";
        }
        return std::string();
      },
      "NUMBER");
}

CLI::Validator SeedText() {
  return CLI::Validator(
      [](const std::string& text) {
        const bool digits =
            !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        errno = 0;
        const bool overflows = digits &&
                               std::strtoull(text.c_str(), nullptr, 10) ==
                                   std::numeric_limits<unsigned long long>::max() &&
                               errno == ERANGE;
        if (!digits || overflows) {
          return "'" + text + "' is not a non-negative integer";
        }
        return std::string();
      },
      "N");
}

}  // namespace qev::companion
