#include "textio/formatter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace qev {
namespace {

// Significant digits a single-precision item carries into a field.
constexpr int kMaxSignificantDigits = 7;

// A finite real as 17 significant decimal digits of its exact stored value:
// value = 0.digits × 10^exponent (for zero: all digits 0).
struct DecimalExpansion {
  bool negative = false;
  char digits[18] = {};
  int exponent = 0;
};

DecimalExpansion Expand(float value) {
  DecimalExpansion d;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.16e", static_cast<double>(value));
  const char* p = buf;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  int n = 0;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') d.digits[n++] = *p;
  }
  d.digits[17] = '\0';
  d.exponent = std::atoi(p + 1) + 1;
  if (value == 0.0f) d.exponent = 0;
  return d;
}

// Cuts the expansion to min(needed, 7) digits, rounding half up on the digit
// string, and returns them with zeros for the positions beyond those kept.
// `needed` may be zero or negative (the value rounds to nothing or one unit).
std::string RoundedDigits(const DecimalExpansion& d, int needed) {
  if (needed < 0) return std::string();
  const int keep = needed < kMaxSignificantDigits ? needed : kMaxSignificantDigits;
  std::int64_t n = 0;
  for (int i = 0; i < keep; ++i) n = n * 10 + (d.digits[i] - '0');
  if (d.digits[keep] >= '5') ++n;
  std::string out = n == 0 ? std::string() : std::to_string(n);
  // Zero-pad on the left to the kept length (a carry may make it one longer).
  if (static_cast<int>(out.size()) < keep && n != 0) out.insert(0, keep - out.size(), '0');
  if (n == 0) out.assign(keep, '0');
  out.append(needed - keep, '0');
  return out;
}

bool AllZeros(const std::string& s) { return s.find_first_not_of('0') == std::string::npos; }

std::string FitField(const std::string& text, int width) {
  if (static_cast<int>(text.size()) > width) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + text;
}

// Non-finite values are written as a text, cut or completed with points.
std::string NonFiniteField(float value, int width) {
  std::string text;
  if (std::isinf(value)) {
    text = "1#INF";
  } else {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (bits == 0xFFC00000u) {
      text = "1#IND";  // the undefined result of an invalid operation
    } else if (bits & 0x00400000u) {
      text = "1#QNAN";
    } else {
      text = "1#SNAN";
    }
  }
  if (static_cast<int>(text.size()) >= width) return text.substr(0, width);
  return text + std::string(width - text.size(), '.');
}

}  // namespace

std::string FormatInteger(std::int32_t value, int width) {
  return FitField(std::to_string(value), width);
}

std::string FormatFixed(float value, int width, int decimals) {
  if (!std::isfinite(value)) return NonFiniteField(value, width);
  const DecimalExpansion d = Expand(value);
  // Digits from the first significant one down to the last decimal place.
  std::string digits = RoundedDigits(d, d.exponent + decimals);
  if (static_cast<int>(digits.size()) < decimals) digits.insert(0, decimals - digits.size(), '0');
  std::string integerPart = digits.substr(0, digits.size() - decimals);
  const std::string fraction = digits.substr(digits.size() - decimals);
  const std::size_t first = integerPart.find_first_not_of('0');
  integerPart = first == std::string::npos ? std::string() : integerPart.substr(first);
  std::string text;
  if (d.negative && !(integerPart.empty() && AllZeros(fraction))) text = "-";
  text += integerPart + "." + fraction;
  return FitField(text, width);
}

std::string FormatExponent(float value, int width, int decimals) {
  if (!std::isfinite(value)) return NonFiniteField(value, width);
  const DecimalExpansion d = Expand(value);
  std::string digits;
  int exponent = 0;
  if (value == 0.0f) {
    digits.assign(decimals, '0');
  } else {
    digits = RoundedDigits(d, decimals);
    exponent = d.exponent;
    if (static_cast<int>(digits.size()) > decimals) {  // a carry: 0.999.. became 1.000..
      digits.pop_back();
      ++exponent;
    }
  }
  std::string text = d.negative && value != 0.0f ? "-." : ".";
  text += digits;
  const int magnitude = exponent < 0 ? -exponent : exponent;
  char expText[16];
  if (magnitude > 99) {
    std::snprintf(expText, sizeof expText, "%c%03d", exponent < 0 ? '-' : '+', magnitude);
  } else {
    std::snprintf(expText, sizeof expText, "E%c%02d", exponent < 0 ? '-' : '+', magnitude);
  }
  text += expText;
  return FitField(text, width);
}

namespace {

// Bounds that no format text of the program comes near (its largest number is
// 80, its longest output 37 records of at most 80 characters).
constexpr int kLargestNumber = 999;
constexpr std::size_t kMostSteps = 100000;
constexpr std::size_t kMostCharacters = 100000;

// Parses and runs a format text over the items. The parser walks the text
// directly; a repeat group is processed by walking its contents n times.
class FormatRun {
 public:
  FormatRun(std::string_view format, const Items& items) : format_(format), items_(items) {}

  std::vector<std::string> Run() {
    std::size_t pos = SkipBlanks(0);
    if (pos >= format_.size() || format_[pos] != '(') Fail("format must start with '('");
    // The closing parenthesis, or a data descriptor without an item left,
    // ends the last record.
    Group(pos + 1);
    records_.push_back(current_);
    return records_;
  }

 private:
  [[noreturn]] void Fail(const char* why) const {
    throw std::logic_error(std::string("bad format text ") + std::string(format_) + ": " + why);
  }

