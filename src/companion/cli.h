// Command-line conventions shared by the companion tools: options as
// "--name value" or "--name=value", strict numbers, "key=value" lists, and
// one exception type whose message the tool prints as "ERROR: ...".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qev::companion {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whole-text numbers; `what` names the value in the error message.
float ParseReal(const std::string& text, const std::string& what);
int ParseInteger(const std::string& text, const std::string& what);
std::uint64_t ParseSeed(const std::string& text);

// One option of a command line: its name without dashes ("" for an operand)
// and its value (empty for a flag).
struct Argument {
  std::string Name;
  std::string Value;
};

// Splits a command line. `withValue` lists the long options that take a
// value; `flags` those that do not. Short "-h" is the flag "h"; a lone "-" is
// an operand. Anything else that starts with "-" is a UsageError.
std::vector<Argument> SplitArguments(const std::vector<std::string>& args,
                                     const std::vector<std::string>& withValue,
                                     const std::vector<std::string>& flags);

// "head,key=value,key=value": the head (text before the first comma, if it
// holds no '=') and the pairs; a repeated or unknown key is a UsageError.
struct KeyValueList {
  std::string Head;
  std::map<std::string, std::string> Pairs;
};
KeyValueList ParseKeyValues(const std::string& text, const std::vector<std::string>& keys,
                            const std::string& what);

}  // namespace qev::companion
