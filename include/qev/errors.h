// Errors of the library, as exception types. Every message names where the
// problem is (source, line, value) and what was expected.
#pragma once

#include <stdexcept>
#include <string>

namespace qev {

// Base of every error the library throws.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that cannot be read as the expected value: the source (a file name or
// a description), the line (1-based; 0 when there is none), the offending text
// and what was expected.
class ReadingError : public Error {
 public:
  ReadingError(std::string source, long line, std::string text, std::string expected);
  const std::string& source() const { return source_; }
  long line() const { return line_; }
  const std::string& text() const { return text_; }
  const std::string& expected() const { return expected_; }

 private:
  std::string source_;
  long line_;
  std::string text_;
  std::string expected_;
};

// A catalog whose values are readable but inconsistent: events out of time
// order, a period that ends before it starts, a negative SD or frequency.
class CatalogError : public Error {
 public:
  using Error::Error;
};

// The minimiser met a trial Beta or Lambda that is not positive: the data do
// not determine the parameters.
class TrialPointNotPositive : public Error {
 public:
  TrialPointNotPositive(float beta, float lambda);
  float beta() const { return beta_; }
  float lambda() const { return lambda_; }

 private:
  float beta_;
  float lambda_;
};

// No estimate can be formed: a starting point that cannot be computed from the
// catalog, a zero time span, a result that is not a finite number.
class NoEstimate : public Error {
 public:
  using Error::Error;
};

}  // namespace qev
