// The settings table: each key reaches its own member, every front end
// refuses a value with the same key and bound, and the docs' key tables are
// the table's.
#include "qev/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "events/settings_toml.h"
#include "qev/batch.h"
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

// The key tables of docs/batch.md and docs/catalogs.md are the table's: the
// text between the markers is what SettingsMarkdownTable writes.
TEST(Settings, DocsKeyTablesAreTheTable) {
  const std::string begin = "<!-- the settings table (SettingsMarkdownTable) -->\n";
  const std::string end = "<!-- end of the settings table -->";
  for (const auto& [doc, prepare_job] :
       {std::pair{"batch.md", false}, std::pair{"catalogs.md", true}}) {
    std::ifstream in(std::string(QEV_EXAMPLES_DIR "/../docs/") + doc);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t from = text.find(begin);
    const std::size_t to = text.find(end, from);
    ASSERT_NE(from, std::string::npos) << doc;
    ASSERT_NE(to, std::string::npos) << doc;
    EXPECT_EQ(text.substr(from + begin.size(), to - from - begin.size()),
              SettingsMarkdownTable(prepare_job))
        << doc << " should hold, between the markers:\n"
        << SettingsMarkdownTable(prepare_job);
  }
}

}  // namespace
}  // namespace qev
