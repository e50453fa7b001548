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

}  // namespace

// Nothing read (an empty field, a missing header) shows as "".
ReadingError::ReadingError(const std::string& source, long line, const std::string& text,
                           const std::string& expected)
    : ReadingError(Where(source, line) + ": read " + (text.empty() ? "\"\"" : text) +
                       ", expected " + expected,
                   source, line, text, expected) {}

ReadingError::ReadingError(const std::string& message, const std::string& source, long line,
                           const std::string& text, const std::string& expected)
    : Error(message), source_(source), line_(line), text_(text), expected_(expected) {}

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

}  // namespace qev
