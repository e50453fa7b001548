#include "companion/cli.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace qev::companion {

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

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

std::uint64_t ParseSeed(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(begin, &end, 10);
  if (text.empty() || text[0] == '-' || text[0] == '+' || end != begin + text.size() ||
      errno == ERANGE) {
    throw UsageError("seed: '" + text + "' is not a non-negative integer");
  }
  return static_cast<std::uint64_t>(value);
}

std::vector<Argument> SplitArguments(const std::vector<std::string>& args,
                                     const std::vector<std::string>& withValue,
                                     const std::vector<std::string>& flags) {
  std::vector<Argument> result;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h") {
      result.push_back({"h", ""});
    } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string name = arg.substr(2);
      std::optional<std::string> value;
      const std::size_t equals = name.find('=');
      if (equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.erase(equals);
      }
      if (Contains(withValue, name)) {
        if (!value) {
          if (i + 1 >= args.size()) throw UsageError("option --" + name + " needs a value");
          value = args[++i];
        }
        result.push_back({name, *value});
      } else if (Contains(flags, name)) {
        if (value) throw UsageError("option --" + name + " takes no value");
        result.push_back({name, ""});
      } else {
        throw UsageError("unknown option --" + name + " (see --help)");
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg + " (see --help)");
    } else {
      result.push_back({"", arg});
    }
  }
  return result;
}

KeyValueList ParseKeyValues(const std::string& text, const std::vector<std::string>& keys,
                            const std::string& what) {
  KeyValueList list;
  std::size_t position = 0;
  bool first = true;
  while (position <= text.size()) {
    std::size_t comma = text.find(',', position);
    if (comma == std::string::npos) comma = text.size();
    const std::string piece = text.substr(position, comma - position);
    const std::size_t equals = piece.find('=');
    if (first && equals == std::string::npos) {
      list.Head = piece;
    } else {
      if (equals == std::string::npos || equals == 0) {
        throw UsageError(what + ": '" + piece + "' is not of the form key=value");
      }
      const std::string key = piece.substr(0, equals);
      if (!Contains(keys, key)) throw UsageError(what + ": unknown key '" + key + "'");
      if (!list.Pairs.emplace(key, piece.substr(equals + 1)).second) {
        throw UsageError(what + ": key '" + key + "' given twice");
      }
    }
    first = false;
    position = comma + 1;
  }
  return list;
}

}  // namespace qev::companion
