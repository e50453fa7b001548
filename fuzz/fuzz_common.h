// What every harness shares: the stop on a broken invariant, the checks of an
// error report, the checks of a table of events, and the classic catalog
// files written back as text.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "estimation/decoded_catalog.h"
#include "qev/classic_files.h"
#include "qev/errors.h"
#include "qev/events.h"

namespace fuzz {

// Stops the run with a message that libFuzzer records as a crash.
[[noreturn]] inline void Broken(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  if (!detail.empty()) {
    const std::size_t tail = detail.size() > 2000 ? detail.size() - 2000 : 0;
    std::fprintf(stderr, "%s\n", detail.substr(tail).c_str());
  }
  std::abort();
}

inline void CheckPrintable(std::string_view text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u >= 127) Broken("an error message must show only printable characters");
  }
}

// The library's messages show the text read with every control character (a
// NUL among them, which would cut the message short) as '?'; other bytes,
// such as the UTF-8 of a name, stay as they are.
inline void CheckNoControlCharacters(std::string_view text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) Broken("an error message must show no control characters");
  }
}

// A classic catalog file's reading error names the source, a line that was
// read, the text and what was expected; a catalog error names its place.
inline void CheckFileError(const qev::ReadingError& error) {
  if (error.source() != "fuzz.dat") Broken("a reading error names its source");
  if (error.expected().empty()) Broken("a reading error says what was expected");
  const bool atEnd = dynamic_cast<const qev::EndOfInput*>(&error) != nullptr;
  if (!atEnd && (error.line() < 1 || error.text().empty()))
    Broken("a reading error names the line and text");
  CheckPrintable(error.what());
}

// The layout chosen by the first byte ('1', '2', '3'; any other byte one of them).
template <typename Layout>
Layout LayoutOf(std::uint8_t byte) {
  return static_cast<Layout>(1 + static_cast<std::uint8_t>(byte - '1') % 3);
}

inline std::string Real(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

inline std::string Date(const qev::ClassicDate& date) {
  return Real(date.year) + " " + Real(date.month) + " " + Real(date.day);
}

// The same bits (so a NaN equals itself and 0 differs from -0).
inline bool Same(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// Reads a classic catalog file from the fuzzer's bytes, the first byte
// choosing the layout: a part, or nothing after checking the typed error (a
// catalog error names its line or event, a reading error CheckFileError's
// parts). A part the reader accepts must be one the engine accepts.
template <typename File, typename Layout, typename Read, typename Place, typename Store>
std::optional<File> ReadClassicFile(const std::uint8_t* data, std::size_t size, Layout& layout,
                                    Read read, Place place, Store store, qev::DataKind kind) {
  if (size == 0) return std::nullopt;
  layout = LayoutOf<Layout>(data[0]);
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  File file;
  try {
    file = read(in, "fuzz.dat", layout, qev::kAnyMagnitude);
  } catch (const qev::CatalogError& error) {
    if (error.source() != "fuzz.dat" || place(error) < 1) Broken("a catalog error names its place");
    CheckPrintable(error.what());
    return std::nullopt;
  } catch (const qev::ReadingError& error) {
    CheckFileError(error);
    return std::nullopt;
  }
  qev::Catalog catalog;
  store(catalog, file);
  try {
    qev::Decode(catalog, kind);
  } catch (const qev::CatalogError&) {
    Broken("a part the reader accepts must be one the engine accepts");
  }
  return file;
}

// A read of events either gives a table whose columns agree and whose values
// keep the readers' promises, with every row counted once, or throws one of
// the library's errors. The first byte picks skipping of bad rows, a default
// SD and a column mapping; the rest is the text.
template <typename Reader>
int ReadEvents(const std::uint8_t* data, std::size_t size, Reader read) {
  if (size == 0) return 0;
  qev::ReadOptions options;
  options.skip_bad_rows = (data[0] & 1) != 0;
  if ((data[0] & 2) != 0) options.default_sd = 0.1f;
  if ((data[0] & 4) != 0) options.columns["magnitude"] = "Mw";
  qev::ReadResult r;
  try {
    r = read(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), options);
  } catch (const qev::Error&) {
    return 0;
  }
  const qev::EventTable& e = r.events;
  const std::size_t n = e.size();
  if (e.year.size() != n || e.month.size() != n || e.day.size() != n || e.second.size() != n ||
      e.longitude.size() != n || e.latitude.size() != n || e.depth.size() != n ||
      e.sd.size() != n || e.magnitude_type.size() != n || e.id_end.size() != n) {
    Broken("columns of different lengths");
  }
  if (n + r.summary.skipped_total() != r.summary.rows_read) Broken("rows lost or counted twice");
  for (std::size_t i = 0; i < n; ++i) {
    if (!qev::IsValidDate(e.date(i))) Broken("an impossible date kept");
    if (!std::isfinite(e.magnitude[i]) || !(e.sd[i] >= 0.0f)) Broken("a bad magnitude or SD kept");
    if (!(e.latitude[i] >= -90.0 && e.latitude[i] <= 90.0)) Broken("a latitude beyond 90 kept");
    if (e.magnitude_type[i] >= e.magnitude_types.size()) Broken("a magnitude type out of range");
    (void)e.id(i);
  }
  return 0;
}

}  // namespace fuzz
