#include "textio/reader.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "qev/errors.h"

namespace qev {

LineSource::LineSource(std::istream& in, std::string description, bool isFile)
    : in_(in), description_(std::move(description)), isFile_(isFile) {}

bool LineSource::NextLine(std::string& line) {
  line.clear();
  if (!in_.good()) return false;
  // Character by character from the buffer, so that a line without end stops
  // at its cap and a failing buffer is told from the end of the input.
  std::streambuf& buffer = *in_.rdbuf();
  bool any = false;
  try {
    for (;;) {
      const int c = buffer.sbumpc();
      if (c == std::char_traits<char>::eof()) {
        in_.setstate(any ? std::ios::eofbit : std::ios::eofbit | std::ios::failbit);
        if (!any) return false;
        break;
      }
      any = true;
      if (c == '\n') break;
      if (line.size() == kLongestLine) {
        throw ReadingError(description_, lineNumber_ + 1,
                           "a line of more than " + std::to_string(kLongestLine) + " characters",
                           "at most " + std::to_string(kLongestLine) + " characters on a line");
      }
      line.push_back(static_cast<char>(c));
    }
  } catch (const ReadingError&) {
    in_.setstate(std::ios::badbit);
    throw;
  } catch (const std::ios_base::failure& failure) {
    in_.setstate(std::ios::badbit);
    throw StreamError(description_, lineNumber_ + 1, failure.code().message());
  } catch (const std::exception& failure) {
    in_.setstate(std::ios::badbit);
    throw StreamError(description_, lineNumber_ + 1, failure.what());
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  ++lineNumber_;
  return true;
}

std::string TrimTrailingBlanks(const std::string& text) {
  const std::size_t last = text.find_last_not_of(' ');
  return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

std::string ShownName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) c = '?';
  }
  return out;
}

std::string ShownText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < 40; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
  }
  if (text.size() > 40) out += "...";
  return out;
}

namespace {

[[noreturn]] void MalformedValue(const LineSource& source, std::string_view text,
                                 const char* expected) {
  throw ReadingError(source.Description(), source.LineNumber(), "\"" + ShownText(text) + "\"",
                     expected);
}

[[noreturn]] void InputEnds(const LineSource& source, const char* expected) {
  throw EndOfInput(source.Description(), source.LineNumber(), expected);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Optional sign and decimal digits, within the 32-bit range.
bool ParseInteger(std::string_view text, std::int32_t& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return false;
  out = static_cast<std::int32_t>(value);
  return true;
}

// The exponent of a real from `i` (E or D, optional sign, digits) to the
// end of the text, appended to `normal` in C's form; false if malformed.
bool AppendExponent(std::string_view text, std::size_t i, std::string& normal) {
  const char e = text[i];
  if (e != 'e' && e != 'E' && e != 'd' && e != 'D') return false;
  normal += 'e';
  ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    normal += text[i];
  }
  return true;
}

// Optional sign, digits with an optional decimal point, an optional exponent
// (E or D, optional sign, digits); finite and within single precision.
bool ParseReal(std::string_view text, float& out) {
  std::size_t i = 0;
  std::string normal;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
  bool digits = false;
  bool point = false;
  for (; i < text.size() && (IsDigit(text[i]) || (text[i] == '.' && !point)); ++i) {
    digits = digits || IsDigit(text[i]);
    point = point || text[i] == '.';
    normal += text[i];
  }
  if (!digits) return false;
  if (i < text.size() && !AppendExponent(text, i, normal)) return false;
  errno = 0;
  const float value = std::strtof(normal.c_str(), nullptr);
  if (!std::isfinite(value)) return false;
  if (errno == ERANGE && value != 0.0f && std::fabs(value) >= 1.0f) return false;
  out = value;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The characters of one read statement: the lines of its source, each line end
// counting as a blank.
class StatementInput {
 public:
  explicit StatementInput(LineSource& source) : source_(source) {}

  // Starts the statement at the beginning of the next line.
  bool Start() { return Fetch(); }

  // Skips blanks and line ends; false at the end of the source.
  bool SkipBlanks() {
    for (;;) {
      while (pos_ < line_.size() && IsBlank(line_[pos_])) ++pos_;
      if (pos_ < line_.size()) return true;
      if (!Fetch()) return false;
    }
  }

  char Peek() const { return line_[pos_]; }
  void Advance() { ++pos_; }

  std::string_view Token() {
    const std::size_t begin = pos_;
    while (pos_ < line_.size() && !IsBlank(line_[pos_]) && line_[pos_] != ',' && line_[pos_] != '/')
      ++pos_;
    return std::string_view(line_).substr(begin, pos_ - begin);
  }

 private:
  bool Fetch() {
    pos_ = 0;
    return source_.NextLine(line_);
  }

  LineSource& source_;
  std::string line_;
  std::size_t pos_ = 0;
};

void Assign(const LineSource& source, const Target& target, std::string_view text) {
  if (auto* const* integer = std::get_if<std::int32_t*>(&target)) {
    if (!ParseInteger(text, **integer)) MalformedValue(source, text, "an integer");
  } else {
    if (!ParseReal(text, *std::get<float*>(target))) MalformedValue(source, text, "a real number");
  }
}

const char* Expected(const Target& target) {
  return std::holds_alternative<std::int32_t*>(target) ? "an integer" : "a real number";
}

}  // namespace

namespace {

// One list-directed read statement over its targets, value by value.
class ListRead {
 public:
  ListRead(LineSource& source, const std::vector<Target>& targets, bool endOfFileBranch,
           ReadProgress& reached)
      : source_(source),
        input_(source),
        targets_(targets),
        endOfFileBranch_(endOfFileBranch),
        reached_(reached) {}

