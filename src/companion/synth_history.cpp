#include "companion/synth_history.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "companion/command_line.h"
#include "companion/random.h"
#include "qev/catalog.h"
#include "textio/number_text.h"

namespace qev::companion {

namespace {

// The most true events one catalog simulates.
constexpr double kMaxHistoryEvents = 5e6;
// Detection midpoint below each step's Mc, in edges (Phi(2) = 0.977).
constexpr double kEdgesBelowMc = 2.0;

double DaysInYear(int year) {
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return leap ? 366.0 : 365.0;
}

// Date and time of a decimal year (proleptic Gregorian days), as ISO 8601.
std::string IsoTime(double t) {
  const int year = static_cast<int>(std::floor(t));
  double day = (t - year) * DaysInYear(year);
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int month = 0;
  for (; month < 11; ++month) {
    const int length = kDays[month] + (month == 1 && DaysInYear(year) == 366.0 ? 1 : 0);
    if (day < length) break;
    day -= length;
  }
  const int whole = static_cast<int>(std::floor(day));
  const double seconds = std::min(86399.0, std::floor((day - whole) * 86400.0));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month + 1, whole + 1,
                static_cast<int>(seconds / 3600), static_cast<int>(std::fmod(seconds, 3600) / 60),
                static_cast<int>(std::fmod(seconds, 60)));
  return text;
}

float McAt(const HistoryPlan& h, double t) {
  float mc = h.Steps.front().Mc;
  for (const HistoryStep& s : h.Steps) {
    if (t >= s.Year) mc = s.Mc;
  }
  return mc;
}

void CheckHistory(const SynthPlan& plan, const HistoryPlan& h) {
  if (h.Steps.empty()) throw SynthError("the completeness history has no step");
  for (std::size_t k = 1; k < h.Steps.size(); ++k) {
    if (h.Steps[k].Year <= h.Steps[k - 1].Year) {
      throw SynthError("the history's years must increase: " + std::to_string(h.Steps[k].Year) +
                       " follows " + std::to_string(h.Steps[k - 1].Year));
    }
  }
  if (h.EndYear < h.Steps.front().Year) {
    throw SynthError("the history ends (" + std::to_string(h.EndYear) + ") before its first step");
  }
  if (!(h.Edge > 0.0f && h.Edge <= 1.0f)) {
    throw SynthError("the detection edge must be above 0 and at most 1, not " +
                     FixedText(h.Edge, 3));
  }
  for (const HistoryStep& s : h.Steps) {
    if (s.Mc - (kEdgesBelowMc + 3.0) * h.Edge < plan.Mmin - 1e-6f) {
      throw SynthError("Mmin " + FixedText(plan.Mmin, 2) + " cuts the detection edge of the step " +
                       std::to_string(s.Year) + ":" + FixedText(s.Mc, 2) +
                       ": give Mmin at most Mc - 5 edges (" +
                       FixedText(s.Mc - (kEdgesBelowMc + 3.0) * h.Edge, 2) + ")");
    }
    if (s.Mc >= plan.Mmax) {
      throw SynthError("the step " + std::to_string(s.Year) + ":" + FixedText(s.Mc, 2) +
                       " is not below Mmax " + FixedText(plan.Mmax, 2));
    }
  }
  const double years = h.EndYear + 1.0 - h.Steps.front().Year;
  if (plan.Lambda * years > kMaxHistoryEvents) {
    throw SynthError("the history spans " + FixedText(years, 0) + " years at " +
                     FixedText(plan.Lambda, 3) + " events per year: more than " +
                     FixedText(kMaxHistoryEvents, 0) +
                     " events to simulate; raise Mmin or lower Lambda");
  }
}

}  // namespace

std::vector<HistoryStep> ParseHistorySteps(const std::string& text) {
  std::vector<HistoryStep> steps;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    const std::size_t colon = item.find(':');
    if (colon == std::string::npos) {
      throw UsageError("--history: '" + item + "' is not YEAR:MC (e.g. 1900:6.0,1964:5.0)");
    }
    steps.push_back({ParseInteger(item.substr(0, colon), "--history year"),
                     ParseReal(item.substr(colon + 1), "--history Mc")});
    at = comma + 1;
  }
  return steps;
}

HistoryCatalog GenerateHistory(const SynthPlan& plan, const HistoryPlan& h) {
  CheckHistory(plan, h);
  Pcg32 random(plan.Seed);
  const double beta = plan.Beta;
  const double spread = 1.0 - std::exp(-beta * (static_cast<double>(plan.Mmax) - plan.Mmin));
  const int decimals = StepDecimals(plan.Step);
  const double first = h.Steps.front().Year;
  const double last = h.EndYear + 1.0;
  HistoryCatalog c;
  std::string& out = c.Text;
  out = "time,latitude,longitude,depth,mag,magType,magError\n";
  for (double t = first + random.Exponential(1.0 / plan.Lambda); t < last;
       t += random.Exponential(1.0 / plan.Lambda)) {
    ++c.Simulated;
    // Inverse of the doubly truncated exponential distribution.
    const double m =
        std::min<double>(plan.Mmin - std::log(1.0 - random.Uniform() * spread) / beta, plan.Mmax);
    const double observed = std::round((m + plan.Sd * random.Normal()) / plan.Step) * plan.Step;
    const double middle = McAt(h, t) - kEdgesBelowMc * h.Edge;
    const double detected = 0.5 * std::erfc(-(observed - middle) / (h.Edge * std::sqrt(2.0)));
    if (random.Uniform() >= detected) continue;
    ++c.Kept;
    out += IsoTime(t) + ",0,0,10," + FixedText(observed, decimals) + ",mw," +
           FixedText(plan.Sd, 3) + "\n";
  }
  return c;
}

void WriteHistoryFile(const HistoryCatalog& catalog, const std::string& path) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << catalog.Text;
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw SynthError("cannot write the file " + path);
    }
  }
  std::error_code failed;
  std::filesystem::rename(temporary, path, failed);
  if (failed) throw SynthError("cannot write the file " + path + " (" + failed.message() + ")");
}

std::string HistorySummary(const SynthPlan& plan, const HistoryPlan& h, const HistoryCatalog& c) {
  std::ostringstream out;
  out << "Synthetic catalog with a completeness history, seed " << plan.Seed << "\n";
  out << "  b = " << FixedText(plan.Beta * 0.43429f, 4)
      << ", Lambda = " << FixedText(plan.Lambda, 4)
      << " per year at or above Mmin = " << FixedText(plan.Mmin, 2)
      << ", Mmax = " << FixedText(plan.Mmax, 2) << ", magnitude SD " << FixedText(plan.Sd, 3)
      << "\n";
  out << "  completeness steps (Mc detected with probability 97.7 %, edge SD "
      << FixedText(h.Edge, 3) << "):";
  for (const HistoryStep& s : h.Steps) out << " " << s.Year << ":" << FixedText(s.Mc, 2);
  out << "\n  " << h.FileName << ": " << c.Kept << " of " << c.Simulated << " events, "
      << h.Steps.front().Year << " to " << h.EndYear << "\n";
  return out.str();
}

}  // namespace qev::companion
