// qev-prepare: from a catalog file to the parts of a qev catalog (and the
// classic files with an answers file).
#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "companion/manpage.h"
#include "qev/prepare.h"
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
    "                   [--decluster gk|uhrhammer|gruenthal] [--foreshock-fraction F]\n"
    "                   [--completeness YEAR:MC,...] [--end DATE] [--extreme-window YEARS]\n"
    "                   [--extreme-from DATE] [--extreme-to DATE] [--mmin M] [--sig-xmax SD]\n"
    "                   [--procedure cramer|bayes] [--prior-b B] [--prior-b-sd SD]\n"
    "                   [--classic DIR] [--prefix NAME] [--report NAME] [--analyze] [CATALOG]\n"
    "       qev-prepare -h | --help | --version\n";

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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("qev-prepare");
  app.set_help_flag();
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

  app.add_flag("-h", short_help);
  app.add_flag("--help", help);
  app.add_flag("--version", version);
  app.add_option("--config", config);
  app.add_option("--format", format);
  app.add_option("--column", columns);
  app.add_option("--default-sd", default_sd);
  app.add_flag("--skip-bad-rows", skip_bad_rows);
  app.add_option("--from", from);
  app.add_option("--until", until);
  auto* o_min_m = app.add_option("--min-magnitude", min_magnitude);
  auto* o_max_m = app.add_option("--max-magnitude", max_magnitude);
  app.add_option("--magnitude-type", magnitude_types)->delimiter(',');
  auto* o_min_d = app.add_option("--min-depth", min_depth);
  auto* o_max_d = app.add_option("--max-depth", max_depth);
  auto* o_zone = app.add_option("--zone", zone);
  auto* o_wkt = app.add_option("--zone-wkt", zone_wkt);
  o_zone->excludes(o_wkt);
  app.add_option("--decluster", decluster);
  auto* o_fraction = app.add_option("--foreshock-fraction", fraction);
  app.add_option("--completeness", completeness);
  app.add_option("--end", end);
  auto* o_window = app.add_option("--extreme-window", extreme_window);
  app.add_option("--extreme-from", extreme_from);
  app.add_option("--extreme-to", extreme_to);
  auto* o_mmin = app.add_option("--mmin", mmin);
  auto* o_sig = app.add_option("--sig-xmax", sig_xmax);
  app.add_option("--procedure", procedure);
  auto* o_prior_b = app.add_option("--prior-b", prior_b);
  auto* o_prior_sd = app.add_option("--prior-b-sd", prior_b_sd);
  app.add_option("--classic", classic);
  app.add_option("--prefix", prefix);
  app.add_option("--report", report);
  app.add_option("catalog", catalog);
#ifdef QEV_WITH_ANALYZE
  app.add_flag("--analyze", analyze);
