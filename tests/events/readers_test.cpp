// The event readers: one table of good rows in every layout with the fields
// they must give, one table of bad inputs with the message each must give,
// skipping and counting, and the real catalog export.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "events/error_text.h"
#include "qev/events.h"

namespace qev {
namespace {

struct GoodRow {
  const char* what;
  EventFormat format;
  const char* text;
  std::map<std::string, std::string> columns;
  // The first event kept.
  CivilDate date;
  int hour, minute;
  float second;
  double longitude, latitude;
  float depth;  // NaN: not given
  float magnitude, sd;
  const char* type;
  const char* id;
};

constexpr float kNoDepth = NAN;
// Coordinates are read to double precision from short decimals.
constexpr double kCoordinateTolerance = 1e-9;

const GoodRow kGoodRows[] = {
    {"hazard toolkit columns",
     EventFormat::Csv,
     "eventID,year,month,day,hour,minute,second,longitude,latitude,depth,magnitude,sigmaMagnitude\n"
     "EV1,1905,4,4,0,9,58.5,75.0,33.0,15,7.8,0.3\n",
     {},
     {1905, 4, 4},
     0,
     9,
     58.5f,
     75.0,
     33.0,
     15.0f,
     7.8f,
     0.3f,
     "",
     "EV1"},
    {"agency export: byte-order mark, other order, quoted place with commas",
     EventFormat::Csv,
     "\xEF\xBB\xBFtime,latitude,longitude,depth,mag,magType,id,place,type,magError\r\n"
     "2024-05-16T06:31:36.891Z,-3.8229,151.5088,10,5.4,mww,us6000mywx,"
     "\"83 km WNW of Rabaul, Papua New Guinea\",earthquake,0.086\r\n",
     {},
     {2024, 5, 16},
     6,
     31,
     36.891f,
     151.5088,
     -3.8229,
     10.0f,
     5.4f,
     0.086f,
     "mww",
     "us6000mywx"},
    {"historical: unknown month and day, no time, no depth",
     EventFormat::Csv,
     "eventID,year,month,day,hour,minute,second,longitude,latitude,depth,magnitude,sigmaMagnitude\n"
     "H1,1200,0,0,,,,12.5,41.9,,6.1,0.5\n",
     {},
     {1200, 0, 0},
     0,
     0,
     0.0f,
     12.5,
     41.9,
     kNoDepth,
     6.1f,
     0.5f,
     "",
     "H1"},
    {"29 February 1500 exists in the Julian calendar",
     EventFormat::Csv,
     "year,month,day,lon,lat,mag,sigmaMagnitude\n1500,2,29,10,45,5.5,0.4\n",
     {},
     {1500, 2, 29},
     0,
     0,
     0.0f,
     10.0,
     45.0,
     kNoDepth,
     5.5f,
     0.4f,
     "",
     ""},
    {"column mapping, semicolons, doubled quotes",
     EventFormat::Csv,
     "name;year;lat;lon;Mw;unc\n\"the \"\"big\"\" one\";1857;35.7;-120.3;7.9;0.25\n",
     {{"magnitude", "Mw"}, {"sd", "unc"}, {"id", "name"}},
     {1857, 0, 0},
     0,
     0,
     0.0f,
     -120.3,
     35.7,
     kNoDepth,
     7.9f,
     0.25f,
     "",
     "the \"big\" one"},
    {"time zone offset moves the date back across a leap day",
     EventFormat::Csv,
     "time,latitude,longitude,mag,magError\n2020-03-01T01:00:00+02:00,1,2,5.0,0.1\n",
     {},
     {2020, 2, 29},
     23,
     0,
     0.0f,
     2.0,
     1.0,
     kNoDepth,
     5.0f,
     0.1f,
     "",
     ""},
    {"empty SD takes the default",
     EventFormat::Csv,
     "time,latitude,longitude,mag,magError\n2021-01-02T03:04:05Z,1,2,5.0,\n",
     {},
     {2021, 1, 2},
     3,
     4,
     5.0f,
     2.0,
     1.0,
     kNoDepth,
     5.0f,
     0.15f,
     "",
     ""},
    {"ZMAP with year, month, day and seconds",
     EventFormat::Zmap,
     "  12.5 41.9 1995 7 2 4.5 10 13 45 12.5\n",
     {},
     {1995, 7, 2},
     13,
     45,
     12.5f,
     12.5,
     41.9,
     10.0f,
     4.5f,
     0.15f,
     "",
     ""},
    {"ZMAP decimal year alone: noon of 2 July 2001",
     EventFormat::Zmap,
     "# comment\n12.5\t41.9\t2001.5\t0\t0\t4.5\t10\t0\t0\n",
     {},
     {2001, 7, 2},
     12,
     0,
     0.0f,
     12.5,
     41.9,
     10.0f,
     4.5f,
     0.15f,
     "",
     ""},
    {"QuakeML: preferred origin and magnitude, depth in metres",
     EventFormat::QuakeMl,
     R"(<?xml version="1.0"?>
<q:quakeml xmlns:q="http://quakeml.org/xmlns/quakeml/1.2" xmlns="http://quakeml.org/xmlns/bed/1.2">
 <eventParameters publicID="smi:x/p">
  <event publicID="smi:x/e1">
   <preferredOriginID>smi:x/o2</preferredOriginID>
   <preferredMagnitudeID>smi:x/m2</preferredMagnitudeID>
   <type>earthquake</type>
   <origin publicID="smi:x/o1"><time><value>2000-01-01T00:00:00Z</value></time>
     <latitude><value>1</value></latitude><longitude><value>1</value></longitude></origin>
   <origin publicID="smi:x/o2"><time><value>2011-03-11T05:46:24.12Z</value></time>
     <latitude><value>38.297</value></latitude><longitude><value>142.373</value></longitude>
     <depth><value>29000</value></depth></origin>
   <magnitude publicID="smi:x/m1"><mag><value>8.9</value></mag><type>mw</type></magnitude>
   <magnitude publicID="smi:x/m2"><mag><value>9.1</value><uncertainty>0.1</uncertainty></mag>
     <type>mww</type></magnitude>
  </event>
 </eventParameters>
</q:quakeml>)",
     {},
     {2011, 3, 11},
     5,
     46,
     24.12f,
     142.373,
     38.297,
     29.0f,
     9.1f,
     0.1f,
     "mww",
     "smi:x/e1"},
};

ReadResult ReadText(EventFormat format, std::string_view text, const ReadOptions& options) {
  switch (format) {
    case EventFormat::Csv:
      return ReadCsvText(text, "t.csv", options);
    case EventFormat::Zmap:
      return ReadZmapText(text, "t.dat", options);
    case EventFormat::QuakeMl:
      break;
  }
  return ReadQuakeMlText(text, "t.xml", options);
}

TEST(EventReaders, GoodRowsGiveEveryField) {
  for (const GoodRow& c : kGoodRows) {
    SCOPED_TRACE(c.what);
    ReadOptions options;
    options.default_sd = 0.15f;
    options.columns = c.columns;
    const ReadResult r = ReadText(c.format, c.text, options);
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.summary.skipped_total(), 0u);
    const EventTable::Row e = r.events.row(0);
    EXPECT_EQ(e.date, c.date);
    EXPECT_EQ(e.hour, c.hour);
    EXPECT_EQ(e.minute, c.minute);
    EXPECT_FLOAT_EQ(e.second, c.second);
    EXPECT_NEAR(e.longitude, c.longitude, kCoordinateTolerance);
    EXPECT_NEAR(e.latitude, c.latitude, kCoordinateTolerance);
    if (std::isnan(c.depth)) {
      EXPECT_TRUE(std::isnan(e.depth));
    } else {
      EXPECT_FLOAT_EQ(e.depth, c.depth);
    }
    EXPECT_EQ(e.magnitude, c.magnitude);  // the single-precision value of the text, exactly
    EXPECT_EQ(e.sd, c.sd);
    EXPECT_EQ(e.magnitude_type, c.type);
    EXPECT_EQ(e.id, c.id);
  }
}

