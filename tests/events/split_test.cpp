// The split into extreme and complete parts, and the classic files: read back
// by qev itself through the answers file, refused whole when a part exceeds
// what they hold, never written over an input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>

#include "events/error_text.h"
#include "events/temp_folder.h"
#include "qev/catalog_split.h"

namespace qev {
namespace {

using Workspace = events_testing::TempFolder;

EventTable TableOf(const std::vector<std::tuple<CivilDate, float, float>>& events) {
  EventTable table;
  for (const auto& [date, magnitude, sd] : events) {
    EventTable::Row row;
    row.date = date;
    row.magnitude = magnitude;
    row.sd = sd;
    table.Append(row);
  }
  return table;
}

// Extreme windows of 50 years from 1800: [1800, 1850) keeps 1820 (6.0 over
// 5.5), [1850, 1900) keeps 1890 (6.1 over 5.2). Complete from 1900 above 5.0
// (1910 kept, 1920 below) and from 1960 above 4.0 (1965 and 1999 kept, 4.5 is
// at its threshold within the half hundredth, 3.9 below), ending with the
// last event.
const EventTable kHistory = TableOf({{{1999, 8, 17}, 4.2f, 0.1f},
                                     {{1820, 0, 0}, 6.0f, 0.5f},
                                     {{1830, 5, 1}, 5.5f, 0.4f},
                                     {{1870, 2, 0}, 5.2f, 0.4f},
                                     {{1890, 3, 3}, 6.1f, 0.005f},
                                     {{1910, 1, 5}, 5.5f, 0.3f},
                                     {{1920, 6, 6}, 4.5f, 0.3f},
                                     {{1965, 7, 7}, 4.0f, 0.1f},
                                     {{1970, 8, 8}, 3.9f, 0.1f},
                                     {{1971, 9, 9}, 4.4999f, 0.2f}});

SplitOptions HistoryOptions() {
  SplitOptions options;
  options.completeness = {{1900, 5.0f}, {1960, 4.0f}};
  options.extreme_window_years = 50;
  options.extreme_from = CivilDate{1800, 1, 1};
  return options;
}

TEST(CatalogSplit, WindowsAndCompletenessPeriodsTakeTheirEvents) {
  const SplitResult r = Split(kHistory, HistoryOptions());
  EXPECT_EQ(r.extreme_rows, (std::vector<std::size_t>{1, 4}));
  EXPECT_EQ(r.extreme_dates, (std::vector<CivilDate>{{1820, 7, 1}, {1890, 3, 3}}));
  ASSERT_EQ(r.complete_rows.size(), 2u);
  EXPECT_EQ(r.complete_rows[0], (std::vector<std::size_t>{5}));
  EXPECT_EQ(r.complete_rows[1], (std::vector<std::size_t>{7, 9, 0}));
  EXPECT_EQ(r.below_threshold, 2u);
  EXPECT_EQ(r.outside_parts, 0u);
  EXPECT_EQ(r.extreme_period->last_day, (CivilDate{1899, 12, 31}));
  EXPECT_EQ(r.complete_periods[0].last_day, (CivilDate{1959, 12, 31}));
  EXPECT_EQ(r.complete_periods[1].last_day, (CivilDate{1999, 8, 17}));
  // An extreme SD below 0.01 is raised as the classic extreme layout does.
  EXPECT_EQ(r.catalog.extreme->events[1].sd, 0.01f);
  EXPECT_FLOAT_EQ(r.catalog.complete[1].sd, (0.1f + 0.2f + 0.1f) / 3.0f);
  EXPECT_EQ(LowestLevel(r.catalog), 4.0f);
}

// Windows of 10 years over 1800-1899 hold events in 1820, 1830, 1870 and
// 1890: six of the ten are empty. Merged, each joins the window of the next
// listed event (the 1880s the last one), so that each listed event is the
// largest of its built window; refused, the count and the choices.
TEST(CatalogSplit, EmptyExtremeWindowsAreMergedOrRefused) {
  SplitOptions options = HistoryOptions();
  options.extreme_window_years = 10;
  const SplitResult r = Split(kHistory, options);
  EXPECT_EQ(r.extreme_window_count, 10u);
  EXPECT_EQ(r.empty_windows, 6u);
  EXPECT_EQ(r.extreme_rows, (std::vector<std::size_t>{1, 2, 3, 4}));
  struct Built {
    CivilDate first_day;
    CivilDate last_day;
    std::size_t row;
    std::int32_t windows;
  };
  const Built expected[] = {{{1800, 1, 1}, {1829, 12, 31}, 1, 3},
                            {{1830, 1, 1}, {1839, 12, 31}, 2, 1},
                            {{1840, 1, 1}, {1879, 12, 31}, 3, 4},
                            {{1880, 1, 1}, {1899, 12, 31}, 4, 2}};
  ASSERT_EQ(r.extreme_windows.size(), std::size(expected));
  for (std::size_t k = 0; k < std::size(expected); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(r.extreme_windows[k].first_day, expected[k].first_day);
    EXPECT_EQ(r.extreme_windows[k].last_day, expected[k].last_day);
    EXPECT_EQ(r.extreme_windows[k].row, expected[k].row);
    EXPECT_EQ(r.extreme_windows[k].windows, expected[k].windows);
  }
  // Fifty-year windows are all filled.
  EXPECT_EQ(Split(kHistory, HistoryOptions()).empty_windows, 0u);
  options.empty_windows = EmptyWindows::Refuse;
  events_testing::ExpectErrorWith<CatalogError>("6 of 10 extreme windows of 10 years hold no event",
                                                [&] { Split(kHistory, options); });
  events_testing::ExpectErrorWith<CatalogError>(
      "choose longer windows (extreme_window), a later "
      "start (extreme_from)",
      [&] { Split(kHistory, options); });
}

// A selection from a date on: periods begin there, a step ended before it
// gives no part, and the extreme span starts there too; windows are counted.
TEST(CatalogSplit, TheObservedStartShortensThePeriods) {
  SplitOptions options = HistoryOptions();
  EXPECT_EQ(Split(kHistory, options).extreme_window_count, 2u);
  options.extreme_window_years = 10;  // 1800-1899: 10 windows, 4 with an event
  const SplitResult decades = Split(kHistory, options);
  EXPECT_EQ(decades.extreme_window_count, 10u);
  EXPECT_EQ(decades.extreme_rows.size(), 4u);

  options.start = CivilDate{1965, 0, 0};
  options.extreme_window_years = 0;
  const SplitResult later = Split(kHistory, options);
  ASSERT_EQ(later.complete_periods.size(), 1u);
  EXPECT_EQ(later.complete_periods[0].first_day, (CivilDate{1965, 1, 1}));
  EXPECT_EQ(later.catalog.complete[0].start, CatalogDecimalYear({1965, 1, 1}));
  EXPECT_EQ(later.complete_rows[0], (std::vector<std::size_t>{7, 9, 0}));

  options = HistoryOptions();
  options.extreme_from.reset();
  options.start = CivilDate{1850, 0, 0};
  const SplitResult from1850 = Split(kHistory, options);
  EXPECT_EQ(from1850.extreme_period->first_day, (CivilDate{1850, 1, 1}));
  EXPECT_EQ(from1850.complete_periods[0].first_day, (CivilDate{1900, 1, 1}));

  // One event starts the extreme span in its year; no event needs a start.
  options.start.reset();
  options.completeness.clear();
  const EventTable one = TableOf({{{1950, 6, 1}, 6.0f, 0.1f}});
  EXPECT_EQ(Split(one, options).extreme_period->first_day, (CivilDate{1950, 1, 1}));
  events_testing::ExpectErrorWith<CatalogError>("no events", [&] { Split(EventTable{}, options); });
}

TEST(CatalogSplit, InconsistentTablesAreRefused) {
  struct Case {
    const char* what;
    SplitOptions options;
    const char* message;
  };
  SplitOptions disorder = HistoryOptions();
  disorder.completeness = {{1960, 4.0f}, {1900, 5.0f}};
  SplitOptions too_close = HistoryOptions();
  too_close.extreme_window_years = 1;
  too_close.extreme_from = CivilDate{1820, 7, 1};
  SplitOptions late = HistoryOptions();
  late.completeness = {{2005, 4.0f}};
  for (const Case& c :
       {Case{"years out of order", disorder, "in increasing order: 1900 follows 1960"},
        Case{"first extreme event on the first day", too_close,
             "extreme event 1, 1820-00-00 M 6.000000, lies less than 0.001 year "
             "after the start of the extreme span 1820-07-01"},
        Case{"last period after the catalog", late,
             "begins in 2005 but the catalog ends 1999-08-17"}}) {
    SCOPED_TRACE(c.what);
    events_testing::ExpectErrorWith<CatalogError>(c.message, [&] { Split(kHistory, c.options); });
  }
}

// The files and answers run the whole classic session; its report echoes the
// extreme events and counts the complete parts as split.
TEST(CatalogSplit, ClassicFilesRunTheClassicSession) {
  Workspace folder;
  const SplitResult split = Split(kHistory, HistoryOptions());
  ClassicFilesOptions options;
  options.directory = folder.Dir();
  options.prefix = "hist";
  options.session.report_name = "hist.out";
  options.session.mmin = LowestLevel(split.catalog) - 0.1f;
  const ClassicFiles files = WriteClassicFiles(split, options);
  EXPECT_EQ(files.written.size(), 4u);
  EXPECT_EQ(folder.Read("hist_ext.dat"),
            "1800 1 1\n1899 12 31\n1820 7 1 6 0.5\n1890 3 3 6.1 0.01\n");
  EXPECT_EQ(folder.Read("hist_c2.dat"), "1960 1 1\n1999 8 17\n4\n4 0.1\n4.4999 0.2\n4.2 0.1\n");
  const auto run = folder.Run(std::string("'") + QEV_BINARY + "' < hist_answers.txt");
  EXPECT_EQ(run.status, 0) << run.out.substr(run.out.size() > 2000 ? run.out.size() - 2000 : 0);
  const std::string report = folder.Read("hist.out");
  for (const char* line :
       {"  1820  7  1  6.00   .50", "  1890  3  3  6.10   .01", "  Number of earthquakes :   2",
        "  Number of earthquakes  =    1", "  Number of earthquakes  =    3", "RESULTS"}) {
    EXPECT_NE(report.find(line), std::string::npos) << line;
  }
}

TEST(CatalogSplit, ClassicLimitsStopBeforeAnyFileIsWritten) {
  std::vector<std::tuple<CivilDate, float, float>> many;
  many.reserve(1501);
  for (int k = 0; k < 1501; ++k)
    many.push_back({{1990 + k / 365, 1 + (k / 28) % 12, 1 + k % 28}, 4.0f, 0.1f});
  const EventTable crowded = TableOf(many);
  struct Case {
    const char* what;
    SplitOptions options;
    std::string prefix;
    const char* message;
  };
  SplitOptions one_part;
  one_part.completeness = {{1990, 3.0f}};
  SplitOptions six_parts;
  six_parts.completeness = {{1990, 5.0f}, {1991, 5.0f}, {1992, 5.0f},
                            {1993, 5.0f}, {1994, 5.0f}, {1995, 5.0f}};
  six_parts.end = CivilDate{1999, 12, 31};
  SplitOptions daily_extremes;
  daily_extremes.extreme_window_years = 1;
  daily_extremes.extreme_from = CivilDate{1000, 1, 1};
  daily_extremes.extreme_to = CivilDate{1989, 12, 31};
  std::vector<std::tuple<CivilDate, float, float>> old;
  for (int y = 1001; y < 1600; ++y) old.push_back({{y, 6, 1}, 5.0f, 0.3f});
  for (const Case& c :
       {Case{"1501 rows", one_part, "p",
             "complete part 1 (1990-01-01 to 1994-06-17, threshold 3) holds 1501 events; a classic "
             "complete file holds at most 1500: raise its threshold, split its period, select a "
             "smaller zone, or use the library"},
        Case{"six parts", six_parts, "p",
             "gives 6 complete parts; qev reads at most 5: merge periods"},
        Case{"long names", one_part, "a_long_prefix",
             "'a_long_prefix_c1.dat' (complete part 1) has 20 characters; qev reads at most 15"}}) {
    SCOPED_TRACE(c.what);
    Workspace folder;
    events_testing::ExpectErrorWith<ClassicLimitError>(c.message, [&] {
      ClassicFilesOptions options;
      options.directory = folder.Dir();
      options.prefix = c.prefix;
      SplitResult split = Split(crowded, c.options);
      if (c.prefix == "a_long_prefix") split.catalog.complete[0].rows.resize(10);
      WriteClassicFiles(split, options);
    });
    EXPECT_TRUE(std::filesystem::is_empty(folder.Dir()));
  }
  Workspace folder;
  ClassicFilesOptions options;
  options.directory = folder.Dir();
  EXPECT_THROW(WriteClassicFiles(Split(TableOf(old), daily_extremes), options), ClassicLimitError);
  EXPECT_TRUE(std::filesystem::is_empty(folder.Dir()));
}

TEST(CatalogSplit, AnOutputNeverReplacesAnInput) {
  Workspace folder;
  folder.Write("catalog.csv", "the input");
  std::filesystem::create_hard_link(folder.Dir() / "catalog.csv", folder.Dir() / "qev_c1.dat");
  ClassicFilesOptions options;
  options.directory = folder.Dir();
  options.inputs = {folder.Dir() / "catalog.csv"};
  SplitOptions split;
  split.completeness = {{1960, 4.0f}};
  options.session.mmin = 3.9f;
  events_testing::ExpectErrorWith("an output never replaces an input",
                                  [&] { WriteClassicFiles(Split(kHistory, split), options); });
  EXPECT_EQ(folder.Read("catalog.csv"), "the input");
}

}  // namespace
}  // namespace qev
