// qev: seismic hazard from incomplete and uncertain earthquake catalogs.
// Command-line arguments serve only as names of files answered blank; only a
// first argument of exactly -h, --help or --version is taken as a request instead.
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "classic/run_session.h"
#include "qev/version.h"
#include "textio/files.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: qev [FILE]...\n"
    "       qev -h | --help | --version\n"
    "\n"
    "qev estimates, from an earthquake catalog made of an extreme part (the largest\n"
    "historical events with their dates) and complete parts whose magnitudes carry\n"
    "normal errors, the Gutenberg-Richter Beta (b-value), the activity rate Lambda\n"
    "and the maximum magnitude Mmax with their standard deviations, and tabulates\n"
    "the seismic hazard. It asks its questions on the console, one answer a line,\n"
    "and writes its report to the output file whose name it asks for first.\n"
    "\n"
    "A whole session can be answered from a file, one answer per line:\n"
    "    qev < answers.txt\n"
    "\n"
    "Each FILE is used, in order, as the name of a file whose name was answered\n"
    "blank (the output file or a catalog file).\n"
    "\n"
    "Mmin: the program suggests one unit below the lowest level of the catalog (the\n"
    "lowest complete threshold or extreme magnitude); answer 2 to type another.\n"
    "Lambda is given for Mmin and the hazard table starts there; Beta and Mmax do\n"
    "not depend on it. qev-prepare answers 0.1 below the lowest level, so that\n"
    "Lambda is given where the data begin.\n"
    "\n"
    "From a real catalog (CSV, ZMAP, QuakeML) to the catalog files and an answers\n"
    "file for a session: qev-prepare. Many analyses at once (source zones, logic\n"
    "tree, bootstrap): qev-batch. Synthetic catalogs: qev-synth; tables and\n"
    "figures from a report: qev-report.\n"
    "\n"
    "The manual: man qev\n";

// Writes a requested text; a standard output that cannot take it is an error.
int Print(std::string_view text) {
  std::cout << text << std::flush;
  if (std::cout) return 0;
  std::cerr << "qev: cannot write to standard output\n";
  return 1;
}

// The temporary report file while there is one: a session ended by a signal
// (Ctrl-C, a hang-up, kill) removes it and leaves any earlier report as it was.
char temporaryReport[4096];
volatile std::sig_atomic_t haveTemporaryReport = 0;

void RemoveTemporaryReport(int signal) {
  if (haveTemporaryReport) ::unlink(temporaryReport);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void WatchTemporaryReport(const std::string& path) {
  haveTemporaryReport = 0;
  if (path.empty() || path.size() >= sizeof temporaryReport) return;
  std::memcpy(temporaryReport, path.c_str(), path.size() + 1);
  haveTemporaryReport = 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const std::string_view first = argv[1];
    if (first == "-h" || first == "--help") return Print(kUsage);
    if (first == "--version") return Print("qev " QEV_VERSION_STRING "\n");
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  // The answers through their descriptor: a failing read (a folder given as
  // standard input, an error of the device) is a reading error with the
  // system's reason, not the end of the console input.
  const int answers = ::dup(STDIN_FILENO);
  std::unique_ptr<std::istream> fileInput;
  if (answers >= 0) fileInput = std::make_unique<qev::InputFile>(answers);
  qev::TextIo io(fileInput ? *fileInput : std::cin, std::cout, std::move(args));
  // Neither the answers nor the screens may be overwritten by the report.
  io.SetStandardFiles({qev::RegularFileOf(STDIN_FILENO), qev::RegularFileOf(STDOUT_FILENO)});
  io.Sink().WatchTemporaryFile(WatchTemporaryReport);
  // Every signal that ends the program by default and may come from the
  // user or a closed pipe of the screens; one ignored by the caller (nohup)
  // stays ignored.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    if (std::signal(signal, RemoveTemporaryReport) == SIG_IGN) std::signal(signal, SIG_IGN);
  }
  const int status = qev::RunSession(io);
  std::cout.flush();
  return status;
}