  ReadOutcome Run() {
    if (targets_.empty()) {
      if (!input_.Start() && !endOfFileBranch_) InputEnds(source_, "a line");
      return ReadOutcome::Completed;
    }
    if (!input_.Start()) return AtEnd();
    bool lastWasValue = false;
    while (next_ < targets_.size()) {
      if (!input_.SkipBlanks()) return AtEnd();
      const char c = input_.Peek();
      if (c == '/') return ReadOutcome::Completed;  // the rest stays unchanged
      if (c == ',') {
        input_.Advance();
        if (!lastWasValue) Passed();  // a null value leaves its target unchanged
        lastWasValue = false;
        continue;
      }
      Value(input_.Token());
      lastWasValue = true;
    }
    return ReadOutcome::Completed;
  }

 private:
  // v, r*v (r copies of v) or r* (r null values).
  void Value(std::string_view token) {
    const std::size_t star = token.find('*');
    if (star == std::string_view::npos) {
      Assign(source_, targets_[next_], token);
      Passed();
      return;
    }
    std::int32_t repeat = 0;
    if (!ParseInteger(token.substr(0, star), repeat) || repeat <= 0 || token[0] == '+' ||
        token[0] == '-') {
      MalformedValue(source_, token, "a repeat count before '*'");
    }
    const std::string_view value = token.substr(star + 1);
    for (std::int32_t r = 0; r < repeat && next_ < targets_.size(); ++r) {
      if (!value.empty()) Assign(source_, targets_[next_], value);
      Passed();
    }
  }

  void Passed() {
    ++next_;
    reached_.reached = next_;
    reached_.line = source_.LineNumber();
  }

  ReadOutcome AtEnd() {
    if (endOfFileBranch_) return ReadOutcome::EndOfFile;
    InputEnds(source_, Expected(targets_[next_]));
  }

  LineSource& source_;
  StatementInput input_;
  const std::vector<Target>& targets_;
  bool endOfFileBranch_;
  ReadProgress& reached_;
  std::size_t next_ = 0;
};

}  // namespace

ReadOutcome FreeFormatRead(LineSource& source, const std::vector<Target>& targets,
                           bool endOfFileBranch, ReadProgress* progress) {
  ReadProgress ignored;
  ReadProgress& reached = progress != nullptr ? *progress : ignored;
  reached = ReadProgress{};
  return ListRead(source, targets, endOfFileBranch, reached).Run();
}

void LineRead(LineSource& source, std::string& text, std::size_t length) {
  std::string line;
  if (!source.NextLine(line)) InputEnds(source, "a line of text");
  if (line.size() > length) line.resize(length);
  line.append(length - line.size(), ' ');
  text = std::move(line);
}

}  // namespace qev
