// qev-prepare: from a catalog file to the parts of a qev catalog (and the
// classic files with an answers file).
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "companion/manpage.h"
#include "qev/event_settings.h"
#include "qev/prepare.h"
#include "qev/version.h"
#include "textio/files.h"
#ifdef QEV_WITH_ANALYZE
#include <cstdio>

#include "qev/analysis.h"
#endif
#include "qev_prepare_manual.h"

namespace {

// The declustering methods' names come from their table.
std::string Usage() {
  return "Usage: qev-prepare [--config FILE.toml] [--format csv|zmap|quakeml] [--column "
         "ROLE=NAME]...\n"
         "                   [--magnitude-column TYPE=NAME[:SDNAME]]... [--default-sd SD]\n"
         "                   [--skip-bad-rows] [--homogenise FILE.toml]\n"
         "                   [--from DATE] [--until DATE]\n"
         "                   [--min-magnitude M] [--max-magnitude M] [--magnitude-type T]...\n"
         "                   [--min-depth KM] [--max-depth KM] [--zone FILE | --zone-wkt TEXT]\n"
         "                   [--decluster " +
         qev::DeclusterMethodNames("|") +
         "|none] [--foreshock-fraction F]\n"
         "                   [--decluster-parameter KEY=VALUE]...\n"
         "                   [--completeness YEAR:MC,...|auto] [--completeness-method "
         "windows|stepp]\n"
         "                   [--mc-method maxc|gft90|gft95|mbs] [--completeness-set KEY=VALUE]...\n"
         "                   [--completeness-figures DIR] [--end DATE] [--extreme-window YEARS]\n"
         "                   [--extreme-from DATE] [--extreme-to DATE] [--empty-windows "
         "merge|refuse]\n"
         "                   [--mmin M] [--sig-xmax SD]\n"
         "                   [--procedure cramer|bayes] [--prior-b B] [--prior-b-sd SD]\n"
         "                   [--mmax M | --mmax-cap M] [--strict]\n"
         "                   [--classic DIR] [--prefix NAME] [--report NAME] [--analyze] "
         "[CATALOG]\n"
         "       qev-prepare -h | --help | --version\n"
         "--mmin defaults to the lowest level of the catalog less 0.1, so that Lambda is\n"
         "given where the data begin (qev suggests one unit less; Beta and Mmax do not\n"
         "depend on it).\n";
}

// The declustering methods and their parameters, from their tables: printed
// after the usage (-h) and the manual page (--help).
std::string DeclusterHelp() {
  std::string text = "Declustering methods (--decluster):\n";
  for (const qev::DeclusterMethodInfo& m : qev::DeclusterMethods()) {
    std::string name(m.name);
    if (!m.aliases.empty()) name += " (" + std::string(m.aliases) + ")";
    name.resize(std::max<std::size_t>(name.size(), 26), ' ');
    text += "  " + name + " " + std::string(m.description) + "\n";
  }
  text += "Their parameters (--decluster-parameter KEY=VALUE, [decluster] KEY = VALUE):\n";
  for (const qev::DeclusterParameterInfo& p : qev::DeclusterParameters()) {
    std::string key(p.key);
    key.resize(std::max<std::size_t>(key.size(), 26), ' ');
    text += "  " + key + " " + std::string(p.description) + "; " + std::string(p.methods) + "\n";
  }
  return text;
}

#ifdef QEV_WITH_ANALYZE
// Analyze on the prepared parts with the job's settings (the same the answers
// file gives the classic session), printed with the parameters' SDs.
qev::AnalysisResult AnalyzeParts(const qev::PrepareReport& report, const qev::PrepareJob& job) {
  return qev::Analyze(report.split.catalog, qev::PrepareAnalysisOptions(report, job));
}

const char* MmaxWords(const qev::AnalysisResult& a) {
  switch (a.mmax_status) {
    case qev::MmaxStatus::Settled:
      return "the suggested Mmax settled";
    case qev::MmaxStatus::Fixed:
      return "Mmax fixed";
    case qev::MmaxStatus::Unsettled:
      break;
  }
  return "the suggested Mmax did not settle";
}

std::string FormatAnalysis(const qev::AnalysisResult& a) {
  char text[512];
  std::snprintf(text, sizeof text,
                "Analyze (%s, Mmin %.2f): %zu runs, %s\n"
                "  Beta   = %.3f +- %.3f  (b = %.3f +- %.3f)\n"
                "  Lambda = %.3f +- %.3f events a year at or above Mmin\n"
                "  Mmax   = %.2f +- %.2f\n",
                a.runs.empty() || !a.runs.back().suggested_mmax ? "no Mmax procedure"
                                                                : "suggestions followed",
                static_cast<double>(a.settings.mmin), a.runs.size(), MmaxWords(a),
                static_cast<double>(a.beta), static_cast<double>(a.uncertainties.sd_beta),
                static_cast<double>(a.uncertainties.b), static_cast<double>(a.uncertainties.sd_b),
                static_cast<double>(a.lambda), static_cast<double>(a.uncertainties.sd_lambda),
                static_cast<double>(a.mmax), static_cast<double>(a.uncertainties.sd_mmax));
  return text;
}
#endif

// An option made from a row of the settings tables (--KEY with '-' for '_';
// a flag for a row of true or false), applied to the job through the row.
struct TableOption {
  const qev::SettingTerms* terms = nullptr;
  std::string value;
  bool flag = false;
  CLI::Option* option = nullptr;
  std::function<void(qev::PrepareJob&, const qev::SettingValue&)> apply;
};

// The command line as given, before it is applied to the job.
struct CommandLine {
  bool short_help = false;
  bool help = false;
  bool version = false;
  std::string config, catalog, homogenise, zone, zone_wkt, decluster, completeness,
      completeness_method, mc_method, completeness_figures, classic, prefix, report;
  std::vector<std::string> columns, magnitude_columns, magnitude_types, completeness_set,
      decluster_parameters;
  double fraction = 0;
  bool analyze = false;
  // To tell a given 0 from none.
  CLI::Option* o_fraction = nullptr;
  // The options of the rows of the prepare job's settings tables.
  std::vector<TableOption> table_options;
  // The analysis settings of a prepare job, one option per row of the
  // settings table (--KEY with '-' for '_').
  struct Setting {
    const qev::SettingRow* row = nullptr;
    std::string value;
    CLI::Option* option = nullptr;
  };
  std::vector<Setting> settings;
};

// The option of the settings row whose layer member is `member`.
template <class T>
CLI::Option* SettingOption(const CommandLine& c, std::optional<T> qev::AnalysisLayer::*member) {
  qev::AnalysisLayer probe;
  probe.*member = T{};
  for (const CommandLine::Setting& s : c.settings) {
    if (s.row->is_set(probe)) return s.option;
  }
  return nullptr;
}

void AddSettingOptions(CLI::App& app, CommandLine& c) {
  for (const qev::SettingRow& row : qev::AnalysisSettings()) {
    if (row.prepare_job) c.settings.push_back({&row, {}, nullptr});
  }
  for (CommandLine::Setting& s : c.settings) {
    std::string name = "--" + std::string(s.row->key);
    std::replace(name.begin(), name.end(), '_', '-');
    s.option = app.add_option(name, s.value);
  }
  SettingOption(c, &qev::AnalysisLayer::mmax_values)
      ->excludes(SettingOption(c, &qev::AnalysisLayer::mmax_cap));
}

// Whether a row is an option --KEY of its own: a value of one word, not a
// file, a list or a table (those have options of their own forms: --zone,
// --magnitude-type, --column, --magnitude-column, --completeness, ...), nor a key of a table.
bool OwnOption(const qev::SettingTerms& terms) {
  using qev::SettingType;
  return terms.key.find('.') == std::string_view::npos && terms.type != SettingType::Path &&
         terms.type != SettingType::Texts && terms.type != SettingType::Rows &&
         terms.type != SettingType::Labels && terms.type != SettingType::Records;
}

// The rows of one table, each applied to the part of the job `part` gives.
template <class Options>
void AddTable(CommandLine& c, std::span<const qev::OptionsRow<Options>> rows,
              Options& (*part)(qev::PrepareJob&)) {
  for (const qev::OptionsRow<Options>& row : rows) {
    if (!OwnOption(row)) continue;
    TableOption& t = c.table_options.emplace_back();
    t.terms = &row;
    t.apply = [&row, part](qev::PrepareJob& job, const qev::SettingValue& value) {
      qev::SetOption(part(job), row, value);
    };
  }
}

void AddTableOptions(CLI::App& app, CommandLine& c) {
  AddTable<qev::PrepareJob>(
      c, qev::PrepareJobSettings(), [](qev::PrepareJob & j) -> auto& { return j; });
  AddTable<qev::ReadOptions>(
      c, qev::ReadSettings(), [](qev::PrepareJob & j) -> auto& { return j.read; });
  AddTable<qev::Selection>(
      c, qev::SelectionSettings(), [](qev::PrepareJob & j) -> auto& { return j.selection; });
  AddTable<qev::SplitOptions>(
      c, qev::SplitSettings(), [](qev::PrepareJob & j) -> auto& { return j.split; });
  for (TableOption& t : c.table_options) {
    std::string name = "--" + std::string(t.terms->key);
    std::replace(name.begin(), name.end(), '_', '-');
    t.option = t.terms->type == qev::SettingType::Flag ? app.add_flag(name, t.flag)
                                                       : app.add_option(name, t.value);
  }
}

void AddOptions(CLI::App& app, CommandLine& c) {
  app.set_help_flag();
  app.add_flag("-h", c.short_help);
  app.add_flag("--help", c.help);
  app.add_flag("--version", c.version);
  app.add_option("--config", c.config);
  AddTableOptions(app, c);
  // One value an occurrence, so that the catalog after it stays the catalog.
  app.add_option("--column", c.columns)->allow_extra_args(false);
  app.add_option("--magnitude-column", c.magnitude_columns)->allow_extra_args(false);
  app.add_option("--homogenise", c.homogenise);
  app.add_option("--magnitude-type", c.magnitude_types)->delimiter(',')->allow_extra_args(false);
  auto* o_zone = app.add_option("--zone", c.zone);
  auto* o_wkt = app.add_option("--zone-wkt", c.zone_wkt);
  o_zone->excludes(o_wkt);
  app.add_option("--decluster", c.decluster);
  c.o_fraction = app.add_option("--foreshock-fraction", c.fraction);
  app.add_option("--decluster-parameter", c.decluster_parameters)
      ->delimiter(',')
      ->allow_extra_args(false);
  app.add_option("--completeness", c.completeness);
  app.add_option("--completeness-method", c.completeness_method);
  app.add_option("--mc-method", c.mc_method);
  app.add_option("--completeness-set", c.completeness_set)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--completeness-figures", c.completeness_figures);
  AddSettingOptions(app, c);
  app.add_option("--classic", c.classic);
  app.add_option("--prefix", c.prefix);
  app.add_option("--report", c.report);
  app.add_option("catalog", c.catalog);
#ifdef QEV_WITH_ANALYZE
  app.add_flag("--analyze", c.analyze);
#endif
}

// The job file, if one is given, else the defaults.
qev::PrepareJob ReadJob(const CommandLine& c) {
  if (c.config.empty()) return {};
  const std::string text = qev::ReadRegularFile(c.config, "the job file", qev::kLargestJobFile);
  qev::PrepareJob job =
      qev::ParsePrepareToml(text, c.config, std::filesystem::path(c.config).parent_path());
  job.job_file = c.config;
  return job;
}

// A value as typed: a number when the whole text is one, else the text.
qev::SettingValue TypedValue(const std::string& text) {
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  if (!text.empty() && end == text.c_str() + text.size()) return number;
  return text;
}

// The options of the settings tables, refused as --KEY VALUE: expected ...
void ApplyTableOptions(const CommandLine& c, qev::PrepareJob& job) {
  for (const TableOption& t : c.table_options) {
    if (t.option->count() == 0) continue;
    const qev::SettingValue value = t.flag ? qev::SettingValue(true) : TypedValue(t.value);
    try {
      t.apply(job, value);
    } catch (const qev::InvalidSetting& e) {
      throw qev::Error(t.option->get_name() + " " + t.value + ": expected " + e.expected());
    }
  }
}

// The value of an option of its own form, set through the row of `key`
// (refused naming the option, the value and what the row takes).
template <class Options>
void SetThroughRow(Options& options, std::span<const qev::OptionsRow<Options>> rows,
                   std::string_view key, const std::string& option, const std::string& given,
                   const qev::SettingValue& value) {
  try {
    qev::SetOption(options, *qev::FindOption(rows, key), value);
  } catch (const qev::InvalidSetting& e) {
    throw qev::Error(option + " " + given + ": expected " + e.expected());
  }
}

void ApplyReading(const CommandLine& c, qev::PrepareJob& job) {
  if (!c.catalog.empty()) job.catalog = c.catalog;
  if (job.catalog.empty()) throw qev::Error("no catalog file given");
  // ROLE= (no name) switches the role off.
  for (const std::string& column : c.columns) {
    SetThroughRow(job.read, qev::ReadSettings(), "columns", "--column", column,
                  std::vector<std::string>{column});
  }
  // TYPE=NAME[:SDNAME], each added to the job's.
  for (const std::string& column : c.magnitude_columns) {
    SetThroughRow(job.read, qev::ReadSettings(), "magnitude_columns", "--magnitude-column", column,
                  std::vector<std::string>{column});
  }
  if (!c.homogenise.empty()) job.homogenise = qev::ReadHomogeniseFile(c.homogenise);
}

void ApplySelection(const CommandLine& c, qev::PrepareJob& job) {
  qev::Selection& s = job.selection;
  if (!c.magnitude_types.empty()) {
    std::string given;
    for (const std::string& type : c.magnitude_types) given += (given.empty() ? "" : ",") + type;
    SetThroughRow(s, qev::SelectionSettings(), "magnitude_types", "--magnitude-type", given,
                  c.magnitude_types);
  }
  if (!c.zone.empty()) {
    SetThroughRow(job, qev::PrepareJobSettings(), "select.zone", "--zone", c.zone, c.zone);
  }
  if (!c.zone_wkt.empty()) {
    SetThroughRow(job, qev::PrepareJobSettings(), "select.zone_wkt", "--zone-wkt", c.zone_wkt,
                  c.zone_wkt);
  }
}

// A declustering parameter given as KEY=VALUE.
std::pair<std::string, double> KeyValue(const std::string& parameter) {
  const std::size_t equals = parameter.find('=');
  double value = 0.0;
  std::size_t used = 0;
  if (equals != std::string::npos && equals > 0) {
    try {
      value = std::stod(parameter.substr(equals + 1), &used);
      used += equals + 1;
    } catch (const std::exception&) {
      used = 0;
    }
  }
  if (used == 0 || used != parameter.size()) {
    throw qev::Error("--decluster-parameter " + parameter +
                     ": expected KEY=VALUE, e.g. tau_max=10");
  }
  return {parameter.substr(0, equals), value};
}

void ApplyDecluster(const CommandLine& c, qev::PrepareJob& job) {
  if (!c.decluster.empty()) {
    if (c.decluster == "none") {
      job.decluster.reset();
    } else {
      job.decluster = qev::DeclusterOptions{};
      job.decluster->method = qev::ParseDeclusterMethod(c.decluster, "option --decluster");
    }
  }
  if (c.o_fraction->count()) {
    if (!job.decluster) throw qev::Error("--foreshock-fraction needs --decluster");
    if (!(c.fraction >= 0.0 && c.fraction <= 1.0)) {
      throw qev::Error("--foreshock-fraction: expected a fraction from 0 to 1");
    }
    job.decluster->foreshock_fraction = c.fraction;
  }
  for (const std::string& parameter : c.decluster_parameters) {
    if (!job.decluster) throw qev::Error("--decluster-parameter needs --decluster");
    const auto [key, value] = KeyValue(parameter);
    qev::SetDeclusterParameter(*job.decluster, key, value, "option --decluster-parameter");
  }
  if (job.decluster) qev::Validate(*job.decluster);
}

// --completeness auto and the options of the estimate.
void ApplyCompleteness(const CommandLine& c, qev::PrepareJob& job) {
  if (!c.completeness.empty()) {
    SetThroughRow(job, qev::PrepareJobSettings(), "split.completeness", "--completeness",
                  c.completeness, c.completeness);
  }
  if (!c.completeness_method.empty()) {
    qev::SetCompletenessOption(job.completeness, "table", c.completeness_method, "option");
  }
  if (!c.mc_method.empty()) {
    qev::SetCompletenessOption(job.completeness, "mc_method", c.mc_method, "option");
  }
  for (const std::string& pair : c.completeness_set) {
    const std::size_t equals = pair.find('=');
    if (equals == std::string::npos || equals == 0) {
      throw qev::Error("--completeness-set " + pair + ": expected KEY=VALUE, e.g. bootstrap=500");
    }
    qev::SetCompletenessOption(job.completeness, pair.substr(0, equals), pair.substr(equals + 1),
                               "option --completeness-set");
  }
  if (!c.completeness_figures.empty()) {
    SetThroughRow(job, qev::PrepareJobSettings(), "completeness.figures", "--completeness-figures",
                  c.completeness_figures, c.completeness_figures);
  }
  const bool asked = !c.completeness_method.empty() || !c.mc_method.empty() ||
                     !c.completeness_set.empty() || !c.completeness_figures.empty();
  if (asked && !job.completeness_auto) {
    throw qev::Error("the completeness options need --completeness auto");
  }
  job.completeness.Validate();
}

void ApplySplit(const CommandLine& c, qev::PrepareJob& job) {
  ApplyCompleteness(c, job);
  if (job.split.completeness.empty() && !job.completeness_auto &&
      job.split.extreme_window_years == 0) {
    throw qev::Error(
        "no part to make: give a completeness table (--completeness) and/or an extreme window "
        "(--extreme-window)");
  }
}

void ApplySession(const CommandLine& c, qev::PrepareJob& job) {
  qev::AnalysisLayer given;
  for (const CommandLine::Setting& s : c.settings) {
    if (s.option->count() == 0) continue;
    char* end = nullptr;
    const double number = std::strtod(s.value.c_str(), &end);
    qev::SettingValue value = s.value;
    if (!s.value.empty() && end == s.value.c_str() + s.value.size()) value = number;
    try {
      qev::SetSetting(given, *s.row, value, qev::Units::Magnitude);  // events are magnitudes
    } catch (const qev::InvalidSetting& e) {
      throw qev::Error(s.option->get_name() + " " + s.value + ": expected " + e.expected());
    }
  }
  if (given.procedure == qev::MmaxProcedure::None) {
    throw qev::Error(SettingOption(c, &qev::AnalysisLayer::procedure)->get_name() +
                     " none: expected cramer or bayes (the classic answers need a procedure)");
  }
  // A fixed Mmax and a cap on the command line replace either of the job's.
  if (given.mmax_values || given.mmax_cap) {
    job.analysis.mmax_values.reset();
    job.analysis.mmax_cap.reset();
  }
  job.analysis.Overlay(given);
  if (!c.classic.empty()) job.classic_directory = c.classic;
  if (!c.prefix.empty()) job.classic_prefix = c.prefix;
  if (!c.report.empty()) job.session.report_name = c.report;
}

#ifdef QEV_WITH_ANALYZE
// The classic files wait for the analysis, so that their answers follow the
// same runs (each run's Mmax the suggestion of the run before, until it
// settles). With --analyze the estimates are printed after the summary and
// an analysis that fails is the tool's error; without it they only give the
// answers, and an analysis that fails leaves the session with one run, as the
// summary then says.
void PrepareAndAnalyze(qev::PrepareJob job, bool print) {
  const std::optional<std::filesystem::path> directory = job.classic_directory;
  job.classic_directory.reset();
  qev::PrepareReport result = qev::RunPrepare(job);
  std::optional<qev::AnalysisResult> analysis;
  std::string unanalysed;
  try {
    analysis = AnalyzeParts(result, job);
  } catch (const qev::Error& error) {
    if (print) throw;
    unanalysed = std::string("the answers stop after run 1 (no analysis: ") + error.what() + ")\n";
  }
  // The checks of the analysis (the prior's weight, Weichert's b) where it is printed.
  const std::vector<qev::InputWarning> warnings =
      print ? qev::CheckPrepared(result, job, &*analysis) : result.warnings;
  if (job.strict) qev::RefuseWarnings(warnings);
  if (directory) {
    qev::ClassicFilesOptions options;
    options.directory = *directory;
    options.prefix = job.classic_prefix;
    options.session = qev::ClassicSessionOf(result, job);
    // The classic session starts from the program's point; a first run at
    // another Mmax (a fixed one) is typed after it.
    if (analysis && !analysis->runs.empty() && analysis->runs[0].mmax != analysis->start.mmax) {
      options.session.next_mmax.push_back(analysis->runs[0].mmax);
    }
    for (std::size_t k = 1; analysis && k < analysis->runs.size(); ++k) {
      options.session.next_mmax.push_back(analysis->runs[k].mmax);
    }
    // Without an analysis the runs at the Mmax the user fixed are still
    // typed, so that the classic checks see them (an Mmax below Xmax gives no
    // estimate and is no answer the classic program takes).
    if (!analysis && job.analysis.mmax_values) {
      for (const float mmax : *job.analysis.mmax_values) options.session.next_mmax.push_back(mmax);
    }
    options.inputs.emplace_back(job.catalog);
    if (!job.zone_file.empty()) options.inputs.emplace_back(job.zone_file);
    if (!job.job_file.empty()) options.inputs.emplace_back(job.job_file);
    result.classic = qev::WriteClassicFiles(result.split, options);
  }
  std::cout << qev::FormatPrepareSummary(result);
  if (print) std::cout << FormatAnalysis(*analysis);
  if (directory) std::cout << unanalysed;
  std::cout << qev::FormatChecks(result, warnings, print ? &*analysis : nullptr);
}
#endif

int Run(int argc, char** argv) {
  CLI::App app("qev-prepare");
  CommandLine c;
  AddOptions(app, c);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    std::cerr << "ERROR: " << error.what() << "\n" << Usage();
    return 1;
  }
  if (c.version) {
    std::cout << "qev-prepare " << QEV_VERSION_STRING << "\n";
    return 0;
  }
  if (c.help) {
    std::cout << qev::companion::RenderManPage(kManual) << "\n" << DeclusterHelp();
    return 0;
  }
  if (c.short_help) {
    std::cout << Usage() << DeclusterHelp() << "For full documentation type: qev-prepare --help\n";
    return 0;
  }
  qev::RemoveOutputTemporariesOnSignals();
  // Options given on the command line override the job file.
  qev::PrepareJob job = ReadJob(c);
  ApplyTableOptions(c, job);
  ApplyReading(c, job);
  ApplySelection(c, job);
  ApplyDecluster(c, job);
  ApplySplit(c, job);
  ApplySession(c, job);
#ifdef QEV_WITH_ANALYZE
  if (c.analyze || job.classic_directory) {
    PrepareAndAnalyze(std::move(job), c.analyze);
    return 0;
  }
#endif
  const qev::PrepareReport report = qev::RunPrepare(job);
  std::cout << qev::FormatPrepareSummary(report) << qev::FormatChecks(report, report.warnings);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Every failure, also one of setting up the command line, is one line.
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "ERROR: " << error.what() << "\n";
  }
  return 1;
}
