// qev-calibrate: a calibration study of the estimates and their intervals.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "companion/calibration_study.h"
#include "companion/command_line.h"
#include "companion/manpage.h"
#include "companion/synth_command.h"
#include "qev/errors.h"
#include "qev/version.h"
#include "qev_calibrate_manual.h"
#include "textio/number_text.h"

namespace {

using namespace qev::companion;

constexpr const char* kUsage =
    "Usage: qev-calibrate [design options of qev-synth] [--catalogs N] [--seed N]\n"
    "                     [--threads N] [--procedures LIST] [--bootstrap B]\n"
    "                     [--intervals LIST]\n"
    "                     [--analysis-mmin M] [--sig-xmax S] [--prior-b B] [--prior-b-sd S]\n"
    "                     [--out PREFIX] [--title TEXT]\n"
    "       qev-calibrate -h | --help | --version\n";

struct CalibrateCommand {
  StudyOptions Study;
  std::optional<float> AnalysisMmin;
  std::string Out = "calibration";
  std::string Title;
  HelpFlags Flags;
};

CalibrateCommand Parse(const std::vector<std::string>& args) {
  CalibrateCommand command;
  StudyOptions& study = command.Study;
  study.Threads = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  CLI::App app("qev-calibrate");
  SetUpApp(app, command.Flags);
  DesignOptions design;
  AddDesignOptions(app, study.Design, design);
  app.add_option("--seed", study.Design.Seed)->check(SeedText());
  app.add_option("--catalogs", study.Catalogs)->check(CLI::Range(1, 1000000));
  app.add_option("--threads", study.Threads)->check(CLI::Range(1, 256));
  app.add_option("--bootstrap", study.BootstrapReplicates)->check(CLI::Range(0, 100000));
  app.add_option("--intervals", study.BootstrapMethods)->delimiter(',');
  app.add_option("--procedures", study.Procedures)->delimiter(',');
  app.add_option("--analysis-mmin", command.AnalysisMmin)->check(RealText());
  app.add_option("--sig-xmax", study.Analysis.sig_xmax)->check(RealText());
  app.add_option("--prior-b", study.Analysis.prior_b)->check(RealText());
  app.add_option("--prior-b-sd", study.Analysis.prior_b_sd)->check(RealText());
  app.add_option("--out", command.Out);
  app.add_option("--title", command.Title);
  ParseArguments(app, args);
  if (command.Flags.Help || command.Flags.ShortHelp || command.Flags.Version) return command;
  FinishDesign(design);
  if (study.BootstrapReplicates > 0 && study.BootstrapReplicates < 20) {
    throw UsageError("--bootstrap needs at least 20 replicates (or 0 for none)");
  }
  study.Analysis.mmin = command.AnalysisMmin.value_or(study.Design.Mmin);
  return command;
}

// Written beside, then renamed: a failed run leaves no half-written file.
void WriteFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw qev::Error("cannot write the file " + temporary);
  }
  std::filesystem::rename(temporary, path);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const CalibrateCommand command = Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (command.Flags.Version) {
      std::cout << "qev-calibrate " << QEV_VERSION_STRING << "\n";
      return 0;
    }
    if (command.Flags.Help) {
      std::cout << RenderManPage(kManual);
      return 0;
    }
    if (command.Flags.ShortHelp) {
      std::cout << kUsage << "For full documentation type: qev-calibrate --help\n";
      return 0;
    }
    const StudyResult result = RunStudy(command.Study);
    for (const std::string& warning : result.Warnings) std::cerr << "WARNING: " << warning << "\n";
    const std::string title = command.Title.empty()
                                  ? std::to_string(command.Study.Catalogs) + " catalogs"
                                  : command.Title;
    WriteFile(command.Out + ".csv", StudyCsv(result));
    WriteFile(command.Out + "-estimates.csv", EstimatesCsv(result));
    WriteFile(command.Out + ".svg", StudySvg(result, title));
    std::cout << StudyCsv(result);
    std::cout << command.Study.Catalogs << " catalogs in " << qev::FixedText(result.Seconds, 1)
              << " s on " << command.Study.Threads << " threads; wrote " << command.Out << ".csv, "
              << command.Out << "-estimates.csv, " << command.Out << ".svg\n";
    return 0;
  } catch (const UsageError& error) {
    std::cerr << "ERROR: " << error.what() << "\n" << kUsage;
  } catch (const std::exception& error) {
    std::cerr << "ERROR: " << error.what() << "\n";
  }
  return 1;
}
