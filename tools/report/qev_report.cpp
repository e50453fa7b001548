// qev-report: CSV tables and an SVG figure from a qev report file.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "companion/cli.h"
#include "companion/manpage.h"
#include "companion/report_file.h"
#include "companion/report_output.h"
#include "qev_report_manual.h"

namespace {

constexpr const char* kUsage =
    "Usage: qev-report [--hazard-csv FILE] [--results-csv FILE] [--svg FILE]\n"
    "                  [--units magnitude|intensity] [--title TEXT] REPORT\n"
    "       qev-report -h | --help | --version\n"
    "REPORT or FILE '-' means standard input or output.\n";

using qev::companion::UsageError;

std::string ReadAll(const std::string& name) {
  if (name == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
  std::ifstream in(name, std::ios::binary);
  if (!in) throw UsageError("cannot open the report file '" + name + "'");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const std::string& name, const std::string& text) {
  if (name == "-") {
    std::cout << text;
    std::cout.flush();
    if (!std::cout) throw std::runtime_error("cannot write to standard output");
    return;
  }
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write the file '" + name + "'");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qev::companion;
  try {
    const auto arguments =
        SplitArguments(std::vector<std::string>(argv + 1, argv + argc),
                       {"hazard-csv", "results-csv", "svg", "units", "title"}, {"help", "version"});
    std::string reportName;
    std::string hazardCsv;
    std::string resultsCsv;
    std::string svg;
    PlotOptions plot;
    bool help = false;
    bool shortHelp = false;
    bool version = false;
    for (const Argument& a : arguments) {
      if (a.Name == "h") shortHelp = true;
      if (a.Name == "help") help = true;
      if (a.Name == "version") version = true;
      if (a.Name == "hazard-csv") hazardCsv = a.Value;
      if (a.Name == "results-csv") resultsCsv = a.Value;
      if (a.Name == "svg") svg = a.Value;
      if (a.Name == "title") plot.Title = a.Value;
      if (a.Name == "units") {
        if (a.Value == "magnitude") {
          plot.Units = "Magnitude";
        } else if (a.Value == "intensity") {
          plot.Units = "Intensity";
        } else {
          throw UsageError("--units must be magnitude or intensity");
        }
      }
      if (a.Name.empty()) {
        if (!reportName.empty()) throw UsageError("only one report file can be read");
        reportName = a.Value;
      }
    }
    if (version) {
      std::cout << "qev-report " << QEV_VERSION << "\n";
      return 0;
    }
    if (help) {
      std::cout << RenderManPage(kManual);
      return 0;
    }
    if (shortHelp) {
      std::cout << kUsage << "For full documentation type: qev-report --help\n";
      return 0;
    }
    if (reportName.empty()) throw UsageError("no report file given");
    if (hazardCsv.empty() && resultsCsv.empty() && svg.empty()) hazardCsv = "-";
    const ReportFile report = ParseReport(ReadAll(reportName));
    if (!hazardCsv.empty() && !report.HasHazardTable) {
      throw ReportError(
          "the report holds no HAZARD EVALUATION table (did the session end normally?)");
    }
    // Everything is built before anything is written.
    const std::string hazardText = hazardCsv.empty() ? "" : HazardCsv(report);
    const std::string resultsText = resultsCsv.empty() ? "" : ResultsCsv(report);
    const std::string svgText = svg.empty() ? "" : HazardSvg(report, plot);
    if (!hazardCsv.empty()) WriteAll(hazardCsv, hazardText);
    if (!resultsCsv.empty()) WriteAll(resultsCsv, resultsText);
    if (!svg.empty()) WriteAll(svg, svgText);
    return 0;
  } catch (const UsageError& error) {
    std::cerr << "ERROR: " << error.what() << "\n" << kUsage;
  } catch (const std::exception& error) {
    std::cerr << "ERROR: " << error.what() << "\n";
  }
  return 1;
}
