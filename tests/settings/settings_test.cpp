// The settings table: each key reaches its own member, every front end
// refuses a value with the same key and bound, and the docs' key tables are
// the table's.
#include "qev/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "events/settings_toml.h"
#include "qev/batch.h"
#include "qev/batch_settings.h"
#include "qev/event_settings.h"
#include "qev/prepare.h"

namespace qev {
namespace {

// A value inside the row's range that differs from the default of its
// member: the low end (the high end of a range open below), the last name.
SettingValue OtherThanDefault(const SettingRow& row) {
  switch (row.type) {
    case SettingType::Choice: {
      const std::string_view names = row.names;
      return std::string(names.substr(names.rfind('|') + 1));
    }
    case SettingType::Numbers:
      return std::vector<double>{row.low};
    default:
      return row.low_open ? row.high : row.low;
  }
}

// What the options hold under every key.
std::vector<SettingValue> Read(const AnalysisOptions& analysis, const HazardOptions& hazard) {
  std::vector<SettingValue> values;
  for (const SettingRow& row : AnalysisSettings()) {
    values.push_back(row.read_analysis ? row.read_analysis(analysis) : row.read_hazard(hazard));
  }
  return values;
}

TEST(Settings, EachKeyReachesItsOwnMemberThroughTheLayers) {
  const std::vector<SettingValue> defaults = Read(AnalysisOptions{}, HazardOptions{});
  const auto rows = AnalysisSettings();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    SCOPED_TRACE(std::string(rows[r].key));
    AnalysisLayer above;
    SetSetting(above, rows[r].key, OtherThanDefault(rows[r]));
    AnalysisLayer layer;
    layer.Overlay(AnalysisLayer{});
    layer.Overlay(above);
    AnalysisOptions analysis;
    HazardOptions hazard;
    layer.ApplyTo(analysis);
    layer.ApplyTo(hazard);
    const std::vector<SettingValue> values = Read(analysis, hazard);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      EXPECT_EQ(rows[k].is_set(layer), k == r) << rows[k].key;
      EXPECT_EQ(values[k] != defaults[k], k == r) << rows[k].key;
    }
    // The changed options pass their own checks (a given start with its values).
    if (analysis.start == StartingPointKind::Given && rows[r].applies == nullptr) {
      analysis.start_lambda = 1.0f;
      analysis.start_mmax = 7.0f;
    }
    if (rows[r].applies == nullptr) {
      EXPECT_NO_THROW(Validate(analysis));
      EXPECT_NO_THROW(Validate(hazard, analysis.units));
    }
  }
}

struct Refused {
  std::string key, toml, bound;
};

std::vector<Refused> RefusedValues() {
  std::ifstream in(QEV_SETTINGS_DATA_DIR "/refused_settings.tsv");
  std::vector<Refused> cases;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Refused& c = cases.emplace_back();
    std::getline(fields, c.key, '\t');
    std::getline(fields, c.toml, '\t');
    std::getline(fields, c.bound, '\t');
  }
  return cases;
}

// The message of the error `read` throws (none: nothing thrown).
template <class Read>
std::string Message(Read read) {
  try {
    read();
  } catch (const Error& e) {
    return e.what();
  }
  return "(accepted)";
}

