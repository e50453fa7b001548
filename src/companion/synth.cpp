#include "companion/synth.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "companion/random.h"
#include "qev/catalog.h"
#include "qev/classic_bounds.h"
#include "qev/classic_files.h"
#include "qev/errors.h"
#include "textio/number_text.h"

namespace qev::companion {

namespace {

// Upper bound on the simulated history, to keep memory and time bounded.
constexpr double kMaxSimulatedEvents = 2.0e7;
// qev cuts file-name answers to this many characters.
constexpr std::size_t kFileNameAnswerLength = 15;

struct HistoryEvent {
  double Time = 0.0;       // decimal year
  double Magnitude = 0.0;  // true magnitude
};

bool ParseInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  std::size_t used = 0;
  try {
    const long parsed = std::stol(text, &used, 10);
    if (used != text.size() || parsed < -1000000 || parsed > 1000000) return false;
    value = static_cast<int>(parsed);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

float DecimalOf(const DateSpec& date) {
  return DecimalYear(static_cast<float>(date.Year), static_cast<float>(date.Month),
                     static_cast<float>(date.Day));
}

void CheckDate(const DateSpec& date, const std::string& what) {
  if (date.Year < 1 || date.Month < 1 || date.Month > 12 || date.Day < 1 || date.Day > 31) {
    throw SynthError(what + " " + DateText(date, '/') +
                     " is not a date of the common era (year 1 or later, month 1-12, day 1-31)");
  }
}

// Interval in thousandths of a year as the extreme reader stores it.
std::int64_t StoredInterval(float from, float to) {
  return static_cast<std::int64_t>(
      std::trunc((static_cast<double>(to) - static_cast<double>(from)) * 1000.0));
}

// The calendar date whose decimal year (months as twelfths, days as 1/365.25)
// lies at or just after `time`; days run from 1 to 30.
DateSpec DateAt(double time) {
  DateSpec date;
  const double whole = std::floor(time);
  date.Year = static_cast<int>(whole) + 1;
  const double fraction = time - whole;
  date.Month = std::min(12, static_cast<int>(std::floor(fraction * 12.0)) + 1);
  const double inMonth = fraction - (date.Month - 1) / 12.0;
  date.Day = std::clamp(static_cast<int>(std::floor(inMonth * 365.25)) + 1, 1, 30);
  return date;
}

void NextDay(DateSpec& date) {
  if (++date.Day > 30) {
    date.Day = 1;
    if (++date.Month > 12) {
      date.Month = 1;
      ++date.Year;
    }
  }
}

// The file as qev reads it: the classic-file reader must take every event
// the generator listed, or the plan is refused rather than a file written
// that reads otherwise.
void CheckReadBack(const GeneratedPart& part, bool extreme) {
  std::istringstream text(part.Text);
  std::int64_t events = 0;
  try {
    if (extreme) {
      events = static_cast<std::int64_t>(
          ReadExtremeFile(text, part.FileName, static_cast<ExtremeLayout>(part.Layout))
              .part.events.size());
    } else {
      const CompleteFile file =
          ReadCompleteFile(text, part.FileName, static_cast<CompleteLayout>(part.Layout));
      for (const MagnitudeRow& row : file.part.rows) events += row.frequency;
    }
  } catch (const Error& error) {
    throw SynthError("the generated file " + part.FileName +
                     " does not read back: " + error.what());
  }
  if (events != part.EventCount) {
    throw SynthError("the generated file " + part.FileName + " reads back " +
                     std::to_string(events) + " events instead of " +
                     std::to_string(part.EventCount));
  }
}

struct PartSetting {
  float Threshold = 0.0f;
  float Sd = 0.0f;
  float Start = 0.0f;
  float End = 0.0f;
};

}  // namespace

DateSpec ParseDate(const std::string& text, bool isEnd) {
  DateSpec date;
  date.Month = isEnd ? 12 : 1;
  date.Day = isEnd ? 31 : 1;
  std::vector<std::string> pieces;
  std::string piece;
  std::istringstream in(text);
  while (std::getline(in, piece, '/')) pieces.push_back(piece);
  if (!text.empty() && text.back() == '/') pieces.push_back("");
  const bool ok = !pieces.empty() && pieces.size() <= 3 && ParseInt(pieces[0], date.Year) &&
                  (pieces.size() < 2 || ParseInt(pieces[1], date.Month)) &&
                  (pieces.size() < 3 || ParseInt(pieces[2], date.Day));
  if (!ok) throw SynthError("'" + text + "' is not a date (YEAR, YEAR/MONTH or YEAR/MONTH/DAY)");
  return date;
}

std::string DateText(const DateSpec& date, char separator) {
  return std::to_string(date.Year) + separator + std::to_string(date.Month) + separator +
         std::to_string(date.Day);
}

int StepDecimals(float step) {
  for (int decimals = 0; decimals <= 3; ++decimals) {
    const double scaled = static_cast<double>(step) * std::pow(10.0, decimals);
    if (std::fabs(scaled - std::round(scaled)) < 1e-4) return decimals;
  }
  throw SynthError("rounding step " + FixedText(step, 6) + " needs more than 3 decimals");
}

namespace {

// The period, threshold and SD of a part, checked against the plan.
PartSetting SettingOf(const SynthPlan& plan, const DateSpec& start, const DateSpec& end,
                      std::optional<float> threshold, std::optional<float> sd,
                      const std::string& name, std::vector<std::string>& warnings) {
  CheckDate(start, "the start of the " + name);
  CheckDate(end, "the end of the " + name);
  PartSetting s;
  s.Start = DecimalOf(start);
  s.End = DecimalOf(end);
  if (!(s.End > s.Start)) throw SynthError("the " + name + " must end after it starts");
  s.Threshold = threshold.value_or(plan.Mmin);
  s.Sd = sd.value_or(plan.Sd);
  if (!std::isfinite(s.Threshold) || !(s.Threshold < plan.Mmax)) {
    throw SynthError("the threshold of the " + name + " must be below Mmax");
  }
  if (s.Threshold < plan.Mmin) {
    warnings.push_back("the threshold of the " + name +
                       " lies below Mmin: the part lacks the events between them");
  }
  if (!(s.Sd >= 0.0f) || !(s.Sd <= 2.0f))
    throw SynthError("the SD of the " + name + " must lie between 0 and 2");
  return s;
}

void CheckFileName(const std::string& fileName, const std::string& name,
                   std::vector<std::string>& warnings) {
  if (fileName.empty()) throw SynthError("the file name of the " + name + " is empty");
  if (fileName.size() > kFileNameAnswerLength) {
    warnings.push_back("the file name '" + fileName + "' of the " + name +
                       " is longer than the 15 characters qev reads as a file name");
  }
}

std::string CompleteFileName(const CompletePlan& c, std::size_t p) {
  return c.FileName.empty() ? "complete" + std::to_string(p + 1) + ".dat" : c.FileName;
}

// The model's parameters and the set-up of the plan as a whole.
void CheckModel(const SynthPlan& plan) {
  if (!(plan.Beta > 0.0f) || !std::isfinite(plan.Beta)) throw SynthError("Beta must be positive");
  if (!(plan.Lambda > 0.0f) || !std::isfinite(plan.Lambda))
    throw SynthError("Lambda must be positive");
  if (!std::isfinite(plan.Mmin) || !std::isfinite(plan.Mmax) || !(plan.Mmax > plan.Mmin)) {
    throw SynthError("Mmax must be larger than Mmin");
  }
  if (!(plan.Sd >= 0.0f) || !(plan.Sd <= 2.0f))
    throw SynthError("the magnitude SD must lie between 0 and 2");
  if (!(plan.Step >= 0.01f - 1e-6f) || !(plan.Step <= 1.0f)) {
    throw SynthError("the rounding step must lie between 0.01 and 1");
  }
  if (!plan.Extreme && plan.Complete.empty()) {
    throw SynthError("no catalog part: give --extreme and/or --complete");
  }
  if (plan.Complete.size() > static_cast<std::size_t>(classic::kCompleteParts)) {
    throw SynthError("at most " + std::to_string(classic::kCompleteParts) +
                     " complete parts (ncpx) can be read by qev, " +
                     std::to_string(plan.Complete.size()) + " were given");
  }
}

PartSetting CheckExtreme(const SynthPlan& plan, std::vector<std::string>& warnings) {
  const ExtremePlan& e = *plan.Extreme;
  const PartSetting s =
      SettingOf(plan, e.Start, e.End, e.Threshold, e.Sd, "extreme part", warnings);
  CheckFileName(e.FileName, "extreme part", warnings);
  if (e.Layout < 1 || e.Layout > 3) throw SynthError("the extreme layout must be 1, 2 or 3");
  if (!(e.Window >= 0.01f)) throw SynthError("the extreme window must be at least 0.01 years");
  const double windows = std::ceil((static_cast<double>(s.End) - s.Start) / e.Window);
  if (windows > classic::kExtremeEvents) {
    throw SynthError("the extreme part would have " + FixedText(windows, 0) + " windows of " +
                     FixedText(e.Window, 2) +
                     " years, and so up to that many events, more than the " +
                     std::to_string(classic::kExtremeEvents) +
                     " (nex) that qev reads; lengthen the window or shorten the period");
  }
  return s;
}

std::vector<PartSetting> CheckComplete(const SynthPlan& plan, std::vector<std::string>& warnings) {
  std::vector<PartSetting> settings;
  for (std::size_t p = 0; p < plan.Complete.size(); ++p) {
    const CompletePlan& c = plan.Complete[p];
    const std::string name = "complete part " + std::to_string(p + 1);
    settings.push_back(SettingOf(plan, c.Start, c.End, c.Threshold, c.Sd, name, warnings));
    CheckFileName(CompleteFileName(c, p), name, warnings);
    if (c.Layout < 1 || c.Layout > 3)
      throw SynthError("the layout of " + name + " must be 1, 2 or 3");
    // Expected number of listed events: the rate above the threshold, raised by
    // the magnitude errors (exp(Beta^2 SD^2 / 2) for an exponential tail).
    const PartSetting& s = settings.back();
    const double beta = plan.Beta;
    const double above = (std::exp(-beta * s.Threshold) - std::exp(-beta * plan.Mmax)) /
                         (std::exp(-beta * plan.Mmin) - std::exp(-beta * plan.Mmax));
    const double expected = plan.Lambda * (static_cast<double>(s.End) - s.Start) *
                            std::min(1.0, above) * std::exp(beta * beta * s.Sd * s.Sd / 2.0);
    if (c.Layout != 3 && expected > classic::kCompleteRows) {
      throw SynthError(name + " would hold about " + FixedText(expected, 0) +
                       " events, more than the " + std::to_string(classic::kCompleteRows) +
                       " rows (nfx) that qev reads from one file; shorten its period, "
                       "raise its threshold or use layout 3");
    }
  }
  for (std::size_t p = 1; p < plan.Complete.size(); ++p) {
    if (plan.Complete[p].Layout != plan.Complete[0].Layout) {
      warnings.push_back(
          "the complete parts have different layouts, but qev reads all complete "
          "files of one session with the same layout");
      break;
    }
  }
  for (std::size_t p = 1; p < plan.Complete.size(); ++p) {
    if (settings[p].Start < settings[p - 1].End) {
      warnings.push_back("complete parts " + std::to_string(p) + " and " + std::to_string(p + 1) +
                         " overlap: qev counts their common events twice");
    }
  }
  return settings;
}

// The history of true events over the whole time covered by the parts.
std::vector<HistoryEvent> DrawHistory(const SynthPlan& plan,
                                      const std::optional<PartSetting>& extreme,
                                      const std::vector<PartSetting>& complete, Pcg32& random) {
  double first = 1e30;
  double last = -1e30;
  if (extreme) {
    first = std::min<double>(first, extreme->Start);
    last = std::max<double>(last, extreme->End);
  }
  for (const PartSetting& s : complete) {
    first = std::min<double>(first, s.Start);
    last = std::max<double>(last, s.End);
  }
  if (plan.Lambda * (last - first) > kMaxSimulatedEvents) {
    throw SynthError("the parts span " + FixedText(last - first, 1) + " years at " +
                     FixedText(plan.Lambda, 3) + " events per year: more than " +
                     FixedText(kMaxSimulatedEvents, 0) +
                     " events to simulate; raise Mmin (and lower Lambda) or shorten the periods");
  }
  const double beta = plan.Beta;
  const double spread = 1.0 - std::exp(-beta * (static_cast<double>(plan.Mmax) - plan.Mmin));
  std::vector<HistoryEvent> history;
  for (double t = first + random.Exponential(1.0 / plan.Lambda); t < last;
       t += random.Exponential(1.0 / plan.Lambda)) {
    // Inverse of the doubly truncated exponential distribution.
    const double m = plan.Mmin - std::log(1.0 - random.Uniform() * spread) / beta;
    history.push_back({t, std::min<double>(m, plan.Mmax)});
  }
  return history;
}

// The catalogued magnitude of an event: its true one with a normal error,
// rounded to the step.
double Apparent(const HistoryEvent& event, float sd, double step, Pcg32& random) {
  const double observed = event.Magnitude + sd * random.Normal();
  return std::round(observed / step) * step;
}

bool Reaches(double magnitude, float threshold) { return magnitude >= threshold - 1e-6; }

GeneratedPart PartOf(const PartSetting& s, const std::string& fileName, int layout) {
  GeneratedPart part;
  part.FileName = fileName;
  part.Layout = layout;
  part.Start = s.Start;
  part.End = s.End;
  part.Threshold = s.Threshold;
  part.Sd = s.Sd;
  return part;
}

void Count(GeneratedPart& part, float m) {
  part.Smallest = part.EventCount == 0 ? m : std::min(part.Smallest, m);
  part.Largest = part.EventCount == 0 ? m : std::max(part.Largest, m);
  ++part.EventCount;
}

// The extreme part: the largest apparent magnitude of each window.
GeneratedPart DrawExtreme(const SynthPlan& plan, const PartSetting& s,
                          const std::vector<HistoryEvent>& history, int magDecimals, Pcg32& random,
                          std::vector<std::string>& warnings) {
  int windows = 0;
  int empty = 0;
  const ExtremePlan& e = *plan.Extreme;
  GeneratedPart part = PartOf(s, e.FileName, e.Layout);
  std::ostringstream text;
  text << DateText(e.Start, ' ') << '\n' << DateText(e.End, ' ') << '\n';
  if (e.Layout == 2) text << FixedText(s.Sd, 2) << '\n';
  float previous = s.Start;
  std::size_t next = 0;
  for (double windowStart = s.Start; windowStart < s.End; windowStart += e.Window) {
    const double windowEnd = std::min<double>(windowStart + e.Window, s.End);
    ++windows;
    double best = -1e30;
    double bestTime = 0.0;
    for (; next < history.size() && history[next].Time < windowEnd; ++next) {
      if (history[next].Time < windowStart) continue;
      const double m = Apparent(history[next], s.Sd, plan.Step, random);
      if (m > best) {
        best = m;
        bestTime = history[next].Time;
      }
    }
    if (!Reaches(best, s.Threshold)) {
      ++empty;
      continue;
    }
    // Dated at the end of its window (qev then measures exactly the span of
    // which it is the largest event), or at its occurrence. The reader needs
    // each event at least a thousandth of a year after the one before; a
    // crowded event moves on by days.
    DateSpec date = DateAt(e.DateAtOccurrence ? bestTime : windowEnd - 0.003);
    while (StoredInterval(previous, DecimalOf(date)) < 2) NextDay(date);
    if (DecimalOf(date) > s.End) continue;
    previous = DecimalOf(date);
    text << DateText(date, ' ') << ' ' << FixedText(best, magDecimals);
    if (e.Layout == 1) text << ' ' << FixedText(s.Sd, 2);
    text << '\n';
    Count(part, static_cast<float>(best));
  }
  part.RowCount = part.EventCount;
  part.Text = text.str();
  CheckReadBack(part, true);
  if (empty > 0) {
    warnings.push_back(std::to_string(empty) + " of " + std::to_string(windows) +
                       " windows of the extreme part hold no event at or above its threshold: "
                       "qev takes the next listed event as the largest of both, and such "
                       "designs bias the estimates (see qev-calibrate); lengthen the window or "
                       "lower the threshold");
  }
  return part;
}

// A complete part: every event that reaches the threshold.
GeneratedPart DrawComplete(const SynthPlan& plan, std::size_t p, const PartSetting& s,
                           const std::vector<HistoryEvent>& history, int magDecimals,
                           Pcg32& random) {
  const CompletePlan& c = plan.Complete[p];
  const double step = plan.Step;
  GeneratedPart part = PartOf(s, CompleteFileName(c, p), c.Layout);
  std::ostringstream text;
  text << DateText(c.Start, ' ') << '\n'
       << DateText(c.End, ' ') << '\n'
       << FixedText(s.Threshold, magDecimals) << '\n';
  if (c.Layout != 1) text << FixedText(s.Sd, 2) << '\n';
  std::map<long long, int> groups;  // rounded magnitude in steps -> frequency
  for (const HistoryEvent& event : history) {
    if (event.Time < s.Start || event.Time >= s.End) continue;
    const double m = Apparent(event, s.Sd, step, random);
    if (!Reaches(m, s.Threshold)) continue;
    if (c.Layout == 3) {
      ++groups[std::llround(m / step)];
    } else {
      text << FixedText(m, magDecimals);
      if (c.Layout == 1) text << ' ' << FixedText(s.Sd, 2);
      text << '\n';
      ++part.RowCount;
    }
    Count(part, static_cast<float>(m));
  }
  for (const auto& [steps, frequency] : groups) {
    text << frequency << ' ' << FixedText(static_cast<double>(steps) * step, magDecimals) << '\n';
    ++part.RowCount;
  }
  if (part.RowCount > classic::kCompleteRows) {
    throw SynthError("complete part " + std::to_string(p + 1) + " drew " +
                     std::to_string(part.RowCount) + " lines of data, more than the " +
                     std::to_string(classic::kCompleteRows) +
                     " rows (nfx) that qev reads from one file; shorten its period, raise its "
                     "threshold or use layout 3");
  }
  part.Text = text.str();
  CheckReadBack(part, false);
  return part;
}

}  // namespace

GeneratedCatalog GenerateCatalog(const SynthPlan& plan) {
  // Every check of the plan comes before anything is drawn.
  CheckModel(plan);
  const int magDecimals = std::max(2, StepDecimals(plan.Step));
  GeneratedCatalog result;
  std::optional<PartSetting> extreme;
  if (plan.Extreme) extreme = CheckExtreme(plan, result.Warnings);
  const std::vector<PartSetting> complete = CheckComplete(plan, result.Warnings);

  Pcg32 random(plan.Seed);
  const std::vector<HistoryEvent> history = DrawHistory(plan, extreme, complete, random);
  if (extreme) {
    result.Extreme = DrawExtreme(plan, *extreme, history, magDecimals, random, result.Warnings);
  }
  for (std::size_t p = 0; p < plan.Complete.size(); ++p) {
    result.Complete.push_back(DrawComplete(plan, p, complete[p], history, magDecimals, random));
    if (result.Complete.back().EventCount == 0) {
      result.Warnings.push_back("complete part " + std::to_string(p + 1) + " holds no event");
    }
  }
  if (result.Extreme && result.Extreme->EventCount == 0) {
    result.Warnings.push_back("the extreme part holds no event");
  }
  return result;
}

void WriteCatalogFiles(const GeneratedCatalog& catalog, const std::string& directory) {
  std::vector<const GeneratedPart*> parts;
  if (catalog.Extreme) parts.push_back(&*catalog.Extreme);
  for (const GeneratedPart& part : catalog.Complete) parts.push_back(&part);
  for (const GeneratedPart* part : parts) {
    const std::filesystem::path path = std::filesystem::path(directory) / part->FileName;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << part->Text;
    out.close();
    if (!out) throw SynthError("cannot write the file " + path.string());
  }
}

std::string TruthSummary(const SynthPlan& plan, const GeneratedCatalog& catalog) {
  std::ostringstream out;
  out << "Synthetic catalog, seed " << plan.Seed << "\n";
  out << "  Beta   = " << FixedText(plan.Beta, 4) << "  (b = " << FixedText(plan.Beta * 0.43429f, 4)
      << ")\n";
  out << "  Lambda = " << FixedText(plan.Lambda, 4)
      << " per year at or above Mmin = " << FixedText(plan.Mmin, 2) << "\n";
  out << "  Mmax   = " << FixedText(plan.Mmax, 2) << "\n";
  out << "  magnitudes rounded to " << FixedText(plan.Step, StepDecimals(plan.Step)) << "\n";
  auto line = [&](const std::string& name, const GeneratedPart& part) {
    out << "  " << name << ": " << part.FileName << ", layout " << part.Layout << ", threshold "
        << FixedText(part.Threshold, 2) << ", SD " << FixedText(part.Sd, 2) << ", "
        << part.EventCount << " events";
    if (part.EventCount > 0)
      out << ", magnitudes " << FixedText(part.Smallest, 2) << " to " << FixedText(part.Largest, 2);
    out << "\n";
  };
  if (catalog.Extreme) line("extreme part", *catalog.Extreme);
  for (std::size_t p = 0; p < catalog.Complete.size(); ++p) {
    line("complete part " + std::to_string(p + 1), catalog.Complete[p]);
  }
  return out.str();
}

}  // namespace qev::companion
