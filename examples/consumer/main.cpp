// Reads the bundled example catalogs through the classic-file readers, runs
// the analysis to the settled Mmax and prints the estimates with their SDs.
#include <cstdio>
#include <fstream>
#include <string>

#include "qev/analysis.h"
#include "qev/classic_files.h"
#include "qev/errors.h"

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  auto open = [&dir](const std::string& name) {
    std::ifstream in(dir + "/" + name);
    if (!in) throw qev::Error("cannot open " + dir + "/" + name);
    return in;
  };
  try {
    qev::Catalog catalog;
    std::ifstream extreme = open("ext_l1.dat");
    catalog.extreme =
        qev::ReadExtremeFile(extreme, "ext_l1.dat", qev::ExtremeLayout::PerEventSd).part;
    for (const char* name : {"cp1900_l2.dat", "cp1960_l2.dat"}) {
      std::ifstream part = open(name);
      catalog.complete.push_back(
          qev::ReadCompleteFile(part, name, qev::CompleteLayout::CommonSd).part);
    }
    qev::AnalysisOptions options;
    options.mmin = 3.4f;  // below the lowest threshold, 3.5
    const qev::AnalysisResult r = qev::Analyze(catalog, options);
    std::printf("Beta   = %.3f +- %.3f  (b = %.3f)\n", r.beta, r.uncertainties.sd_beta,
                r.uncertainties.b);
    std::printf("Lambda = %.3f +- %.3f  (for Mmin = %.2f)\n", r.lambda, r.uncertainties.sd_lambda,
                r.settings.mmin);
    std::printf("Mmax   = %.3f +- %.3f  (%zu runs)\n", r.mmax, r.uncertainties.sd_mmax,
                r.runs.size());
    return 0;
  } catch (const qev::Error& error) {
    std::fprintf(stderr, "qev-consumer: %s\n", error.what());
    return 1;
  }
}