// The same value is refused with the key and the bound by the batch job,
// the prepare job (keys of its [analysis]), qev-prepare's options and the
// library's check of the options (Analyze, the batch planner, Python).
TEST(Settings, EveryFrontEndRefusesAValueNamingTheKeyAndTheBound) {
  const std::vector<Refused> cases = RefusedValues();
  ASSERT_GE(cases.size(), 30u);
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.key + " = " + c.toml);
    const SettingRow* row = FindSetting(c.key);
    ASSERT_NE(row, nullptr);
    const std::string batch = Message(
        [&] { ParseBatchJob("\n[defaults]\n" + c.key + " = " + c.toml + "\n", "job.toml", "."); });
    EXPECT_EQ(batch.rfind("job.toml, line 3: read ", 0), 0u) << batch;
    EXPECT_NE(batch.find("expected for 'defaults." + c.key + "' " + c.bound), std::string::npos)
        << batch;
    if (row->prepare_job) {
      const std::string prepare = Message(
          [&] { ParsePrepareToml("[analysis]\n" + c.key + " = " + c.toml, "job.toml", "."); });
      EXPECT_NE(prepare.find("job.toml, line 2: read "), std::string::npos) << prepare;
      EXPECT_NE(prepare.find("for 'analysis." + c.key + "' " + c.bound), std::string::npos)
          << prepare;
    }
    // The library: the value put into the options unchecked (a name cannot
    // be), refused by Validate for magnitudes.
    const toml::table parsed = toml::parse("v = " + c.toml);
    const SettingValue value = TomlSettingValue(*parsed.get("v"));
    if (row->type == SettingType::Choice) continue;
    // Nor can a whole member hold a fraction: that is the readers' refusal.
    const double* number = std::get_if<double>(&value);
    if (row->type == SettingType::Whole && *number != std::floor(*number)) continue;
    AnalysisLayer layer;
    row->store(layer, value);
    AnalysisOptions analysis;
    analysis.start = StartingPointKind::Given;
    analysis.start_lambda = 1.0f;
    analysis.start_mmax = 7.0f;
    HazardOptions hazard;
    layer.ApplyTo(analysis);
    layer.ApplyTo(hazard);
    try {
      Validate(analysis);
      Validate(hazard, Units::Magnitude);
      ADD_FAILURE() << "accepted by Validate";
    } catch (const InvalidSetting& e) {
      EXPECT_EQ(e.key(), c.key);
      EXPECT_EQ(e.expected().rfind(c.bound, 0), 0u) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(c.key + " is ", 0), 0u) << e.what();
    }
  }
}

// The units set the limit of the sizes: 10 for magnitude, 12 for intensity.
TEST(Settings, SizesAreBoundByTheUnits) {
  AnalysisOptions options;
  options.sig_xmax = 11.0f;
  EXPECT_THROW(Validate(options), InvalidSetting);
  options.units = Units::Intensity;
  EXPECT_NO_THROW(Validate(options));
  HazardOptions hazard;
  hazard.magnitudes = {4.0f, 11.5f};
  EXPECT_THROW(Validate(hazard, Units::Magnitude), InvalidSetting);
  EXPECT_NO_THROW(Validate(hazard, Units::Intensity));
}

// ---------------------------------------------------------------- the options tables

// A value the row takes that changes the member from its default and that
// the options' Validate then accepts: the first of the candidates (the
// range's ends and middle, each name, a date, a flag, a method, a folder).
template <class Options>
SettingValue ChangingValue(const OptionsRow<Options>& row, const Options& defaults,
                           void (*validate)(const Options&)) {
  std::vector<SettingValue> candidates = {row.low,
                                          row.high,
                                          (row.low + row.high) / 2,
                                          std::string("1999-12-31"),
                                          true,
                                          false,
                                          std::string("reasenberg"),
                                          std::string("elsewhere"),
                                          std::vector<std::string>{"magnitude=mag"},
                                          std::string(QEV_EXAMPLES_DIR "/tonga_zone.geojson")};
  // A table of one row, or a list, at the columns' high ends.
  std::vector<double> highs;
  for (const SettingColumn& column : row.columns) highs.push_back(column.high);
  candidates.emplace_back(std::vector<std::vector<double>>{highs});
  candidates.emplace_back(highs);
  candidates.emplace_back(std::vector<double>(std::max<std::size_t>(row.least, 1), row.high));
  std::string_view names = row.names;
  while (!names.empty()) {
    const std::size_t bar = std::min(names.find('|'), names.size());
    candidates.emplace_back(std::string(names.substr(0, bar)));
    names.remove_prefix(std::min(bar + 1, names.size()));
  }
  for (const SettingValue& v : candidates) {
    try {
      Options o = defaults;
      SetOption(o, row, v);
      if (validate != nullptr) validate(o);
      if (row.get(o) != row.get(defaults)) return v;
    } catch (const Error&) {
    }
  }
  ADD_FAILURE() << row.key << ": no value changes the member";
  return {};
}

// Each key reaches its own member and no other (a row without `get`, one
// that reads a zone, cannot be compared).
template <class Options>
void CheckOwnMembers(std::span<const OptionsRow<Options>> rows, const Options& defaults,
                     void (*validate)(const Options&)) {
  ASSERT_FALSE(rows.empty());
  for (const OptionsRow<Options>& row : rows) {
    SCOPED_TRACE(std::string(row.key));
    EXPECT_EQ(FindOption(rows, row.key), &row) << "a key written twice";
    if (!row.get) continue;
    Options changed = defaults;
    SetOption(changed, row, ChangingValue(row, defaults, validate));
    for (const OptionsRow<Options>& other : rows) {
      if (!other.get) continue;
      EXPECT_EQ(other.get(changed) != other.get(defaults), &other == &row) << other.key;
    }
  }
}

