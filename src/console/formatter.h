// Edit-descriptor formatting of report and screen records.
//
// A format text such as "('  Beta   = ',F6.3,'  (b = ',F6.3,')')" is parsed
// when the statement runs and turned into one or more records. The grammar of
// the descriptors is written down in docs/formats.md.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qev {

// One item of an output list: a text of fixed length (trailing blanks are
// part of it), a 32-bit integer or a single-precision real.
using Item = std::variant<std::string, std::int32_t, float>;
using Items = std::vector<Item>;

// Builds the records of one formatted write. Literals and blanks before a
// data descriptor that finds no item left are written; output stops there.
std::vector<std::string> FormatText(std::string_view format, const Items& items);

// Builds the list record of a list-directed write: a leading blank, texts
// appended unchanged, integers right-justified in 11 columns (with one more
// separating blank after a number).
std::string ListRecord(const Items& items);

// Single fields, exposed for tests and tools.
std::string FormatInteger(std::int32_t value, int width);          // Iw
std::string FormatFixed(float value, int width, int decimals);     // Fw.d
std::string FormatExponent(float value, int width, int decimals);  // Ew.d

}  // namespace qev
