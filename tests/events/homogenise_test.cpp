// One magnitude scale: the hand-worked conversions of data/conversions.tsv
// (relations, SDs, priority, the counts of events left out), the further
// magnitudes the readers give, the prepare job's summary, and a synthetic
// catalog in two scales whose b-value the conversion recovers. (Bad relation
// tables: rows of data/reader_cases.tsv.)
#include "qev/homogenise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "qev/event_selection.h"
#include "qev/prepare.h"

namespace qev {
namespace {

const std::string kData = QEV_GOLDEN_DIR "/../events/data/";

// Hand values are given to 7 digits; the table holds floats.
constexpr double kHandTolerance = 2e-6;

struct Magnitude {
  std::string type, agency;
  float value = 0.0f;
  float sd = 0.0f;
};

Magnitude ParseMagnitude(const std::string& text) {
  std::istringstream in(text);
  std::string name, sd;
  Magnitude m;
  in >> name >> m.value >> sd;
  const std::size_t at = name.find('@');
  m.type = name.substr(0, at);
  if (at != std::string::npos) m.agency = name.substr(at + 1);
  m.sd = sd == "-" ? std::nanf("") : std::stof(sd);
  return m;
}

// One event a case, its magnitudes as the readers give them.
EventTable TableOfCases(const std::vector<std::vector<std::string>>& cases) {
  EventTable table;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::vector<Magnitude> magnitudes;
    std::istringstream list(cases[i][2]);
    for (std::string item; std::getline(list, item, ';');) {
      magnitudes.push_back(ParseMagnitude(item));
    }
    EventTable::Row row;
    row.date = {2000, 1, static_cast<std::int32_t>(i + 1)};
    row.magnitude = magnitudes[0].value;
    row.sd = magnitudes[0].sd;
    row.magnitude_type = magnitudes[0].type;
    row.agency = magnitudes[0].agency;
    const std::string id = "E" + std::to_string(i + 1);
    row.id = id;
    table.Append(row);
    for (std::size_t k = 1; k < magnitudes.size(); ++k) {
      const Magnitude& m = magnitudes[k];
      table.AppendOther(m.value, m.sd, m.type, m.agency);
    }
  }
  return table;
}

TEST(Homogenise, HandWorkedConversionsPriorityAndCountsOfEventsLeftOut) {
  const auto cases = testing::TableRows(kData + "conversions.tsv", "case");
  const HomogeniseOptions options = ReadHomogeniseFile(kData + "relations.toml");
  const EventTable table = TableOfCases(cases);
  const HomogeniseResult result = Homogenise(table, options);

  std::map<std::string, TypeConversionCounts> expected;
  std::size_t next = 0;  // the next converted event
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i][1]);
    std::istringstream want(cases[i][3]);
    std::string first;
    want >> first;
    if (first == "left") {
      std::string out, reason, type;
      want >> out >> reason >> type;
      TypeConversionCounts& n = expected[type];
      ++n.read;
      ++(reason == "unlisted" ? n.unlisted : n.out_of_range);
      EXPECT_TRUE(next == result.rows.size() || result.rows[next] != i);
      continue;
    }
    double value = 0.0, sd = 0.0;
    std::string from;
    want >> value >> sd >> from;
    ++expected[from].read;
    ++expected[from].converted;
    ASSERT_LT(next, result.rows.size());
    ASSERT_EQ(result.rows[next], i);
    const EventTable::Row e = result.events.row(next++);
    EXPECT_EQ(e.magnitude_type, first);
    EXPECT_NEAR(e.magnitude, value, kHandTolerance);
    EXPECT_NEAR(e.sd, sd, kHandTolerance);
    EXPECT_EQ(*e.original_type, from);
    EXPECT_EQ(e.id, table.id(i));
    // The further magnitudes stay with the event.
    EXPECT_EQ(result.events.others_end(next - 1) - result.events.others_begin(next - 1),
              table.others_end(i) - table.others_begin(i));
  }
  EXPECT_EQ(next, result.rows.size());
  EXPECT_EQ(result.counts.converted + result.counts.left_out, cases.size());
  ASSERT_EQ(result.counts.types.size(), expected.size());
  for (const TypeConversionCounts& got : result.counts.types) {
    SCOPED_TRACE(got.type);
    const TypeConversionCounts& want = expected[got.type];
    EXPECT_EQ(got.read, want.read);
    EXPECT_EQ(got.converted, want.converted);
    EXPECT_EQ(got.out_of_range, want.out_of_range);
    EXPECT_EQ(got.unlisted, want.unlisted);
  }
  // A selection by type keeps the events converted from it.
  Selection by_type;
  by_type.magnitude_types = {"ms"};
  SelectionCounts selected;
  EXPECT_EQ(Select(result.events, by_type, selected).size(), expected["Ms"].converted);
}