void ValidateCompleteness(const CompletenessOptions& options) { options.Validate(); }

TEST(Settings, EachOptionsKeyReachesItsOwnMember) {
  CheckOwnMembers<PrepareJob>(PrepareJobSettings(), PrepareJob{}, nullptr);
  CheckOwnMembers<ReadOptions>(ReadSettings(), ReadOptions{}, Validate);
  CheckOwnMembers<Selection>(SelectionSettings(), Selection{}, Validate);
  CheckOwnMembers<DeclusterOptions>(DeclusterSettings(), DeclusterOptions{}, Validate);
  CheckOwnMembers<SplitOptions>(SplitSettings(), SplitOptions{}, Validate);
  CheckOwnMembers<BatchJob>(BatchSettings(), BatchJob{}, Validate);
  CheckOwnMembers<CompletenessOptions>(CompletenessSettings(), CompletenessOptions{},
                                       ValidateCompleteness);
  CheckOwnMembers<HomogeniseOptions>(HomogeniseSettings(), HomogeniseOptions{}, nullptr);
  CheckOwnMembers<SettingsLayer>(LayerSettings(), SettingsLayer{}, nullptr);
  CheckOwnMembers<BatchZone>(ZoneSettings(), BatchZone{}, nullptr);
  CheckOwnMembers<ClassicZoneFile>(ClassicFileSettings(), ClassicZoneFile{}, nullptr);
  CheckOwnMembers<Alternative>(AlternativeSettings(), Alternative{}, nullptr);
  CheckOwnMembers<SourceSettings>(OpenQuakeSettings(), SourceSettings{}, nullptr);
}

// The declustering rows are the method table's parameters, in its order.
TEST(Settings, DeclusterRowsAreTheParameterTable) {
  const auto rows = DeclusterSettings();
  const auto parameters = DeclusterParameters();
  ASSERT_EQ(rows.size(), parameters.size() + 1);
  EXPECT_EQ(rows[0].key, "method");
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    EXPECT_EQ(rows[i + 1].key, parameters[i].key);
    EXPECT_EQ(rows[i + 1].low, parameters[i].low);
    EXPECT_EQ(rows[i + 1].high, parameters[i].high);
  }
}

struct RefusedOption {
  std::string table, key, toml, bound;
};

std::vector<RefusedOption> RefusedOptions() {
  std::ifstream in(QEV_SETTINGS_DATA_DIR "/refused_options.tsv");
  std::vector<RefusedOption> cases;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    RefusedOption& c = cases.emplace_back();
    std::getline(fields, c.table, '\t');
    std::getline(fields, c.key, '\t');
    std::getline(fields, c.toml, '\t');
    std::getline(fields, c.bound, '\t');
  }
  return cases;
}

// A batch job with KEY = VALUE on its line 2, and the key as the reader
// names it, by the table of the case (batch: the top level; layer: a layer,
// [defaults]; zone; alternative; openquake: the sources).
std::pair<std::string, std::string> BatchCase(const RefusedOption& c) {
  const std::string zone = "[[zone]]\nname = \"a\"\nprepare = \"p.toml\"\n";
  const std::string line = c.key + " = " + c.toml + "\n";
  if (c.table == "batch") return {"\n" + line + zone, c.key};
  if (c.table == "layer") return {"[defaults]\n" + line + zone, "defaults." + c.key};
  if (c.table == "openquake") return {"[openquake]\n" + line + zone, "openquake." + c.key};
  if (c.table == "zone") return {"[[zone]]\n" + line, "zone." + c.key};
  if (c.table == "alternative") {
    return {"\nbranch_set = [{ name = \"b\", alternative = [{ " + c.key + " = " + c.toml +
                " }] }]\n" + zone,
            "branch_set.alternative." + c.key};
  }
  return {};
}

