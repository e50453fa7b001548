// The event readers: the good rows in every layout with the fields they must
// give and the bad inputs with the message each must give (both tables in
// data/reader_cases.tsv), skipping and counting, and the real catalog export.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "events/error_text.h"
#include "harness/harness.h"
#include "qev/event_selection.h"
#include "qev/events.h"
#include "qev/prepare.h"

namespace qev {
namespace {

// Coordinates are read to double precision from short decimals.
constexpr double kCoordinateTolerance = 1e-9;

using testing::Unescape;

// The cases of the readers, "good" and "bad" ones.
const std::string kCases = QEV_GOLDEN_DIR "/../events/data/reader_cases.tsv";

ReadResult ReadText(const std::string& format, std::string_view text, const ReadOptions& options) {
  if (format == "csv") return ReadCsvText(text, "t.csv", options);
  if (format == "zmap") return ReadZmapText(text, "t.dat", options);
  if (format == "toml") ParsePrepareToml(text, "job.toml", ".");
  if (format == "geojson") ZoneFromGeoJson(text, "z");
  if (format == "wkt") ZoneFromWkt(text, "z");
  if (format != "quakeml") return {};
  return ReadQuakeMlText(text, "t.xml", options);
}

TEST(EventReaders, GoodRowsGiveEveryField) {
  for (const auto& c : testing::TableRows(kCases, "good")) {
    SCOPED_TRACE(c[1]);
    ReadOptions options;
    options.default_sd = 0.15f;
    std::istringstream columns(c[3] == "-" ? "" : c[3]);
    for (std::string pair; std::getline(columns, pair, ';');) {
      options.columns[pair.substr(0, pair.find('='))] = pair.substr(pair.find('=') + 1);
    }
    const ReadResult r = ReadText(c[2], Unescape(c[5]), options);
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.summary.skipped_total(), 0u);
    const EventTable::Row e = r.events.row(0);
    // Floats read from the decimal text: the single-precision values, exactly.
    std::istringstream want(c[4]);
    CivilDate date;
    int hour = 0, minute = 0;
    float second = 0, magnitude = 0, sd = 0;
    double longitude = 0, latitude = 0;
    std::string depthText, type, id;
    want >> date.year >> date.month >> date.day >> hour >> minute >> second >> longitude >>
        latitude >> depthText >> magnitude >> sd >> type >> std::ws;
    std::getline(want, id);
    const float depth = std::stof(depthText);
    EXPECT_EQ(e.date, date);
    EXPECT_EQ(e.hour, hour);
    EXPECT_EQ(e.minute, minute);
    EXPECT_FLOAT_EQ(e.second, second);
    EXPECT_NEAR(e.longitude, longitude, kCoordinateTolerance);
    EXPECT_NEAR(e.latitude, latitude, kCoordinateTolerance);
    EXPECT_EQ(std::isnan(e.depth), std::isnan(depth));
    if (!std::isnan(depth)) {
      EXPECT_FLOAT_EQ(e.depth, depth);
    }
    EXPECT_EQ(e.magnitude, magnitude);
    EXPECT_EQ(e.sd, sd);
    EXPECT_EQ(e.magnitude_type, type == "-" ? "" : type);
    EXPECT_EQ(e.id, id);
  }
}

TEST(EventReaders, BadInputStopsWithTheFileLineColumnAndText) {
  for (const auto& c : testing::TableRows(kCases, "bad")) {
    SCOPED_TRACE(c[1]);
    ReadOptions options;
    if (c[1] != "no SD and no default") options.default_sd = 0.1f;
    events_testing::ExpectErrorWith(
        Unescape(c[3]), [&] { ReadText(c[2], Unescape(c.size() > 4 ? c[4] : ""), options); });
  }
}

// The whole message as the tools print it: nothing read shows as "".
TEST(EventReaders, MessagesShowNothingReadAsEmptyQuotes) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "t.csv, line 1: read \"\", expected a header row"},
      {"time,lat,lon,mag,magError\n2020-01-01,1,2,5,\n",
       "t.csv, line 2: read \"\", expected in column 'magError' the magnitude's SD"}};
  for (const auto& [text, message] : cases) {
    try {
      ReadCsvText(text, "t.csv", ReadOptions{});
      ADD_FAILURE() << "no error: " << message;
    } catch (const ReadingError& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
    }
  }
}

TEST(EventReaders, SkippedRowsAreCountedByReasonAndTheRestKept) {
  const std::vector<std::string> c = testing::TableRows(kCases, "skip").at(0);
  ReadOptions options;
  options.skip_bad_rows = true;
  options.default_sd = 0.2f;
  const ReadResult r = ReadText(c[2], Unescape(c[3]), options);
  EXPECT_EQ(r.summary.rows_read, 6u);
  ASSERT_EQ(r.events.size(), 2u);
  EXPECT_EQ(r.events.sd[1], 0.2f);
  EXPECT_EQ(r.summary.sd_defaulted, 1u);
  std::map<std::string, std::size_t> reasons;
  for (const auto& s : r.summary.skipped) reasons[s.reason] = s.count;
  const std::map<std::string, std::size_t> expected = {{"impossible date", 2},
                                                       {"latitude outside -90..90", 1},
                                                       {"not an earthquake (quarry blast)", 1}};
  EXPECT_EQ(reasons, expected);
  const std::string& first = r.summary.skipped.front().first;  // the first skipped row's message
  EXPECT_NE(first.find("t.csv, line 3"), std::string::npos) << first;
  EXPECT_NE(first.find("expected in column 'time' a date that exists"), std::string::npos);
}