// A conversion that cannot give a usable magnitude stops with the event
// named: a further magnitude without SD and no default, a relation whose
// numbers overflow single precision.
TEST(Homogenise, ConversionsWithoutAUsableResultStopNamingTheEvent) {
  HomogeniseOptions without_sd = ReadHomogeniseFile(kData + "relations.toml");
  without_sd.default_sd.reset();
  HomogeniseOptions overflowing = without_sd;
  overflowing.relations[0].segments[0].b = 1e38;
  overflowing.default_sd = 0.2f;
  const std::pair<HomogeniseOptions, const char*> runs[] = {
      {without_sd, "event 1 (E1): its magnitude mww has no SD"},
      {overflowing, "event 2: the relation of mb gives magnitude inf"}};
  const EventTable table =
      TableOfCases({{"case", "x", "mb 5.0 0.1; mww 5.5 -"}, {"case", "y", "mb 5.0 0.1"}});
  for (const auto& [options, message] : runs) {
    try {
      Homogenise(table, options);
      ADD_FAILURE() << "converted: " << message;
    } catch (const CatalogError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

// The readers give an event's further magnitudes: the other magnitudes of a
// QuakeML event with their agencies, the other magnitude columns of a CSV row.
TEST(Homogenise, ReadersGiveFurtherMagnitudesAndAgencies) {
  const std::string quakeml =
      "<quakeml><eventParameters><event publicID='e1'>"
      "<preferredMagnitudeID>m2</preferredMagnitudeID>"
      "<origin><time><value>2000-01-01T00:00:00Z</value></time>"
      "<latitude><value>1</value></latitude><longitude><value>2</value></longitude></origin>"
      "<magnitude publicID='m1'><mag><value>5.1</value></mag><type>mb</type>"
      "<creationInfo><agencyID>ISC</agencyID></creationInfo></magnitude>"
      "<magnitude publicID='m2'><mag><value>5.6</value><uncertainty>0.1</uncertainty></mag>"
      "<type>Mw</type><creationInfo><author>GCMT</author></creationInfo></magnitude>"
      "<magnitude publicID='m3'><mag><value>5.3</value><uncertainty>0.2</uncertainty></mag>"
      "<type>Ms</type></magnitude>"
      "</event></eventParameters></quakeml>";
  const ReadResult q = ReadQuakeMlText(quakeml, "t.xml", {});
  ASSERT_EQ(q.events.size(), 1u);
  EXPECT_EQ(q.events.magnitude[0], 5.6f);
  EXPECT_EQ(q.events.agency_name(0), "GCMT");
  ASSERT_EQ(q.events.others_end(0), 2u);
  EXPECT_EQ(q.events.other_magnitude[0], 5.1f);
  EXPECT_TRUE(std::isnan(q.events.other_sd[0]));
  EXPECT_EQ(q.events.magnitude_types[q.events.other_type[0]], "mb");
  EXPECT_EQ(q.events.agencies[q.events.other_agency[0]], "ISC");
  EXPECT_EQ(q.events.other_sd[1], 0.2f);

  ReadOptions options;
  options.default_sd = 0.3f;
  options.magnitude_columns = {{"Ms", "MS", "MS_unc"}, {"mb", "MB", ""}};
  const std::string csv =
      "year,lat,lon,MS,MS_unc,MB,magSource\n"
      "1960,1,2,6.1,0.2,5.5,ISC\n"
      "1961,1,2,,,5.2,ISC\n"
      "1962,1,2,,,,ISC\n";
  options.skip_bad_rows = true;
  const ReadResult c = ReadCsvText(csv, "t.csv", options);
  ASSERT_EQ(c.events.size(), 2u);
  EXPECT_EQ(c.events.magnitude[0], 6.1f);
  EXPECT_EQ(c.events.sd[0], 0.2f);
  EXPECT_EQ(c.events.type_name(0), "Ms");
  EXPECT_EQ(c.events.agency_name(0), "ISC");
  ASSERT_EQ(c.events.others_end(0), 1u);
  EXPECT_EQ(c.events.other_magnitude[0], 5.5f);
  EXPECT_EQ(c.events.type_name(1), "mb");
  EXPECT_EQ(c.events.sd[1], 0.3f);  // the default: no SD column for mb
  EXPECT_EQ(c.events.others_end(1), 1u);
  ASSERT_EQ(c.summary.skipped.size(), 1u);
  EXPECT_EQ(c.summary.skipped[0].reason, "no magnitude");
  // A subset keeps each event's further magnitudes.
  const EventTable second = c.events.Subset({1, 0});
  EXPECT_EQ(second.others_end(0), 0u);
  EXPECT_EQ(second.others_end(1), 1u);
  EXPECT_EQ(second.other_magnitude[0], 5.5f);
}

// The prepare job converts before the selection; its summary shows per type
// the events read, converted and left out (the Tonga extract: mb, mww, Mi,
// mwb; Mi has no relation in the example table).
TEST(Homogenise, PrepareSummaryCountsEachTypeReadConvertedAndLeftOut) {
  PrepareJob job;
  job.catalog = QEV_EXAMPLES_DIR "/usgs_tonga_m5_2022_2024.csv";
  job.read.default_sd = 0.1f;
  job.homogenise = ReadHomogeniseFile(QEV_EXAMPLES_DIR "/magnitude_relations.toml");
  job.split.completeness = {{2022, 5.0f}};
  const ReadResult read = ReadEventFile(job.catalog, job.read);
  std::map<std::string, std::size_t> read_per_type;
  for (std::size_t i = 0; i < read.events.size(); ++i) ++read_per_type[read.events.type_name(i)];
  const PrepareReport report = RunPrepare(job, read);
  ASSERT_TRUE(report.homogenised);
  std::size_t converted = 0;
  for (const TypeConversionCounts& t : report.homogenised->types) {
    EXPECT_EQ(t.read, read_per_type[t.type]) << t.type;
    EXPECT_EQ(t.read, t.converted + t.left_out()) << t.type;
    converted += t.converted;
  }
  EXPECT_EQ(converted, report.events.size());
  EXPECT_EQ(report.homogenised->left_out, read.events.size() - converted);
  const std::string summary = FormatPrepareSummary(report);
  EXPECT_NE(summary.find("magnitude type mb"), std::string::npos) << summary;
  EXPECT_NE(summary.find("converted to Mw"), std::string::npos) << summary;
  EXPECT_NE(summary.find("0 converted, " + std::to_string(read_per_type["Mi"]) +
                         " left out (no relation)"),
            std::string::npos)
      << summary;
  for (std::size_t i = 0; i < report.events.size(); ++i) {
    ASSERT_EQ(report.events.type_name(i), "Mw");
  }
}

// Aki's maximum-likelihood b-value of magnitudes at or above mc.
double AkiB(const std::vector<double>& m, double mc, std::size_t& n) {
  double sum = 0.0;
  n = 0;
  for (double x : m) {
    if (x < mc) continue;
    sum += x;
    ++n;
  }
  return std::log10(std::exp(1.0)) / (sum / static_cast<double>(n) - mc);
}

// A synthetic catalog with b = 1 on the target scale, half of it reported on
// a second scale with the known relation Mw = 1.0 + 0.8 Mx: converted, the
// b-value of the whole is 1 again (within three standard errors); taken as
// it is, the second scale's b would be 0.8.
TEST(Homogenise, SyntheticCatalogInTwoScalesRecoversItsBValue) {
  constexpr double kB = 1.0, kA = 1.0, kSlope = 0.8, kSd = 0.1, kFloor = 3.5, kMc = 4.5;
  constexpr int kEvents = 40000;
  std::mt19937_64 random(20240516);
  std::exponential_distribution<double> above(kB * std::log(10.0));
  std::normal_distribution<double> error(0.0, kSd);
  EventTable table;
  std::vector<double> raw_second;
  for (int i = 0; i < kEvents; ++i) {
    const double truth = kFloor + above(random);
    const bool second = i % 2 == 1;
    EventTable::Row row;
    row.date = {2000, 1, 1};
    row.magnitude_type = second ? "Mx" : "Mw";
    row.magnitude = static_cast<float>((second ? (truth - kA) / kSlope : truth) + error(random));
    row.sd = static_cast<float>(kSd);
    if (second) raw_second.push_back(row.magnitude);
    table.Append(row);
  }
  HomogeniseOptions options;
  options.target = "Mw";
  options.relations = {{"Mx", "", {{0.0, 10.0, kA, kSlope, 0.05}}, 0}};
  const HomogeniseResult r = Homogenise(table, options);
  ASSERT_EQ(r.events.size(), static_cast<std::size_t>(kEvents));
  std::vector<double> converted(r.events.magnitude.begin(), r.events.magnitude.end());
  std::size_t n = 0;
  const double b = AkiB(converted, kMc, n);
  EXPECT_NEAR(b, kB, 3.0 * b / std::sqrt(static_cast<double>(n)));
  const double b_raw = AkiB(raw_second, (kMc - kA) / kSlope, n);
  EXPECT_NEAR(b_raw, kB * kSlope, 3.0 * b_raw / std::sqrt(static_cast<double>(n)));
  // The converted SD of the second scale: sqrt((0.8 * 0.1)^2 + 0.05^2).
  EXPECT_NEAR(r.events.sd[1], std::sqrt(0.08 * 0.08 + 0.05 * 0.05), 1e-7);
}

}  // namespace
}  // namespace qev