#endif

  try {
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
      std::cerr << "ERROR: " << error.what() << "\n" << kUsage;
      return 1;
    }
    if (version) {
      std::cout << "qev-prepare " << QEV_VERSION << "\n";
      return 0;
    }
    if (help) {
      std::cout << qev::companion::RenderManPage(kManual);
      return 0;
    }
    if (short_help) {
      std::cout << kUsage << "For full documentation type: qev-prepare --help\n";
      return 0;
    }

    qev::PrepareJob job;
    if (!config.empty()) {
      std::ifstream in(config, std::ios::binary);
      if (!in) throw qev::Error(config + ": cannot open the job file");
      std::ostringstream text;
      text << in.rdbuf();
      job = qev::ParsePrepareToml(text.str(), config, std::filesystem::path(config).parent_path());
    }
    // Options given on the command line override the job file.
    if (!catalog.empty()) job.catalog = catalog;
    if (job.catalog.empty()) throw qev::Error("no catalog file given");
    if (!format.empty()) {
      if (format == "csv") {
        job.format = qev::EventFormat::Csv;
      } else if (format == "zmap") {
        job.format = qev::EventFormat::Zmap;
      } else if (format == "quakeml") {
        job.format = qev::EventFormat::QuakeMl;
      } else {
        throw qev::Error("--format " + format + ": expected csv, zmap or quakeml");
      }
    }
    for (const std::string& column : columns) {
      const std::size_t equals = column.find('=');
      if (equals == std::string::npos || equals == 0 || equals + 1 == column.size()) {
        throw qev::Error("--column " + column + ": expected ROLE=NAME, e.g. magnitude=Mw");
      }
      job.read.columns[column.substr(0, equals)] = column.substr(equals + 1);
    }
    if (!default_sd.empty()) {
      double sd = 0.0;
      std::size_t used = 0;
      try {
        sd = std::stod(default_sd, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != default_sd.size() || !(sd >= 0.0) || sd > 10.0) {
        throw qev::Error("--default-sd " + default_sd + ": expected an SD from 0 to 10");
      }
      job.read.default_sd = static_cast<float>(sd);
    }
    if (skip_bad_rows) job.read.skip_bad_rows = true;
    qev::Selection& s = job.selection;
    if (!from.empty()) s.from = Date(from, "--from");
    if (!until.empty()) s.until = Date(until, "--until");
    if (o_min_m->count()) s.min_magnitude = static_cast<float>(min_magnitude);
    if (o_max_m->count()) s.max_magnitude = static_cast<float>(max_magnitude);
    if (!magnitude_types.empty()) s.magnitude_types = magnitude_types;
    if (o_min_d->count()) s.min_depth = static_cast<float>(min_depth);
    if (o_max_d->count()) s.max_depth = static_cast<float>(max_depth);
    if (!zone.empty()) {
      job.zone_file = zone;
      s.zone = qev::ReadZoneFile(zone);
    }
    if (!zone_wkt.empty()) s.zone = qev::ZoneFromWkt(zone_wkt, "option --zone-wkt");
    if (!decluster.empty()) {
      if (decluster == "none") {
        job.decluster.reset();
      } else {
        job.decluster = qev::DeclusterOptions{};
        job.decluster->window = qev::ParseWindowName(decluster, "option --decluster");
      }
    }
    if (o_fraction->count()) {
      if (!job.decluster) throw qev::Error("--foreshock-fraction needs --decluster");
      if (!(fraction >= 0.0 && fraction <= 1.0)) {
        throw qev::Error("--foreshock-fraction: expected a fraction from 0 to 1");
      }
      job.decluster->foreshock_fraction = fraction;
    }
    if (!completeness.empty()) {
      job.split.completeness = qev::ParseCompleteness(completeness, "option --completeness");
    }
    if (!end.empty()) job.split.end = Date(end, "--end");
    if (o_window->count()) {
      if (extreme_window < 1) throw qev::Error("--extreme-window: expected whole years, 1 or more");
      job.split.extreme_window_years = extreme_window;
    }
    if (!extreme_from.empty()) job.split.extreme_from = Date(extreme_from, "--extreme-from");
    if (!extreme_to.empty()) job.split.extreme_to = Date(extreme_to, "--extreme-to");
    if (job.split.completeness.empty() && job.split.extreme_window_years == 0) {
      throw qev::Error(
          "no part to make: give a completeness table (--completeness) and/or an extreme window "
          "(--extreme-window)");
    }
    if (o_mmin->count()) job.mmin = static_cast<float>(mmin);
    if (o_sig->count()) job.session.sig_xmax = static_cast<float>(sig_xmax);
    if (!procedure.empty()) {
      if (procedure == "cramer") {
        job.session.procedure = 1;
      } else if (procedure == "bayes") {
        job.session.procedure = 2;
      } else {
        throw qev::Error("--procedure " + procedure + ": expected cramer or bayes");
      }
    }
    if (o_prior_b->count()) job.session.prior_b = static_cast<float>(prior_b);
    if (o_prior_sd->count()) job.session.prior_b_sd = static_cast<float>(prior_b_sd);
    if (!classic.empty()) job.classic_directory = classic;
    if (!prefix.empty()) job.classic_prefix = prefix;
    if (!report.empty()) job.session.report_name = report;

    if (!analyze) {
      const qev::PrepareReport result = qev::RunPrepare(job);
      std::cout << qev::FormatPrepareSummary(result);
      return 0;
    }
#ifdef QEV_WITH_ANALYZE
    // The classic files wait for the analysis, so that their answers follow
    // the same runs (each run's Mmax the suggestion of the run before).
    const std::optional<std::filesystem::path> directory = job.classic_directory;
    job.classic_directory.reset();
    qev::PrepareReport result = qev::RunPrepare(job);
    const qev::AnalysisResult analysis = AnalyzeParts(result, job);
    if (directory) {
      qev::ClassicFilesOptions options;
      options.directory = *directory;
      options.prefix = job.classic_prefix;
      options.session = job.session;
      options.session.mmin = result.mmin;
      for (std::size_t k = 1; k < analysis.runs.size(); ++k) {
        options.session.next_mmax.push_back(analysis.runs[k].mmax);
      }
      options.inputs.emplace_back(job.catalog);
      if (!job.zone_file.empty()) options.inputs.emplace_back(job.zone_file);
      result.classic = qev::WriteClassicFiles(result.split, options);
    }
    std::cout << qev::FormatPrepareSummary(result) << FormatAnalysis(analysis);
#endif
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "ERROR: " << error.what() << "\n";
  }
  return 1;
}