struct BadInput {
  const char* what;
  EventFormat format;
  const char* text;
  const char* message;  // a part of the error message
};

const BadInput kBadInputs[] = {
    {"no magnitude column", EventFormat::Csv, "year,lon,lat,sd\n1900,1,2,0.1\n",
     "t.csv, line 1: read \"year,lon,lat,sd\", expected a column for the magnitude"},
    {"two magnitude columns", EventFormat::Csv, "year,lon,lat,mag,magnitude\n",
     "expected one column for the magnitude, not both 'mag' and 'magnitude'"},
    {"no time column", EventFormat::Csv, "lon,lat,mag\n", "a column 'time' (ISO 8601)"},
    {"decimal comma splits the field", EventFormat::Csv,
     "time,lat,lon,mag,magError\n2020-01-01T00:00:00Z,1,2,4,5,0.1\n",
     "line 2: read \"2020-01-01T00:00:00Z,1,2,4,5,0.1\", expected 5 fields as in the header, not "
     "6 (a decimal comma"},
    {"decimal comma in a quoted field", EventFormat::Csv,
     "time,lat,lon,mag,magError\n2020-01-01T00:00:00Z,1,2,\"4,5\",0.1\n",
     "line 2: read \"4,5\", expected in column 'mag' magnitude with a decimal point"},
    {"month 13", EventFormat::Csv, "time,lat,lon,mag,magError\n2020-13-01T00:00:00Z,1,2,4,0.1\n",
     "line 2: read \"2020-13-01T00:00:00Z\", expected in column 'time' a date that exists"},
    {"30 February", EventFormat::Csv,
     "year,month,day,lon,lat,mag,sigmaMagnitude\n1900,2,30,1,2,5,0.1\n",
     "line 2: read \"1900/2/30 ::\", expected in column 'year/month/day hour:minute:second' a "
     "date that exists"},
    {"29 February 1900 (Gregorian, not leap)", EventFormat::Csv,
     "year,month,day,lon,lat,mag,sigmaMagnitude\n1900,2,29,1,2,5,0.1\n", "a date that exists"},
    {"latitude beyond 90", EventFormat::Csv, "time,lat,lon,mag,magError\n2020-01-01,95,2,4,0.1\n",
     "line 2: read \"95\", expected in column 'lat' a latitude between -90 and 90 degrees"},
    {"magnitude not finite", EventFormat::Csv,
     "time,lat,lon,mag,magError\n2020-01-01,1,2,nan,0.1\n",
     "line 2: read \"nan\", expected in column 'mag' a finite magnitude"},
    {"magnitude infinite", EventFormat::Csv, "time,lat,lon,mag,magError\n2020-01-01,1,2,inf,0.1\n",
     "expected in column 'mag' a finite magnitude"},
    {"no SD and no default", EventFormat::Csv, "time,lat,lon,mag,magError\n2020-01-01,1,2,5,\n",
     "line 2: read \"\", expected in column 'magError' the magnitude's SD, or a default SD"},
    {"negative SD", EventFormat::Csv, "time,lat,lon,mag,magError\n2020-01-01,1,2,5,-0.1\n",
     "expected in column 'magError' an SD of 0 or more"},
    {"quote left open", EventFormat::Csv, "time,lat,lon,mag,magError\n2020-01-01,1,2,5,\"0.1\n",
     "a closing quote before the end of the file"},
    {"text after a closing quote", EventFormat::Csv,
     "time,lat,lon,mag,magError\n2020-01-01,1,2,\"5\"x,0.1\n",
     "a separator after the closing quote"},
    {"not a time", EventFormat::Csv, "time,lat,lon,mag,magError\nyesterday,1,2,5,0.1\n",
     "an ISO 8601 time"},
    {"year with a fraction in a toolkit file", EventFormat::Csv,
     "year,month,day,lon,lat,mag,sigmaMagnitude\n1900.5,1,1,1,2,5,0.1\n",
     "expected in column 'year' a whole year"},
    {"no header", EventFormat::Csv, "", "t.csv, line 1: read \"\", expected a header row"},
    {"ZMAP with too few columns", EventFormat::Zmap, "1 2 1990 1 1 5.0 10\n",
     "t.dat, line 1: read \"1 2 1990 1 1 5.0 10\", expected at least 9 columns"},
    {"ZMAP month 13", EventFormat::Zmap, "1 2 1990 13 1 5.0 10 0 0\n", "a date that exists"},
    {"ZMAP decimal year in year 0", EventFormat::Zmap, "1 2 0.9 0 0 5.0 10 0 0\n",
     "read \"0.9\", expected in column 'year' a year other than 0"},
    {"QuakeML not well formed", EventFormat::QuakeMl, "<quakeml><eventParameters>\n<event>",
     "t.xml, line 2: read \">\", expected well-formed XML"},
    {"QuakeML of another root", EventFormat::QuakeMl, "<catalog/>", "a QuakeML document"},
    {"QuakeML latitude beyond 90", EventFormat::QuakeMl,
     "<quakeml><eventParameters>\n<event><origin><time><value>2000-01-01T00:00:00Z</value></time>"
     "<latitude><value>91</value></latitude><longitude><value>0</value></longitude></origin>"
     "<magnitude><mag><value>5</value></mag></magnitude></event></eventParameters></quakeml>",
     "t.xml, line 2: read \"91\", expected in column 'origin/latitude/value' a latitude between"},
    {"QuakeML event without magnitude", EventFormat::QuakeMl,
     "<quakeml><eventParameters><event><origin/></event></eventParameters></quakeml>",
     "expected a magnitude in the event"},
};

