// qev-synth: writes a synthetic earthquake catalog with known truth.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "companion/command_line.h"
#include "companion/manpage.h"
#include "companion/session_script.h"
#include "companion/synth.h"
#include "companion/synth_command.h"
#include "qev/version.h"
#include "qev_synth_manual.h"

namespace {

constexpr const char* kUsage =
    "Usage: qev-synth [--b B | --beta BETA] [--lambda L] [--mmin M] [--mmax M] [--sd SD]\n"
    "                 [--step STEP] [--seed N] [--extreme START:END[,window=Y][,threshold=M]\n"
    "                 [,sd=SD][,layout=1|2|3][,file=NAME]] [--complete START:END[,threshold=M]\n"
    "                 [,sd=SD][,layout=1|2|3][,file=NAME]]... [--dir DIR] [--script FILE]\n"
    "                 [--report-name NAME]\n"
    "       qev-synth [--b B] [--lambda L] [--mmin M] [--mmax M] [--sd SD] [--step STEP] [--seed "
    "N]\n"
    "                 --history YEAR:MC,... --history-end YEAR [--edge SD] [--csv NAME] [--dir "
    "DIR]\n"
    "       qev-synth -h | --help | --version\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace qev::companion;
  try {
    const SynthCommand command = ParseSynthCommand(std::vector<std::string>(argv + 1, argv + argc));
    if (command.Version) {
      std::cout << "qev-synth " << QEV_VERSION_STRING << "\n";
      return 0;
    }
    if (command.Help) {
      std::cout << RenderManPage(kManual);
      return 0;
    }
    if (command.ShortHelp) {
      std::cout << kUsage << "For full documentation type: qev-synth --help\n";
      return 0;
    }
    if (command.History) {
      const HistoryCatalog history = GenerateHistory(command.Plan, *command.History);
      WriteHistoryFile(history, command.Directory + "/" + command.History->FileName);
      std::cout << HistorySummary(command.Plan, *command.History, history);
      return 0;
    }
    const GeneratedCatalog catalog = GenerateCatalog(command.Plan);
    for (const std::string& warning : catalog.Warnings) std::cerr << "WARNING: " << warning << "\n";
    WriteCatalogFiles(catalog, command.Directory);
    if (command.ScriptFile) {
      SessionAnswers answers = AnswersForCatalog(command.Plan, catalog);
      answers.OutputFile = command.ReportName;
      const std::string path = command.Directory + "/" + *command.ScriptFile;
      std::ofstream script(path, std::ios::binary | std::ios::trunc);
      script << BuildAnswerScript(answers);
      script.close();
      if (!script) throw SynthError("cannot write the file " + path);
    }
    std::cout << TruthSummary(command.Plan, catalog);
    return 0;
  } catch (const UsageError& error) {
    std::cerr << "ERROR: " << error.what() << "\n" << kUsage;
  } catch (const std::exception& error) {
    std::cerr << "ERROR: " << error.what() << "\n";
  }
  return 1;
}
