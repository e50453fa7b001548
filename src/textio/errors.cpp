#include "qev/errors.h"

#include <string>
#include <utility>

namespace qev {

namespace {

std::string Where(const std::string& source, long line) {
  return line > 0 ? source + ", line " + std::to_string(line) : source;
}

std::string Located(const std::string& message, const std::string& source, long line) {
  return source.empty() ? message : Where(source, line) + ": " + message;
}

// The longest offending text a message shows: a line of megabytes is named
// by its beginning.
constexpr std::size_t kLongestShownText = 100;

// Control characters (a NUL among them, which would end the message where it
// is printed as a C string) as '?'; a long text cut to its beginning and "...".
std::string Printable(const std::string& text, std::size_t longest) {
  std::string out = text.substr(0, longest);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) c = '?';
  }
  if (text.size() > longest) {
    // Not in the middle of a UTF-8 sequence.
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
    out += "...";
  }
  return out;
}

}  // namespace

// Nothing read (an empty field, a missing header) shows as "".
ReadingError::ReadingError(const std::string& source, long line, const std::string& text,
                           const std::string& expected)
    : ReadingError(Where(source, line) + ": read " +
                       (text.empty() ? "\"\"" : Printable(text, kLongestShownText)) +
                       ", expected " + Printable(expected, std::string::npos),
                   source, line, text, expected) {}

ReadingError::ReadingError(const std::string& message, const std::string& source, long line,
                           const std::string& text, const std::string& expected)
    : Error(message),
      source_(source),
      line_(line),
      text_(Printable(text, kLongestShownText)),
      expected_(Printable(expected, std::string::npos)) {}

EndOfInput::EndOfInput(const std::string& source, long line, const std::string& expected)
    : ReadingError(source +
                       (line > 0 ? ": the input ends after line " + std::to_string(line)
                                 : std::string(": the input is empty")) +
                       ", expected " + expected,
                   source, line, std::string(), expected) {}

StreamError::StreamError(const std::string& source, long line, std::string reason)
    : ReadingError(Where(source, line) + ": the input fails: " + reason, source, line,
                   "a failure of the input: " + reason, "a line that can be read"),
      reason_(std::move(reason)) {}

CatalogError::CatalogError(const std::string& message, std::string source, long line, long event)
    : Error(Located(message, source, line)),
      source_(std::move(source)),
      line_(line),
      event_(event) {}

TrialPointNotPositive::TrialPointNotPositive(float beta, float lambda)
    : Error("the trial point Beta = " + std::to_string(beta) + ", Lambda = " +
            std::to_string(lambda) + " is not positive: the data do not determine the parameters"),
      beta_(beta),
      lambda_(lambda) {}

NoEstimate::NoEstimate(std::string reason)
    : Error("no starting point can be formed from this catalog: " + reason),
      reason_(std::move(reason)) {}

NoEstimate::NoEstimate(const std::string& message, std::string reason)
    : Error(message), reason_(std::move(reason)) {}

UnusableEstimate::UnusableEstimate(std::string figure, const std::string& reason)
    : NoEstimate("the analysis gives no usable estimate: " + reason, reason),
      figure_(std::move(figure)) {}

}  // namespace qev
