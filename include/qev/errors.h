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
// and what was expected. The text is shown safely (control and non-ASCII bytes
// as '?', at most 40 characters of a token): a token as read is quoted
// ("6.5abc"); a value that was read but cannot be used is named with its value
// (magnitude 1e+10); nothing read shows as "". what() is
// "SOURCE, line N: read TEXT, expected EXPECTED".
class ReadingError : public Error {
 public:
  ReadingError(const std::string& source, long line, const std::string& text,
               const std::string& expected);
  const std::string& source() const { return source_; }
  long line() const { return line_; }
  const std::string& text() const { return text_; }
  const std::string& expected() const { return expected_; }

 protected:
  ReadingError(const std::string& message, const std::string& source, long line,
               const std::string& text, const std::string& expected);

 private:
  std::string source_;
  long line_;
  std::string text_;
  std::string expected_;
};

// The input ended before a statement had all its values: text() is empty and
// line() is the last line read (0 for an input without lines).
class EndOfInput : public ReadingError {
 public:
  EndOfInput(const std::string& source, long line, const std::string& expected);
};

// The input itself failed while a line was read (an error of the disk, of a
// network file system, of the stream's buffer): line() is the line being
// read and reason() the system's word for the failure ("Input/output
// error"). Not the end of the input: what was read before it is no catalog.
class StreamError : public ReadingError {
 public:
  StreamError(const std::string& source, long line, std::string reason);
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// A catalog whose values are readable but inconsistent: events out of time
// order, a period that ends before it starts, a negative SD or frequency, a
// value that the engine's scaled integers cannot hold. source() and line()
// name the file and line when the error was found while reading one (empty
// and 0 otherwise); event() is the 1-based number of the extreme event
// concerned (0 when none is).
class CatalogError : public Error {
 public:
  explicit CatalogError(const std::string& message, std::string source = {}, long line = 0,
                        long event = 0);
  const std::string& source() const { return source_; }
  long line() const { return line_; }
  long event() const { return event_; }

 private:
  std::string source_;
  long line_;
  long event_;
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

// No estimate can be formed because the catalog gives no starting point: no
// events, a zero time span, a mean magnitude at the threshold, values that are
// not finite numbers. reason() says why in the words of the classic program's
// message box, e.g. "the time span of the last COMPLETE part is zero".
class NoEstimate : public Error {
 public:
  explicit NoEstimate(std::string reason);
  const std::string& reason() const { return reason_; }

 protected:
  NoEstimate(const std::string& message, std::string reason);

 private:
  std::string reason_;
};

// The analysis ended, but its figures are no estimate: a Beta, Lambda, Mmax,
// standard deviation, transmission coefficient, data contribution or data
// share that is not a finite number, a Beta or Lambda not above the smallest
// normal single-precision number (the arithmetic underflowed), or an Mmax not
// above Mmin. figure() names the first such figure ("SD(Beta)"), reason()
// says what it is ("SD(Beta) is nan, not a finite number"). A kind of
// NoEstimate: what catches that catches this.
class UnusableEstimate : public NoEstimate {
 public:
  UnusableEstimate(std::string figure, const std::string& reason);
  const std::string& figure() const { return figure_; }

 private:
  std::string figure_;
};

// A long computation (an analysis, a batch run, bootstrap intervals) was
// asked to stop through its cancellation flag (AnalysisOptions::cancel,
// RunOptions::cancel) and did: nothing it would have given is complete.
class Cancelled : public Error {
 public:
  Cancelled() : Error("the computation was cancelled") {}
};

// Options that no analysis can use: a threshold, Xmax, SIG(Xmax), prior or
// given starting value that is not a finite number, a given starting Mmax or
// a listed Mmax not above Mmin, fewer than one run. The message names the
// option and its value.
class InvalidOptions : public Error {
 public:
  using Error::Error;
};

}  // namespace qev