TEST(EventReaders, BadInputStopsWithTheFileLineColumnAndText) {
  for (const BadInput& c : kBadInputs) {
    SCOPED_TRACE(c.what);
    ReadOptions options;
    if (std::string(c.what) != "no SD and no default") options.default_sd = 0.1f;
    try {
      ReadText(c.format, c.text, options);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_NE(events_testing::ErrorText(e).find(c.message), std::string::npos)
          << events_testing::ErrorText(e);
    }
  }
}

TEST(EventReaders, SkippedRowsAreCountedByReasonAndTheRestKept) {
  const char* text =
      "time,lat,lon,mag,magError,type\n"
      "2020-01-01,1,2,5.0,0.1,earthquake\n"
      "2020-13-01,1,2,5.0,0.1,earthquake\n"
      "2020-01-02,95,2,5.0,0.1,earthquake\n"
      "2020-01-03,1,2,5.2,,earthquake\n"
      "2020-01-04,1,2,5.3,0.1,quarry blast\n"
      "\n"
      "2020-02-30,1,2,5.0,0.1,earthquake\n";
  ReadOptions options;
  options.skip_bad_rows = true;
  options.default_sd = 0.2f;
  const ReadResult r = ReadCsvText(text, "t.csv", options);
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

// The real export of the shared catalogs and the extract of it in examples/:
// every row reads but the volcanic eruption, and the empty magError rows take
// the default SD.
TEST(EventReaders, RealExportReadsWithOnlyTheEruptionSkipped) {
  struct Export {
    std::string path;
    std::size_t rows, defaulted, mww, mb;
  };
  const std::vector<Export> exports = {
      {QEV_EXAMPLES_DIR "/usgs_tonga_m5_2022_2024.csv", 541, 1, 0, 0},
      {QEV_SHARED_CATALOGS_DIR "/usgs_global_m5_2022_2024.csv", 4118, 33, 2612, 1444},
  };
  for (const Export& x : exports) {
    SCOPED_TRACE(x.path);
    if (!std::filesystem::exists(x.path)) {
      GTEST_SKIP() << "not present: " << x.path;  // the shared folder beside the repository
    }
    ReadOptions options;
    options.default_sd = 0.1f;
    const ReadResult r = ReadEventFile(x.path, options);
    EXPECT_EQ(r.summary.format, EventFormat::Csv);
    EXPECT_EQ(r.summary.rows_read, x.rows);
    EXPECT_EQ(r.events.size(), x.rows - 1);
    ASSERT_EQ(r.summary.skipped.size(), 1u);
    EXPECT_EQ(r.summary.skipped[0].reason, "not an earthquake (volcanic eruption)");
    EXPECT_EQ(r.summary.sd_defaulted, x.defaulted);
    if (x.mww > 0) {
      std::map<std::string, std::size_t> types;
      for (std::size_t i = 0; i < r.events.size(); ++i) ++types[r.events.type_name(i)];
      EXPECT_EQ(types["mww"], x.mww);
      EXPECT_EQ(types["mb"], x.mb);
    }
  }
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