// The message of the job reader for KEY = VALUE in its table.
std::string JobMessage(const RefusedOption& c) {
  if (const auto [job, key] = BatchCase(c); !job.empty()) {
    return Message([&, job = job] { ParseBatchJob(job, "job.toml", "."); });
  }
  const std::string table = c.table == "prepare" ? "" : "[" + c.table + "]";
  return Message([&] { ParsePrepareToml(table + "\n" + c.key + " = " + c.toml, "job.toml", "."); });
}

// The value stored without the row's check (where the member can hold it),
// then refused by the library's Validate with the key and the bound.
template <class Options>
void CheckValidateRefuses(std::span<const OptionsRow<Options>> rows, const RefusedOption& c,
                          void (*validate)(const Options&)) {
  const OptionsRow<Options>* row = FindOption(rows, c.key);
  ASSERT_NE(row, nullptr) << c.key;
  const toml::table parsed = toml::parse("v = " + c.toml);
  const SettingValue value = TomlSettingValue(*parsed.get("v"));
  const double* number = std::get_if<double>(&value);
  if (row->type == SettingType::Whole && number != nullptr && *number != std::floor(*number)) {
    return;  // a whole member cannot hold a fraction: the readers' refusal
  }
  if (row->type == SettingType::Whole && number != nullptr && *number < 0) return;  // unsigned
  Options options;
  try {
    row->set(options, value);
  } catch (const std::exception&) {
    return;  // a value of another type, a date that does not exist: no member holds it
  }
  try {
    validate(options);
    ADD_FAILURE() << "accepted by Validate";
  } catch (const InvalidSetting& e) {
    EXPECT_EQ(e.key(), c.key);
    EXPECT_NE(e.expected().find(c.bound), std::string::npos) << e.what();
  } catch (const ReadingError& e) {  // the relations' check names the source too
    EXPECT_NE(e.expected().find("for '" + c.key + "' " + c.bound), std::string::npos) << e.what();
  }
}

TEST(Settings, TheJobReadersAndValidateRefuseAnOptionNamingTheKeyAndTheBound) {
  const std::vector<RefusedOption> cases = RefusedOptions();
  ASSERT_GE(cases.size(), 25u);
  for (const RefusedOption& c : cases) {
    SCOPED_TRACE(c.table + "." + c.key + " = " + c.toml);
    const std::string message = JobMessage(c);
    std::string key = c.table == "prepare" ? c.key : c.table + "." + c.key;
    if (!BatchCase(c).first.empty()) key = BatchCase(c).second;
    EXPECT_EQ(message.rfind("job.toml, line 2: read ", 0), 0u) << message;
    EXPECT_NE(message.find("expected for '" + key + "' "), std::string::npos) << message;
    EXPECT_NE(message.find(c.bound), std::string::npos) << message;
    // The prepare job's own keys in the tables ("select.zone") have no Validate.
    if (FindOption(PrepareJobSettings(), c.table + "." + c.key) != nullptr) continue;
    if (c.table == "read") CheckValidateRefuses<ReadOptions>(ReadSettings(), c, Validate);
    if (c.table == "select") CheckValidateRefuses<Selection>(SelectionSettings(), c, Validate);
    if (c.table == "decluster") {
      CheckValidateRefuses<DeclusterOptions>(DeclusterSettings(), c, Validate);
    }
    if (c.table == "split") CheckValidateRefuses<SplitOptions>(SplitSettings(), c, Validate);
    if (c.table == "batch") CheckValidateRefuses<BatchJob>(BatchSettings(), c, Validate);
    if (c.table == "homogenise") {
      CheckValidateRefuses<HomogeniseOptions>(HomogeniseSettings(), c, ValidateHomogenise);
    }
    if (c.table == "completeness") {
      CheckValidateRefuses<CompletenessOptions>(CompletenessSettings(), c, ValidateCompleteness);
    }
  }
}