// The extract of the agency's global export shipped in examples/ (every
// eighth row, the rows without magError and the volcanic eruption): every row
// reads but the eruption, and the empty magError rows take the default SD.
// The counts were taken from the file with Python's csv module.
TEST(EventReaders, RealExportReadsWithOnlyTheEruptionSkipped) {
  const std::string path = QEV_EXAMPLES_DIR "/usgs_global_m5_2022_2024_extract.csv";
  ReadOptions options;
  options.default_sd = 0.1f;
  const ReadResult r = ReadEventFile(path, options);
  EXPECT_EQ(r.summary.format, EventFormat::Csv);
  EXPECT_EQ(r.summary.rows_read, 548u);
  EXPECT_EQ(r.events.size(), 547u);
  ASSERT_EQ(r.summary.skipped.size(), 1u);
  EXPECT_EQ(r.summary.skipped[0].reason, "not an earthquake (volcanic eruption)");
  EXPECT_EQ(r.summary.sd_defaulted, 33u);
  std::map<std::string, std::size_t> types;
  for (std::size_t i = 0; i < r.events.size(); ++i) ++types[r.events.type_name(i)];
  EXPECT_EQ(types["mww"], 336u);
  EXPECT_EQ(types["mb"], 191u);
}

// A column is the event type only when all its values are event types: the
// events it would skip are kept (and a note says so) when any value is not
// one; a role mapped to no name has no column.
TEST(EventReaders, ATypeColumnCountsOnlyWhenItHoldsEventTypes) {
  const std::string header = "time,latitude,longitude,mag,magError,type\n";
  const auto row = [](int day, const char* type) {
    return "2020-01-" + std::to_string(10 + day) + "T00:00:00Z,1,2,5.0,0.1," + type + "\n";
  };
  const struct {
    const char* what;
    std::string text;
    std::map<std::string, std::string> columns;
    std::size_t kept, skipped;
    const char* note;
  } cases[] = {
      {"event types, any case",
       header + row(1, "Quarry Blast") + row(2, "earthquake") + row(3, "") + row(4, "explosion"),
       {},
       2,
       2,
       nullptr},
      {"mechanism types after event types",
       header + row(1, "explosion") + row(2, "bdc") + row(3, "bb"),
       {},
       3,
       0,
       "column 'type' is not an event type (line 3 holds 'bdc'): not used; every row read as "
       "an earthquake"},
      {"role switched off",
       header + row(1, "explosion") + row(2, "earthquake"),
       {{"type", ""}},
       2,
       0,
       nullptr},
  };
  for (const auto& c : cases) {
    ReadOptions options;
    options.columns = c.columns;
    const ReadResult r = ReadCsvText(c.text, "t.csv", options);
    EXPECT_EQ(r.events.size(), c.kept) << c.what;
    EXPECT_EQ(r.summary.skipped_total(), c.skipped) << c.what;
    EXPECT_EQ(r.summary.notes,
              c.note ? std::vector<std::string>{c.note} : std::vector<std::string>{})
        << c.what;
  }
  // A row held for its event type that is bad becomes a bad row once the
  // column proves to be no event type.
  ReadOptions strict;
  const std::string broken = header + "2020-01-11T00:00:00Z,1,2,x,0.1,explosion\n" + row(2, "bdc");
  EXPECT_THROW(ReadCsvText(broken, "t.csv", strict), ReadingError);
  EXPECT_EQ(
      ReadCsvText(header + "2020-01-11T00:00:00Z,1,2,x,0.1,explosion\n" + row(2, "earthquake"),
                  "t.csv", strict)
          .summary.skipped_total(),
      1u);
}

TEST(EventReaders, ImpossibleDatesAndTheirCalendars) {
  const std::pair<CivilDate, bool> dates[] = {
      {{1500, 2, 29}, true},  {{1700, 2, 29}, false}, {{2000, 2, 29}, true},
      {{2023, 2, 29}, false}, {{2023, 4, 31}, false}, {{2023, 0, 5}, false},
      {{2023, 0, 0}, true},   {{0, 1, 1}, false},     {{-44, 3, 15}, true}};
  for (const auto& [date, valid] : dates) {
    EXPECT_EQ(IsValidDate(date), valid) << FormatDate(date);
  }
  // Unknown parts take the middle of the year or month on the time axis.
  EXPECT_EQ(DayNumber({2001, 0, 0}), DayNumber({2001, 7, 1}));
  EXPECT_EQ(DayNumber({2001, 3, 0}), DayNumber({2001, 3, 15}));
  EXPECT_EQ(DayNumber({1970, 1, 2}, 43200.0), 1.5);
  // Bounds given as a year or a month, and the day before.
  EXPECT_EQ(LastDayOf({1900, 2, 0}), (CivilDate{1900, 2, 28}));
  EXPECT_EQ(FirstDayOf({1900, 0, 0}), (CivilDate{1900, 1, 1}));
  EXPECT_EQ(PreviousDay({2024, 3, 1}), (CivilDate{2024, 2, 29}));
  EXPECT_EQ(PreviousDay({1, 1, 1}), (CivilDate{-1, 12, 31}));
}

}  // namespace
}  // namespace qev