  std::size_t SkipBlanks(std::size_t pos) const {
    while (pos < format_.size() && (format_[pos] == ' ' || format_[pos] == ',')) ++pos;
    return pos;
  }

  // A repeat count, width or number of decimals; the program's are all below
  // 100, so anything beyond kLargestNumber is a broken format text.
  int Number(std::size_t& pos) const {
    int n = 0;
    bool any = false;
    while (pos < format_.size() && format_[pos] >= '0' && format_[pos] <= '9') {
      n = n * 10 + (format_[pos++] - '0');
      if (n > kLargestNumber) Fail("number too large");
      any = true;
    }
    return any ? n : -1;
  }

  // Nested repeat groups multiply: a broken format text must not run for ever
  // or fill the memory.
  void Spend() {
    if (++steps_ > kMostSteps) Fail("too many descriptors to process");
    if (finishedCharacters_ + current_.size() > kMostCharacters) Fail("output too long");
  }

  // Processes descriptors from `pos` up to the matching ')'. Returns the
  // position after it, or npos when output stopped for want of an item.
  std::size_t Group(std::size_t pos) {
    for (;;) {
      Spend();
      pos = SkipBlanks(pos);
      if (pos >= format_.size()) Fail("missing ')'");
      const char c = format_[pos];
      if (c == ')') return pos + 1;
      if (c == '\'') {
        pos = Literal(pos);
      } else if (c == '/') {
        EndRecord();
        ++pos;
      } else {
        pos = Descriptor(pos);
        if (pos == std::string_view::npos) return pos;
      }
    }
  }

  // A quoted text, copied as it is; returns the position after its quote.
  std::size_t Literal(std::size_t pos) {
    const std::size_t close = format_.find('\'', pos + 1);
    if (close == std::string_view::npos) Fail("unterminated literal");
    current_.append(format_.substr(pos + 1, close - pos - 1));
    return close + 1;
  }

  void EndRecord() {
    finishedCharacters_ += current_.size();
    records_.push_back(current_);
    current_.clear();
  }

  // A repeated group n(...), nX, or a data descriptor with its repeat count,
  // width and decimals; returns the position after it, or npos when output
  // stopped for want of an item.
  std::size_t Descriptor(std::size_t pos) {
    const int count = Number(pos);
    if (pos >= format_.size()) Fail("descriptor expected");
    const char d = static_cast<char>(format_[pos] & ~0x20);  // upper case
    if (format_[pos] == '(') {
      if (count <= 0) Fail("repeat count expected");
      std::size_t after = 0;
      for (int i = 0; i < count && after != std::string_view::npos; ++i) after = Group(pos + 1);
      return after;
    }
    if (d == 'X') {
      current_.append(count > 0 ? count : 1, ' ');
      return pos + 1;
    }
    ++pos;
    const int width = Number(pos);
    int decimals = -1;
    if (pos < format_.size() && format_[pos] == '.') {
      ++pos;
      decimals = Number(pos);
    }
    const int repeat = count > 0 ? count : 1;
    for (int r = 0; r < repeat; ++r) {
      if (next_ >= items_.size()) return std::string_view::npos;
      Field(d, width, decimals, items_[next_++]);
    }
    return pos;
  }

  void Field(char d, int width, int decimals, const Item& item) {
    switch (d) {
      case 'I': {
        if (width <= 0) Fail("I needs a width");
        const auto* integer = std::get_if<std::int32_t>(&item);
        if (integer == nullptr) Fail("I needs an integer item");
        current_ += FormatInteger(*integer, width);
        return;
      }
      case 'F':
      case 'E': {
        if (width <= 0 || decimals < 0) Fail("F and E need w.d");
        if (std::holds_alternative<std::string>(item)) Fail("F and E need a number item");
        const float v = std::holds_alternative<float>(item)
                            ? std::get<float>(item)
                            : static_cast<float>(std::get<std::int32_t>(item));
        current_ += d == 'F' ? FormatFixed(v, width, decimals) : FormatExponent(v, width, decimals);
        return;
      }
      case 'A': {
        const auto* textItem = std::get_if<std::string>(&item);
        if (textItem == nullptr) Fail("A needs a text item");
        const std::string& text = *textItem;
        if (width < 0 || width == static_cast<int>(text.size())) {
          current_ += text;
        } else if (width > static_cast<int>(text.size())) {
          current_.append(width - text.size(), ' ');
          current_ += text;
        } else {
          current_.append(text, 0, width);
        }
        return;
      }
      default:
        Fail("unknown descriptor");
    }
  }

  std::string_view format_;
  const Items& items_;
  std::size_t next_ = 0;
  std::vector<std::string> records_;
  std::string current_;
  std::size_t steps_ = 0;
  std::size_t finishedCharacters_ = 0;
};

}  // namespace

std::vector<std::string> FormatText(std::string_view format, const Items& items) {
  return FormatRun(format, items).Run();
}

std::string ListRecord(const Items& items) {
  if (items.empty()) return std::string();  // an empty record
  std::string record = " ";
  bool previousWasNumber = false;
  for (const Item& item : items) {
    if (const auto* text = std::get_if<std::string>(&item)) {
      record += *text;
      previousWasNumber = false;
      continue;
    }
    if (previousWasNumber) record += ' ';
    if (const auto* n = std::get_if<std::int32_t>(&item)) {
      record += FormatInteger(*n, 11);
    } else {
      record += FormatExponent(std::get<float>(item), 15, 7);
    }
    previousWasNumber = true;
  }
  return record;
}

}  // namespace qev
