// Timing of the catalog import: reading a CSV of 1,000,000 events (with the
// peak resident memory against the size of the event table), declustering
// 1,000,000 events with the Gardner-Knopoff windows, converting 1,000,000
// events of three magnitude types to one scale, reading QuakeML of
// 100,000 events, the grid search against the all-pairs loop, and Reasenberg
// linking of 100,000 events. The inputs
// are generated here with fixed seeds and never kept.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "qev/declustering.h"
#include "qev/events.h"
#include "qev/homogenise.h"

namespace {

using namespace qev;

// A synthetic catalog: magnitudes from 3 with b = 1 over 50 years in a region
// of 10 by 10 degrees; every event of magnitude 5 or more is followed by
// aftershocks (5 x 10^(0.8 (M - 5)) of them) within 0.3 degrees and an
// exponential time of 30 days.
EventTable SyntheticCatalog(std::size_t count, std::uint32_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto magnitude = [&](double top) {
    double m = 0.0;
    do m = 3.0 - std::log10(1.0 - unit(random));
    while (m >= top);
    return static_cast<float>(std::round(m * 10.0) / 10.0);
  };
  EventTable table;
  table.Reserve(count);
  auto add = [&](double days, double lon, double lat, float m) {
    EventTable::Row row;
    const double year = 1970.0 + days / 365.2425;
    row.date = {static_cast<int>(year), 1 + static_cast<int>((year - std::floor(year)) * 12.0),
                1 + static_cast<int>(unit(random) * 28.0)};
    row.hour = static_cast<int>(unit(random) * 24.0);
    row.minute = static_cast<int>(unit(random) * 60.0);
    row.longitude = lon;
    row.latitude = lat;
    row.depth = 10.0f;
    row.magnitude = m;
    row.sd = 0.1f;
    row.magnitude_type = "mw";
    table.Append(row);
  };
  while (table.size() < count) {
    const double days = unit(random) * 50.0 * 365.2425;
    const double lon = 20.0 + 10.0 * unit(random);
    const double lat = 35.0 + 10.0 * unit(random);
    const float m = magnitude(9.5);
    add(days, lon, lat, m);
    if (m < 5.0f) continue;
    const auto aftershocks = static_cast<int>(5.0 * std::pow(10.0, 0.8 * (m - 5.0)));
    for (int k = 0; k < aftershocks && table.size() < count; ++k) {
      add(std::min(days - 30.0 * std::log(1.0 - unit(random)), 50.0 * 365.2425),
          lon + 0.6 * (unit(random) - 0.5), lat + 0.6 * (unit(random) - 0.5), magnitude(m));
    }
  }
  return table;
}

std::size_t TableBytes(const EventTable& t) {
  return t.size() *
             (sizeof(std::int32_t) + 4 * sizeof(std::uint8_t) + sizeof(float) + 2 * sizeof(double) +
              3 * sizeof(float) + sizeof(std::uint16_t) + sizeof(std::uint64_t) +
              // the agency, the original magnitude and type
              2 * sizeof(std::uint16_t) + sizeof(float)) +
         t.id_text.size();
}

double PeakResidentMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// An agency-style CSV of `count` events, written line by line.
std::string WriteCsv(std::size_t count) {
  std::string path = (std::filesystem::temp_directory_path() /
                      ("qev-bench-" + std::to_string(::getpid()) + ".csv"))
                         .string();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fputs("time,latitude,longitude,depth,mag,magType,id,place,type,magError\n", file);
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (std::size_t i = 0; i < count; ++i) {
    std::fprintf(
        file,
        "%04d-%02d-%02dT%02d:%02d:%06.3fZ,%.4f,%.4f,%.1f,%.1f,mww,ev%07zu,\"%d km N of Somewhere, "
        "Region\",earthquake,%.3f\n",
        1975 + static_cast<int>(i % 50), 1 + static_cast<int>(i % 12), 1 + static_cast<int>(i % 28),
        static_cast<int>(i % 24), static_cast<int>(i % 60), 60.0 * unit(random),
        -90.0 + 180.0 * unit(random), -180.0 + 360.0 * unit(random), 700.0 * unit(random),
        3.0 - std::log10(1.0 - unit(random)), i, static_cast<int>(100 * unit(random)),
        0.05 + 0.1 * unit(random));
  }
  std::fclose(file);
  return path;
}

void BM_ReadCsvMillion(benchmark::State& state) {
  const std::string path = WriteCsv(1000000);
  const double file_mb = static_cast<double>(std::filesystem::file_size(path)) / 1048576.0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    ReadOptions options;
    const ReadResult r = ReadCsvFile(path, options);
    bytes = TableBytes(r.events);
    benchmark::DoNotOptimize(r.events.magnitude.data());
  }
  std::filesystem::remove(path);
  state.counters["file_mb"] = file_mb;
  state.counters["table_mb"] = static_cast<double>(bytes) / 1048576.0;
  // Meaningful when this benchmark runs alone (--benchmark_filter=BM_ReadCsvMillion).
  state.counters["peak_rss_mb"] = PeakResidentMb();
}
BENCHMARK(BM_ReadCsvMillion)->Unit(benchmark::kMillisecond);

// An unclosed quote before 2 MB of short lines: the reader must find the end
// of the file without rescanning the joined record for every line.
void BM_CsvUnclosedQuote(benchmark::State& state) {
  std::string text = "time,latitude,longitude,mag,magError\n\"x";
  for (int i = 0; i < 500000; ++i) text += "\na,b";
  for (auto _ : state) {
    try {
      ReadCsvText(text, "quote.csv", ReadOptions());
      state.SkipWithError("the unclosed quote was read");
    } catch (const ReadingError& error) {
      benchmark::DoNotOptimize(error.line());
    }
  }
  state.counters["text_mb"] = static_cast<double>(text.size()) / 1048576.0;
}
BENCHMARK(BM_CsvUnclosedQuote)->Unit(benchmark::kMillisecond);

