// Reads the bundled extract of an agency catalog (CSV), splits it by a
// completeness table (complete above 5.0 from 2022 on) and analyses the
// complete part: the catalog import and the engine used together.
#include <cstdio>
#include <string>

#include "qev/analysis.h"
#include "qev/catalog_split.h"
#include "qev/errors.h"
#include "qev/events.h"

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  try {
    qev::ReadOptions read_options;
    read_options.default_sd = 0.1f;  // for an event without magError
    const qev::ReadResult read =
        qev::ReadCsvFile(dir + "/usgs_tonga_m5_2022_2024.csv", read_options);

    qev::SplitOptions split_options;
    split_options.completeness = {{2022, 5.0f}};
    const qev::SplitResult split = qev::Split(read.events, split_options);

    qev::AnalysisOptions options;
    options.mmin = 4.9f;  // below the threshold of the complete part
    const qev::AnalysisResult r = qev::Analyze(split.catalog, options);
    std::printf("Events = %zu read, %zu skipped, %zu in the complete part\n",
                read.summary.rows_read, read.summary.skipped_total(),
                split.complete_rows.front().size());
    std::printf("b      = %.3f +- %.3f\n", r.uncertainties.b, r.uncertainties.sd_b);
    return 0;
  } catch (const qev::Error& error) {
    std::fprintf(stderr, "qev-consumer-import: %s\n", error.what());
    return 1;
  }
}