// The files, lists and tables as the jobs hold them: file names from the job
// file's folder (unless absolute), one text as a list of one, a table of
// texts by name, rows as a text, the empty table's word, the columns a table
// row leaves out.
TEST(Settings, FilesListsAndTablesReachTheJob) {
  const PrepareJob job = ParsePrepareToml(
      "catalog = \"c.csv\"\n[read]\ncolumns = { magnitude = \"mag\", depth = \"\" }\n"
      "[select]\nmagnitude_types = \"Mw\"\n[split]\ncompleteness = \"1964:5.5, 1990:5\"\n"
      "[completeness]\nfigures = \"/abs/figures\"\n[classic]\ndirectory = \"out\"\n",
      "job.toml", "/base");
  EXPECT_EQ(job.catalog, "/base/c.csv");
  EXPECT_EQ(job.completeness_figures, "/abs/figures");
  EXPECT_EQ(job.classic_directory, std::filesystem::path("/base/out"));
  EXPECT_EQ(job.read.columns,
            (std::map<std::string, std::string>{{"depth", ""}, {"magnitude", "mag"}}));
  EXPECT_EQ(job.selection.magnitude_types, std::vector<std::string>{"Mw"});
  ASSERT_EQ(job.split.completeness.size(), 2u);
  EXPECT_EQ(job.split.completeness[1].year, 1990);
  EXPECT_EQ(job.split.completeness[0].threshold, 5.5f);
  EXPECT_FALSE(job.completeness_auto);
  const PrepareJob automatic = ParsePrepareToml("[split]\ncompleteness = \"AUTO\"", "j", ".");
  EXPECT_TRUE(automatic.completeness_auto);
  EXPECT_TRUE(automatic.split.completeness.empty());

  const BatchJob batch = ParseBatchJob(
      "[openquake]\nnodal_planes = [{ strike = 10, probability = 1 }]\nhypo_depths = "
      "\"catalog\"\nlocation = [170, -20]\n[[zone]]\nname = \"a\"\nprepare = \"p.toml\"\n"
      "completeness = \"auto\"\n[zone.openquake]\nhypo_depths = [[5, 0.25], [10, 0.75]]\n",
      "job.toml", "/base");
  ASSERT_TRUE(batch.openquake.nodal_planes.has_value());
  const NodalPlane& plane = batch.openquake.nodal_planes->front();
  EXPECT_EQ(std::vector<double>({plane.strike, plane.dip, plane.rake, plane.probability}),
            std::vector<double>({10, 90, 0, 1}));
  EXPECT_FALSE(batch.openquake.hypo_depths.has_value());
  EXPECT_EQ(batch.openquake.hypo_depth_bin, kDefaultHypoDepthBin);
  EXPECT_EQ(batch.openquake.location, (std::array<double, 2>{170, -20}));
  const BatchZone& zone = batch.zones.front();
  EXPECT_EQ(zone.prepare, "p.toml");  // the planner takes it from the job's folder
  EXPECT_TRUE(zone.settings.completeness && zone.settings.completeness->empty());
  ASSERT_TRUE(zone.openquake.hypo_depths.has_value());
  EXPECT_EQ(zone.openquake.hypo_depths->back().probability, 0.75);
  EXPECT_FALSE(zone.openquake.hypo_depth_bin.has_value());
}

// The columns of magnitudes as (type, column, SD column) triples.
using MagnitudeColumns = std::vector<std::vector<std::string>>;
MagnitudeColumns Triples(const ReadOptions& options) {
  MagnitudeColumns triples;
  for (const auto& m : options.magnitude_columns)
    triples.push_back({m.type, m.column, m.sd_column});
  return triples;
}

// The magnitude columns of a job's [read] in its forms: an array of tables
// (fields left out, any order), texts "TYPE=COLUMN[:SD]" in the file, and
// texts one at a time as the command line gives them, adding to the job's;
// the row's value of the options set again gives the same options. A name
// may hold '=' and ':' after the type's '=' (the SD's name too).
TEST(Settings, MagnitudeColumnsAreTheSameInEveryForm) {
  const MagnitudeColumns expected = {
      {"Ms", "MS", "MS_unc"}, {"mb", "M=B", ""}, {"ML", "ml", "a:b"}};
  const auto parsed = [](const std::string& value) {
    return ParsePrepareToml("[read]\nmagnitude_columns = " + value, "job.toml", ".").read;
  };
  const ReadOptions tables = parsed(
      "[{ type = \"Ms\", column = \"MS\", sd = \"MS_unc\" }, { column = \"M=B\", type = "
      "\"mb\" },\n  { type = \"ML\", sd = \"a:b\", column = \"ml\" }]");
  EXPECT_EQ(Triples(tables), expected);
  EXPECT_EQ(Triples(parsed("[\"Ms=MS:MS_unc\", \"mb=M=B\", \"ML=ml:a:b\"]")), expected);
  EXPECT_EQ(Triples(ParsePrepareToml("[[read.magnitude_columns]]\ntype = \"Ms\"\ncolumn = "
                                     "\"MS\"\nsd = \"MS_unc\"\n",
                                     "job.toml", ".")
                        .read),
            MagnitudeColumns(expected.begin(), expected.begin() + 1));

  const OptionsRow<ReadOptions>& row = *FindOption(ReadSettings(), "magnitude_columns");
  ReadOptions given = parsed("\"Ms=MS:MS_unc\"");
  for (const std::string text : {"mb=M=B", "ML=ml:a:b"}) SetOption(given, row, text);
  EXPECT_EQ(Triples(given), expected);
  ReadOptions again;
  SetOption(again, row, row.get(tables));
  EXPECT_EQ(Triples(again), expected);
  EXPECT_EQ(row.get(ReadOptions{}), SettingValue{});

  // Options made without the row (Python's read_catalog) are checked by Validate.
  ReadOptions untyped;
  untyped.magnitude_columns = {{"", "MS", ""}};
  EXPECT_THROW(Validate(untyped), InvalidSetting);
}

