// Synthetic earthquake catalogs with known truth.
//
// True magnitudes follow the doubly truncated Gutenberg-Richter law between
// Mmin and Mmax, events at or above Mmin occur as a Poisson process of Lambda
// per year, and each catalogued magnitude is the true one plus a normal error
// of the part's standard deviation, rounded to a chosen step. One history of
// events serves every part, so parts that share years share earthquakes.
//
// The extreme part lists, for consecutive windows of its period, the largest
// apparent magnitude of each window when it reaches the part's threshold,
// dated by default at the end of its window;
// a complete part lists every event of its period whose apparent magnitude
// reaches its threshold. The files use the layouts the two catalog readers of
// qev accept and respect their capacities nex and nfx.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qev::companion {

// A plan that cannot be carried out; the message says why and what to change.
class SynthError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DateSpec {
  int Year = 0;
  int Month = 1;
  int Day = 1;
};

// "YEAR", "YEAR/MONTH" or "YEAR/MONTH/DAY"; a start without month and day is
// 1 January, an end without them 31 December.
DateSpec ParseDate(const std::string& text, bool isEnd);
std::string DateText(const DateSpec& date, char separator);

struct ExtremePlan {
  DateSpec Start;
  DateSpec End;
  float Window = 1.0f;             // years per window; its largest event is listed
  std::optional<float> Threshold;  // default Mmin
  std::optional<float> Sd;         // default: the plan's Sd
  int Layout = 1;                  // 1 per-event SD, 2 common SD, 3 no SD
  bool DateAtOccurrence = false;   // else each event is dated at the end of its window
  std::string FileName = "extreme.dat";
};

struct CompletePlan {
  DateSpec Start;
  DateSpec End;
  std::optional<float> Threshold;  // default Mmin
  std::optional<float> Sd;
  int Layout = 2;        // 1 per-event SD, 2 common SD, 3 grouped
  std::string FileName;  // default completeN.dat
};

struct SynthPlan {
  float Beta = 2.302585f;  // b = 1.0
  float Lambda = 1.0f;     // events per year at or above Mmin
  float Mmin = 4.0f;
  float Mmax = 7.5f;
  float Sd = 0.2f;     // default standard deviation of every part
  float Step = 0.01f;  // magnitudes are rounded to multiples of this step
  std::uint64_t Seed = 1;
  std::optional<ExtremePlan> Extreme;
  std::vector<CompletePlan> Complete;
};

struct GeneratedPart {
  std::string FileName;
  std::string Text;  // the file contents
  int Layout = 0;
  float Start = 0.0f;  // decimal years as qev computes them
  float End = 0.0f;
  float Threshold = 0.0f;
  float Sd = 0.0f;
  int EventCount = 0;
  int RowCount = 0;       // lines of data (groups in layout 3)
  float Smallest = 0.0f;  // smallest and largest listed magnitude
  float Largest = 0.0f;
};

struct GeneratedCatalog {
  std::optional<GeneratedPart> Extreme;
  std::vector<GeneratedPart> Complete;
  std::vector<std::string> Warnings;
};

// Checks the plan and draws the catalog; throws SynthError.
GeneratedCatalog GenerateCatalog(const SynthPlan& plan);

// Writes the files of the catalog into `directory`; throws SynthError.
void WriteCatalogFiles(const GeneratedCatalog& catalog, const std::string& directory);

// A short account of the truth and of what each file holds.
std::string TruthSummary(const SynthPlan& plan, const GeneratedCatalog& catalog);

// Number of decimals that write multiples of `step` exactly (0 to 3).
int StepDecimals(float step);

}  // namespace qev::companion
