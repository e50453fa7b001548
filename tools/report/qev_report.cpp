// qev-report: CSV tables and an SVG figure from a qev report file.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "companion/command_line.h"
#include "companion/manpage.h"
#include "companion/report_file.h"
#include "companion/report_output.h"
#include "qev/version.h"
#include "qev_report_manual.h"
#include "textio/files.h"

namespace {

constexpr const char* kUsage =
    "Usage: qev-report [--hazard-csv FILE] [--results-csv FILE] [--svg FILE]\n"
    "                  [--units magnitude|intensity] [--title TEXT] REPORT\n"
    "       qev-report -h | --help | --version\n"
    "REPORT or FILE '-' means standard input or output.\n";

using qev::companion::UsageError;

// A report of the classic program is some hundred kilobytes; anything far
// larger is no report and is refused before it fills the memory.
constexpr std::uint64_t kLargestReport = std::uint64_t{1} << 26;  // 64 MiB

std::string ReadAll(const std::string& name) {
  if (name == "-") {
    std::string text;
    char block[1 << 16];
    while (std::cin.read(block, sizeof block) || std::cin.gcount() > 0) {
      text.append(block, static_cast<std::size_t>(std::cin.gcount()));
      if (text.size() > kLargestReport) {
        throw std::runtime_error("the report on standard input is larger than " +
                                 std::to_string(kLargestReport) + " bytes: no report of qev");
      }
    }
    return text;
  }
  // Only a regular file: a pipe without writer or a device would never end.
  const qev::OpenedInput opened = qev::OpenRegularInput(name);
  if (!opened.reason.empty()) {
    throw UsageError("cannot open the report file '" + name + "' (" + opened.reason + ")");
  }
  ::close(opened.descriptor);
  return qev::ReadRegularFile(name, "the report file", kLargestReport);
}

void WriteStandardOutput(const std::string& text) {
  std::cout << text;
  std::cout.flush();
  if (!std::cout) throw std::runtime_error("cannot write to standard output");
}

// Whether two names given for files are one file; "-" is a stream, no file.
bool SameFile(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return false;
  std::error_code error;  // a file that does not exist yet is no other file
  return a == b || std::filesystem::equivalent(a, b, error);
}

// An output never replaces the report it is made from, nor another output.
void CheckOutputNames(const std::string& reportName, const std::string& hazardCsv,
                      const std::string& resultsCsv, const std::string& svg) {
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--hazard-csv", &hazardCsv}, {"--results-csv", &resultsCsv}, {"--svg", &svg}};
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    const auto& [option, name] = outputs[i];
    if (name->empty()) continue;
    if (SameFile(*name, reportName)) {
      throw UsageError(std::string(option) + " names the report file itself");
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFile(*name, *outputs[j].second)) {
        throw UsageError(std::string(outputs[j].first) + " and " + option + " name the same file");
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  qev::RemoveOutputTemporariesOnSignals();
  using namespace qev::companion;
  try {
    std::string reportName;
    std::string hazardCsv;
    std::string resultsCsv;
    std::string svg;
    std::string units;
    PlotOptions plot;
    HelpFlags flags;
    CLI::App app("qev-report");
    SetUpApp(app, flags);
    app.add_option("--hazard-csv", hazardCsv);
    app.add_option("--results-csv", resultsCsv);
    app.add_option("--svg", svg);
    const auto* unitsOption = app.add_option("--units", units);
    app.add_option("--title", plot.Title);
    app.add_option("report", reportName);
    ParseArguments(app, std::vector<std::string>(argv + 1, argv + argc));
    if (units == "magnitude") {
      plot.Units = "Magnitude";
    } else if (units == "intensity") {
      plot.Units = "Intensity";
    } else if (unitsOption->count() > 0) {
      throw UsageError("--units must be magnitude or intensity");
    }
    if (flags.Version) {
      std::cout << "qev-report " << QEV_VERSION_STRING << "\n";
      return 0;
    }
    if (flags.Help) {
      std::cout << RenderManPage(kManual);
      return 0;
    }
    if (flags.ShortHelp) {
      std::cout << kUsage << "For full documentation type: qev-report --help\n";
      return 0;
    }
    if (reportName.empty()) throw UsageError("no report file given");
    if (hazardCsv.empty() && resultsCsv.empty() && svg.empty()) hazardCsv = "-";
    CheckOutputNames(reportName, hazardCsv, resultsCsv, svg);
    const ReportFile report = ParseReport(ReadAll(reportName));
    if (!hazardCsv.empty() && !report.HasHazardTable) {
      throw ReportError(
          "the report holds no HAZARD EVALUATION table (did the session end normally?)");
    }
    // Everything is built before anything is written.
    const std::string hazardText = hazardCsv.empty() ? "" : HazardCsv(report);
    const std::string resultsText = resultsCsv.empty() ? "" : ResultsCsv(report);
    const std::string svgText = svg.empty() ? "" : HazardSvg(report, plot);
    // Each file beside its place until all are written (a run that fails or
    // is stopped leaves the earlier files as they were).
    qev::OutputSet files(reportName == "-" ? std::vector<std::filesystem::path>{}
                                           : std::vector<std::filesystem::path>{reportName});
    const std::pair<const std::string*, const std::string*> outputs[] = {
        {&hazardCsv, &hazardText}, {&resultsCsv, &resultsText}, {&svg, &svgText}};
    for (const auto& [name, text] : outputs) {
      if (!name->empty() && *name != "-") files.Write(*name, *text);
    }
    files.Commit();
    for (const auto& [name, text] : outputs) {
      if (*name == "-") WriteStandardOutput(*text);
    }
    return 0;
  } catch (const UsageError& error) {
    std::cerr << "ERROR: " << error.what() << "\n" << kUsage;
  } catch (const std::exception& error) {
    std::cerr << "ERROR: " << error.what() << "\n";
  }
  return 1;
}