// The key tables of the docs are the tables': the text between the markers
// "<!-- the settings table (NAME) -->" and "<!-- end of the settings table -->"
// is what the table NAME writes, and every table of a doc is there.
TEST(Settings, DocsKeyTablesAreTheTables) {
  const std::map<std::string, std::string> tables = {
      {"SettingsMarkdownTable", SettingsMarkdownTable(false)},
      {"PrepareJobSettings", OptionsMarkdownTable(PrepareJobSettings())},
      {"ReadSettings", OptionsMarkdownTable(ReadSettings())},
      {"SelectionSettings", OptionsMarkdownTable(SelectionSettings())},
      {"DeclusterSettings", OptionsMarkdownTable(DeclusterSettings())},
      {"SplitSettings", OptionsMarkdownTable(SplitSettings())},
      {"CompletenessSettings", OptionsMarkdownTable(CompletenessSettings())},
      {"HomogeniseSettings", OptionsMarkdownTable(HomogeniseSettings())},
      {"SettingsMarkdownTable prepare_job", SettingsMarkdownTable(true)},
      {"BatchSettings", OptionsMarkdownTable(BatchSettings())},
      {"LayerSettings", OptionsMarkdownTable(LayerSettings())},
      {"ZoneSettings", OptionsMarkdownTable(ZoneSettings())},
      {"ClassicFileSettings", OptionsMarkdownTable(ClassicFileSettings())},
      {"AlternativeSettings", OptionsMarkdownTable(AlternativeSettings())},
      {"OpenQuakeSettings", OptionsMarkdownTable(OpenQuakeSettings())}};
  const std::map<std::string, std::vector<std::string>> docs = {
      {"batch.md",
       {"BatchSettings", "SettingsMarkdownTable", "LayerSettings", "ZoneSettings",
        "ClassicFileSettings", "AlternativeSettings", "OpenQuakeSettings"}},
      {"catalogs.md",
       {"PrepareJobSettings", "ReadSettings", "SelectionSettings", "DeclusterSettings",
        "SplitSettings", "SettingsMarkdownTable prepare_job", "HomogeniseSettings",
        "CompletenessSettings"}}};
  const std::string begin = "<!-- the settings table (";
  const std::string end = "<!-- end of the settings table -->";
  for (const auto& [doc, names] : docs) {
    std::ifstream in(std::string(QEV_EXAMPLES_DIR "/../docs/") + doc);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> found;
    for (std::size_t from = text.find(begin); from != std::string::npos;
         from = text.find(begin, from + 1)) {
      const std::size_t close = text.find(") -->\n", from);
      const std::size_t to = text.find(end, from);
      ASSERT_NE(close, std::string::npos) << doc;
      ASSERT_NE(to, std::string::npos) << doc;
      const std::string name = text.substr(from + begin.size(), close - from - begin.size());
      ASSERT_EQ(tables.count(name), 1u) << doc << ": " << name;
      found.push_back(name);
      EXPECT_EQ(text.substr(close + 6, to - close - 6), tables.at(name))
          << doc << " should hold, between the markers of " << name << ":\n"
          << tables.at(name);
    }
    EXPECT_EQ(found, names) << doc;
  }
}

}  // namespace
}  // namespace qev