void BM_DeclusterMillion(benchmark::State& state) {
  const EventTable table = SyntheticCatalog(1000000, 3);
  std::size_t removed = 0;
  for (auto _ : state) {
    removed = Decluster(table, {DeclusterWindow::GardnerKnopoff1974, 0.0}).removed_total();
  }
  state.counters["removed"] = static_cast<double>(removed);
}
BENCHMARK(BM_DeclusterMillion)->Unit(benchmark::kMillisecond);

// The synthetic catalog with every third event written as mb and every
// third as Ms (two segments), converted to Mw.
void BM_HomogeniseMillion(benchmark::State& state) {
  EventTable table = SyntheticCatalog(1000000, 3);
  table.magnitude_types = {"mw", "mb", "Ms"};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table.magnitude_type[i] = static_cast<std::uint16_t>(i % 3);
  }
  HomogeniseOptions options;
  options.target = "Mw";
  options.target_types = {"mw"};
  options.relations = {{"mb", "", {{0.0, 10.0, 1.03, 0.85, 0.29}}, 0},
                       {"Ms", "", {{0.0, 6.1, 2.07, 0.67, 0.17}, {6.2, 10.0, 0.08, 0.99, 0.2}}, 0}};
  std::size_t converted = 0;
  for (auto _ : state) converted = Homogenise(table, options).counts.converted;
  state.counters["converted"] = static_cast<double>(converted);
}
BENCHMARK(BM_HomogeniseMillion)->Unit(benchmark::kMillisecond);

void BM_DeclusterGrid(benchmark::State& state) {
  const EventTable table = SyntheticCatalog(static_cast<std::size_t>(state.range(0)), 5);
  for (auto _ : state)
    benchmark::DoNotOptimize(Decluster(table, {DeclusterWindow::GardnerKnopoff1974, 0.0}));
}
BENCHMARK(BM_DeclusterGrid)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_DeclusterAllPairs(benchmark::State& state) {
  const EventTable table = SyntheticCatalog(static_cast<std::size_t>(state.range(0)), 5);
  for (auto _ : state) {
    benchmark::DoNotOptimize(DeclusterAllPairs(table, {DeclusterWindow::GardnerKnopoff1974, 0.0}));
  }
}
BENCHMARK(BM_DeclusterAllPairs)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Reasenberg (1985) linking with the published parameters on the same
// catalogs (xmeff the catalog's lowest magnitude, 3), the grid search and the
// all-pairs reference.
void BM_DeclusterReasenberg(benchmark::State& state) {
  const EventTable table = SyntheticCatalog(static_cast<std::size_t>(state.range(0)), 5);
  DeclusterOptions options;
  options.method = DeclusterMethod::Reasenberg1985;
  std::size_t removed = 0;
  for (auto _ : state) removed = Decluster(table, options).removed_total();
  state.counters["removed"] = static_cast<double>(removed);
}
BENCHMARK(BM_DeclusterReasenberg)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_DeclusterReasenbergAllPairs(benchmark::State& state) {
  const EventTable table = SyntheticCatalog(static_cast<std::size_t>(state.range(0)), 5);
  DeclusterOptions options;
  options.method = DeclusterMethod::Reasenberg1985;
  for (auto _ : state) benchmark::DoNotOptimize(DeclusterAllPairs(table, options));
}
BENCHMARK(BM_DeclusterReasenbergAllPairs)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ReadQuakeMlHundredThousand(benchmark::State& state) {
  std::string text =
      "<?xml version=\"1.0\"?>\n<q:quakeml xmlns:q=\"http://quakeml.org/xmlns/quakeml/1.2\" "
      "xmlns=\"http://quakeml.org/xmlns/bed/1.2\">\n<eventParameters publicID=\"smi:bench/p\">\n";
  char event[1024];
  for (int i = 0; i < 100000; ++i) {
    std::snprintf(
        event, sizeof event,
        "<event publicID=\"smi:bench/e%d\"><preferredOriginID>smi:bench/o%d</preferredOriginID>"
        "<preferredMagnitudeID>smi:bench/m%d</preferredMagnitudeID><type>earthquake</type>\n"
        "<origin publicID=\"smi:bench/o%d\"><time><value>%04d-%02d-%02dT10:11:12.5Z</value></time>"
        "<latitude><value>%.4f</value></latitude><longitude><value>%.4f</value></longitude>"
        "<depth><value>%d</value></depth></origin>\n<magnitude publicID=\"smi:bench/m%d\"><mag>"
        "<value>%.1f</value><uncertainty>0.1</uncertainty></mag><type>mw</type></magnitude></"
        "event>\n",
        i, i, i, i, 1975 + i % 50, 1 + i % 12, 1 + i % 28, -60.0 + (i % 1200) * 0.1,
        -170.0 + (i % 3400) * 0.1, 1000 * (i % 600), i, 3.0 + (i % 50) * 0.1);
    text += event;
  }
  text += "</eventParameters>\n</q:quakeml>\n";
  for (auto _ : state) {
    const ReadResult r = ReadQuakeMlText(text, "bench.xml", ReadOptions{});
    benchmark::DoNotOptimize(r.events.magnitude.data());
  }
  state.counters["document_mb"] = static_cast<double>(text.size()) / 1048576.0;
}
BENCHMARK(BM_ReadQuakeMlHundredThousand)->Unit(benchmark::kMillisecond);

}  // namespace
