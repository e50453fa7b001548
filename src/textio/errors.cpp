#include "qev/errors.h"

#include <string>
#include <utility>

namespace qev {

namespace {

std::string Where(const std::string& source, long line) {
  return line > 0 ? source + ", line " + std::to_string(line) : source;
}

}  // namespace

ReadingError::ReadingError(std::string source, long line, std::string text, std::string expected)
    : Error(Where(source, line) + ": read \"" + text + "\", expected " + expected),
      source_(std::move(source)),
      line_(line),
      text_(std::move(text)),
      expected_(std::move(expected)) {}

TrialPointNotPositive::TrialPointNotPositive(float beta, float lambda)
    : Error("the trial point Beta = " + std::to_string(beta) + ", Lambda = " +
            std::to_string(lambda) + " is not positive: the data do not determine the parameters"),
      beta_(beta),
      lambda_(lambda) {}

}  // namespace qev
