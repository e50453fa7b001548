// Free-format reading of console answers and catalog files.
//
// Values are separated by blanks, tabs, commas or line ends; two commas with
// nothing between leave a target unchanged; r*v repeats a value, r* gives r
// null values; a slash ends the statement. Every read statement starts at the
// beginning of the next line of its source. The grammar is in docs/formats.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qev {

// The longest line a source may hold, line end apart: far beyond any catalog
// line or answer, and a bound on the memory a line without end (a file of
// zeros, a stream that never ends a line) can take.
inline constexpr std::size_t kLongestLine = std::size_t{1} << 22;

// A line-oriented text source: the console or an open catalog file. A carriage
// return before the line feed is not part of the line; a last line without a
// line end counts as a line.
class LineSource {
 public:
  // `description` names the source in reading-error reports, e.g.
  // "console answer" or "catalog file 'ext1.dat'".
  LineSource(std::istream& in, std::string description, bool isFile);
  virtual ~LineSource() = default;

  // Takes the next line; false at the end of the input. A line longer than
  // kLongestLine is a ReadingError, a failure of the stream below (an error
  // of the disk or the network, reported by its buffer as std::ios_base::
  // failure or any other exception) a StreamError: both name the line.
  bool NextLine(std::string& line);
  long LineNumber() const { return lineNumber_; }
  const std::string& Description() const { return description_; }
  bool IsFile() const { return isFile_; }

 private:
  std::istream& in_;
  std::string description_;
  bool isFile_;
  long lineNumber_ = 0;
};

using Target = std::variant<std::int32_t*, float*>;

enum class ReadOutcome { Completed, EndOfFile };

// How far a statement got: the targets it reached (given a value or passed
// over by a null value) and the line of the last of them (0 for none).
struct ReadProgress {
  std::size_t reached = 0;
  long line = 0;
};

// Reads values into the targets in order. With `endOfFileBranch` the end of
// the source before all targets are filled returns EndOfFile (targets filled
// so far keep their new values; `progress` tells a statement cut short from
// one that found no value at all); without it, the end of input is a reading
// error (EndOfInput). A malformed value is always a reading error
// (ReadingError: the source, its line, the offending text and what was
// expected).
ReadOutcome FreeFormatRead(LineSource& source, const std::vector<Target>& targets,
                           bool endOfFileBranch = false, ReadProgress* progress = nullptr);

// Reads the next whole line into a text of fixed length: cut to `length`
// characters or padded with blanks. The end of input is EndOfInput.
void LineRead(LineSource& source, std::string& text, std::size_t length);

// An offending text as a reading error shows it: at most 40 characters
// (then "..."), control and non-ASCII bytes as '?'.
std::string ShownText(std::string_view text);

// A name as messages show it: control characters as '?', nothing cut.
std::string ShownName(std::string_view name);

// Trailing blanks are not part of a file name.
std::string TrimTrailingBlanks(const std::string& text);

}  // namespace qev
