// qev-prepare: from a catalog file to the parts of a qev catalog (and the
// classic files with an answers file).
#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "companion/manpage.h"
#include "qev/prepare.h"
#include "textio/files.h"
#ifdef QEV_WITH_ANALYZE
#include <cstdio>

#include "qev/analysis.h"
#endif
#include "qev_prepare_manual.h"

namespace {

constexpr const char* kUsage =
    "Usage: qev-prepare [--config FILE.toml] [--format csv|zmap|quakeml] [--column ROLE=NAME]...\n"
    "                   [--default-sd SD] [--skip-bad-rows] [--from DATE] [--until DATE]\n"
    "                   [--min-magnitude M] [--max-magnitude M] [--magnitude-type T]...\n"
    "                   [--min-depth KM] [--max-depth KM] [--zone FILE | --zone-wkt TEXT]\n"
    "                   [--decluster gk|uhrhammer|gruenthal|none] [--foreshock-fraction F]\n"
    "                   [--completeness YEAR:MC,...] [--end DATE] [--extreme-window YEARS]\n"
    "                   [--extreme-from DATE] [--extreme-to DATE] [--mmin M] [--sig-xmax SD]\n"
    "                   [--procedure cramer|bayes] [--prior-b B] [--prior-b-sd SD]\n"
    "                   [--classic DIR] [--prefix NAME] [--report NAME] [--analyze] [CATALOG]\n"
    "       qev-prepare -h | --help | --version\n"
    "--mmin defaults to the lowest level of the catalog less 0.1, so that Lambda is\n"
    "given where the data begin (qev suggests one unit less; Beta and Mmax do not\n"
    "depend on it).\n";

qev::CivilDate Date(const std::string& text, const std::string& option) {
  return qev::ParseDate(text, "option " + option);
}

#ifdef QEV_WITH_ANALYZE
// Analyze on the prepared parts with the job's settings (the same the answers
// file gives the classic session), printed with the parameters' SDs.
qev::AnalysisResult AnalyzeParts(const qev::PrepareReport& report, const qev::PrepareJob& job) {
  qev::AnalysisOptions options;
  options.mmin = report.mmin;
  options.sig_xmax = job.session.sig_xmax;
  options.procedure =
      job.session.procedure == 2 ? qev::MmaxProcedure::Bayes : qev::MmaxProcedure::Cramer;
  options.prior_b = job.session.prior_b;
  options.prior_b_sd = job.session.prior_b_sd;
  return qev::Analyze(report.split.catalog, options);
}

std::string FormatAnalysis(const qev::AnalysisResult& a) {
  char text[512];
  std::snprintf(text, sizeof text,
                "Analyze (%s, Mmin %.2f): %zu runs, the suggested Mmax %s\n"
                "  Beta   = %.3f +- %.3f  (b = %.3f +- %.3f)\n"
                "  Lambda = %.3f +- %.3f events a year at or above Mmin\n"
                "  Mmax   = %.2f +- %.2f\n",
                a.runs.empty() || !a.runs.back().suggested_mmax ? "no Mmax procedure"
                                                                : "suggestions followed",
                static_cast<double>(a.settings.mmin), a.runs.size(),
                a.mmax_converged ? "settled" : "did not settle", static_cast<double>(a.beta),
                static_cast<double>(a.uncertainties.sd_beta),
                static_cast<double>(a.uncertainties.b), static_cast<double>(a.uncertainties.sd_b),
                static_cast<double>(a.lambda), static_cast<double>(a.uncertainties.sd_lambda),
                static_cast<double>(a.mmax), static_cast<double>(a.uncertainties.sd_mmax));
  return text;
}
#endif

// The command line as given, before it is applied to the job.
struct CommandLine {
  bool short_help = false;
  bool help = false;
  bool version = false;
  std::string config, catalog, format, default_sd, from, until, zone, zone_wkt, decluster,
      completeness, end, extreme_from, extreme_to, procedure, classic, prefix, report;
  std::vector<std::string> columns, magnitude_types;
  double min_magnitude = 0, max_magnitude = 0, min_depth = 0, max_depth = 0, fraction = 0, mmin = 0,
         sig_xmax = 0, prior_b = 0, prior_b_sd = 0;
  int extreme_window = 0;
  bool skip_bad_rows = false;
  bool analyze = false;
  // The numeric options, to tell a given 0 from none.
  CLI::Option *o_min_m = nullptr, *o_max_m = nullptr, *o_min_d = nullptr, *o_max_d = nullptr,
              *o_fraction = nullptr, *o_window = nullptr, *o_mmin = nullptr, *o_sig = nullptr,
              *o_prior_b = nullptr, *o_prior_sd = nullptr;
};

void AddOptions(CLI::App& app, CommandLine& c) {
  app.set_help_flag();
  app.add_flag("-h", c.short_help);
  app.add_flag("--help", c.help);
  app.add_flag("--version", c.version);
  app.add_option("--config", c.config);
  app.add_option("--format", c.format);
  // One value an occurrence, so that the catalog after it stays the catalog.
  app.add_option("--column", c.columns)->allow_extra_args(false);
  app.add_option("--default-sd", c.default_sd);
  app.add_flag("--skip-bad-rows", c.skip_bad_rows);
  app.add_option("--from", c.from);
  app.add_option("--until", c.until);
  c.o_min_m = app.add_option("--min-magnitude", c.min_magnitude);
  c.o_max_m = app.add_option("--max-magnitude", c.max_magnitude);
  app.add_option("--magnitude-type", c.magnitude_types)->delimiter(',')->allow_extra_args(false);
  c.o_min_d = app.add_option("--min-depth", c.min_depth);
  c.o_max_d = app.add_option("--max-depth", c.max_depth);
  auto* o_zone = app.add_option("--zone", c.zone);
  auto* o_wkt = app.add_option("--zone-wkt", c.zone_wkt);
  o_zone->excludes(o_wkt);
  app.add_option("--decluster", c.decluster);
  c.o_fraction = app.add_option("--foreshock-fraction", c.fraction);
  app.add_option("--completeness", c.completeness);
  app.add_option("--end", c.end);
  c.o_window = app.add_option("--extreme-window", c.extreme_window);
  app.add_option("--extreme-from", c.extreme_from);
  app.add_option("--extreme-to", c.extreme_to);
  c.o_mmin = app.add_option("--mmin", c.mmin);
  c.o_sig = app.add_option("--sig-xmax", c.sig_xmax);
  app.add_option("--procedure", c.procedure);
  c.o_prior_b = app.add_option("--prior-b", c.prior_b);
  c.o_prior_sd = app.add_option("--prior-b-sd", c.prior_b_sd);
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

void ApplyReading(const CommandLine& c, qev::PrepareJob& job) {
  if (!c.catalog.empty()) job.catalog = c.catalog;
  if (job.catalog.empty()) throw qev::Error("no catalog file given");
  if (!c.format.empty()) {
    if (c.format == "csv") {
      job.format = qev::EventFormat::Csv;
    } else if (c.format == "zmap") {
      job.format = qev::EventFormat::Zmap;
    } else if (c.format == "quakeml") {
      job.format = qev::EventFormat::QuakeMl;
    } else {
      throw qev::Error("--format " + c.format + ": expected csv, zmap or quakeml");
    }
  }
  for (const std::string& column : c.columns) {
    const std::size_t equals = column.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == column.size()) {
      throw qev::Error("--column " + column + ": expected ROLE=NAME, e.g. magnitude=Mw");
    }
    job.read.columns[column.substr(0, equals)] = column.substr(equals + 1);
  }
  if (!c.default_sd.empty()) {
    double sd = 0.0;
    std::size_t used = 0;
    try {
      sd = std::stod(c.default_sd, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != c.default_sd.size() || !(sd >= 0.0) || sd > 10.0) {
      throw qev::Error("--default-sd " + c.default_sd + ": expected an SD from 0 to 10");
    }
    job.read.default_sd = static_cast<float>(sd);
  }
  if (c.skip_bad_rows) job.read.skip_bad_rows = true;
}

void ApplySelection(const CommandLine& c, qev::PrepareJob& job) {
  qev::Selection& s = job.selection;
  if (!c.from.empty()) s.from = Date(c.from, "--from");
  if (!c.until.empty()) s.until = Date(c.until, "--until");
  if (c.o_min_m->count()) s.min_magnitude = static_cast<float>(c.min_magnitude);
  if (c.o_max_m->count()) s.max_magnitude = static_cast<float>(c.max_magnitude);
  if (!c.magnitude_types.empty()) s.magnitude_types = c.magnitude_types;
  if (c.o_min_d->count()) s.min_depth = static_cast<float>(c.min_depth);
  if (c.o_max_d->count()) s.max_depth = static_cast<float>(c.max_depth);
  if (!c.zone.empty()) {
    job.zone_file = c.zone;
    s.zone = qev::ReadZoneFile(c.zone);
  }
  if (!c.zone_wkt.empty()) s.zone = qev::ZoneFromWkt(c.zone_wkt, "option --zone-wkt");
  if (!c.decluster.empty()) {
    if (c.decluster == "none") {
      job.decluster.reset();
    } else {
      job.decluster = qev::DeclusterOptions{};
      job.decluster->window = qev::ParseWindowName(c.decluster, "option --decluster");
    }
  }
  if (c.o_fraction->count()) {
    if (!job.decluster) throw qev::Error("--foreshock-fraction needs --decluster");
    if (!(c.fraction >= 0.0 && c.fraction <= 1.0)) {
      throw qev::Error("--foreshock-fraction: expected a fraction from 0 to 1");
    }
    job.decluster->foreshock_fraction = c.fraction;
  }
}

void ApplySplit(const CommandLine& c, qev::PrepareJob& job) {
  if (!c.completeness.empty()) {
    job.split.completeness = qev::ParseCompleteness(c.completeness, "option --completeness");
  }
  if (!c.end.empty()) job.split.end = Date(c.end, "--end");
  if (c.o_window->count()) {
    if (c.extreme_window < 1) {
      throw qev::Error("--extreme-window: expected whole years, 1 or more");
    }
    job.split.extreme_window_years = c.extreme_window;
  }
  if (!c.extreme_from.empty()) job.split.extreme_from = Date(c.extreme_from, "--extreme-from");
  if (!c.extreme_to.empty()) job.split.extreme_to = Date(c.extreme_to, "--extreme-to");
  if (job.split.completeness.empty() && job.split.extreme_window_years == 0) {
    throw qev::Error(
        "no part to make: give a completeness table (--completeness) and/or an extreme window "
        "(--extreme-window)");
  }
}

void ApplySession(const CommandLine& c, qev::PrepareJob& job) {
  if (c.o_mmin->count()) job.mmin = static_cast<float>(c.mmin);
  if (c.o_sig->count()) job.session.sig_xmax = static_cast<float>(c.sig_xmax);
  if (!c.procedure.empty()) {
    if (c.procedure == "cramer") {
      job.session.procedure = 1;
    } else if (c.procedure == "bayes") {
      job.session.procedure = 2;
    } else {
      throw qev::Error("--procedure " + c.procedure + ": expected cramer or bayes");
    }
  }
  if (c.o_prior_b->count()) job.session.prior_b = static_cast<float>(c.prior_b);
  if (c.o_prior_sd->count()) job.session.prior_b_sd = static_cast<float>(c.prior_b_sd);
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
  if (directory) {
    qev::ClassicFilesOptions options;
    options.directory = *directory;
    options.prefix = job.classic_prefix;
    options.session = job.session;
    options.session.mmin = result.mmin;
    for (std::size_t k = 1; analysis && k < analysis->runs.size(); ++k) {
      options.session.next_mmax.push_back(analysis->runs[k].mmax);
    }
    options.inputs.emplace_back(job.catalog);
    if (!job.zone_file.empty()) options.inputs.emplace_back(job.zone_file);
    if (!job.job_file.empty()) options.inputs.emplace_back(job.job_file);
    result.classic = qev::WriteClassicFiles(result.split, options);
  }
  std::cout << qev::FormatPrepareSummary(result);
  if (print) std::cout << FormatAnalysis(*analysis);
  if (directory) std::cout << unanalysed;
}
#endif

int Run(int argc, char** argv) {
  CLI::App app("qev-prepare");
  CommandLine c;
  AddOptions(app, c);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    std::cerr << "ERROR: " << error.what() << "\n" << kUsage;
    return 1;
  }
  if (c.version) {
    std::cout << "qev-prepare " << QEV_VERSION << "\n";
    return 0;
  }
  if (c.help) {
    std::cout << qev::companion::RenderManPage(kManual);
    return 0;
  }
  if (c.short_help) {
    std::cout << kUsage << "For full documentation type: qev-prepare --help\n";
    return 0;
  }
  qev::RemoveOutputTemporariesOnSignals();
  // Options given on the command line override the job file.
  qev::PrepareJob job = ReadJob(c);
  ApplyReading(c, job);
  ApplySelection(c, job);
  ApplySplit(c, job);
  ApplySession(c, job);
#ifdef QEV_WITH_ANALYZE
  if (c.analyze || job.classic_directory) {
    PrepareAndAnalyze(std::move(job), c.analyze);
    return 0;
  }
#endif
  std::cout << qev::FormatPrepareSummary(qev::RunPrepare(job));
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
