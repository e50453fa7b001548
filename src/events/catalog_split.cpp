// The split of an event table into the extreme part and the complete parts.
#include "qev/catalog_split.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>

#include "qev/event_settings.h"

namespace qev {

namespace {

// Magnitudes are read to single precision from texts with two decimals at
// most; half a hundredth keeps 4.5 (4.4999999 in single precision) at a
// threshold 4.5 without taking 4.49.
constexpr float kThresholdTolerance = 0.005f;

constexpr float kSmallestExtremeSd = 0.01f;

CivilDate DayBefore(std::int32_t year) { return {year - 1 == 0 ? -1 : year - 1, 12, 31}; }

// The day before a date (no year 0).
CivilDate DayBefore(CivilDate date) {
  if (date.day > 1) return {date.year, date.month, date.day - 1};
  if (date.month == 1) return DayBefore(date.year);
  CivilDate before{date.year, date.month - 1, 31};
  while (!IsValidDate(before)) --before.day;
  return before;
}

std::string Describe(const EventTable& events, std::size_t i) {
  std::string text = FormatDate(events.date(i)) + " M " + std::to_string(events.magnitude[i]);
  if (!events.id(i).empty()) text += " (" + std::string(events.id(i)) + ")";
  return text;
}

// The order of the events in time, and their day numbers.
struct TimeOrder {
  std::vector<double> days;
  std::vector<std::size_t> order;
};

void CheckCompleteness(const SplitOptions& options) {
  for (std::size_t k = 1; k < options.completeness.size(); ++k) {
    if (options.completeness[k].year <= options.completeness[k - 1].year) {
      throw CatalogError("the completeness table must list its years in increasing order: " +
                         std::to_string(options.completeness[k].year) + " follows " +
                         std::to_string(options.completeness[k - 1].year));
    }
  }
  // Thresholds within the magnitudes the readers take (at most 10); one of
  // -1e30 would pass every event and give a rate of 0.
  for (const CompletenessStep& step : options.completeness) {
    if (!IsValidDate({step.year, 1, 1}) || !(step.threshold >= -10.0f && step.threshold <= 10.0f)) {
      char threshold[32];
      std::snprintf(threshold, sizeof threshold, "%g", static_cast<double>(step.threshold));
      throw CatalogError("the completeness step " + std::to_string(step.year) + ", " + threshold +
                         " needs an existing year and a magnitude from -10 to 10");
    }
  }
}

// A complete part for each step of the completeness table.
void SplitComplete(const EventTable& events, const SplitOptions& options, const TimeOrder& time,
                   SplitResult& result) {
  const std::size_t n = events.size();
  const std::vector<double>& days = time.days;
  const std::vector<std::size_t>& order = time.order;
  CivilDate end;
  if (options.end) {
    end = LastDayOf(*options.end);
  } else if (n > 0) {
    end = CompletedDate(events.date(order.back()));
  } else {
    throw CatalogError("no events: the end of the youngest complete period must be given");
  }
  if (DayNumber(end) < DayNumber({options.completeness.back().year, 1, 1})) {
    throw CatalogError("the youngest complete period begins in " +
                       std::to_string(options.completeness.back().year) + " but the catalog ends " +
                       FormatDate(end));
  }
  for (std::size_t k = 0; k < options.completeness.size(); ++k) {
    const CompletenessStep& step = options.completeness[k];
    PartPeriod period{
        {step.year, 1, 1},
        k + 1 < options.completeness.size() ? DayBefore(options.completeness[k + 1].year) : end};
    // The period is the step's within the time the catalog observes.
    if (options.start && DayNumber(FirstDayOf(*options.start)) > DayNumber(period.first_day)) {
      period.first_day = FirstDayOf(*options.start);
      if (DayNumber(period.first_day) > DayNumber(period.last_day)) continue;
    }
    const double first = DayNumber(period.first_day);
    const double after = DayNumber(period.last_day) + 1.0;
    CompletePart part;
    part.start = CatalogDecimalYear(period.first_day);
    part.end = CatalogDecimalYear(period.last_day);
    part.threshold = step.threshold;
    std::vector<std::size_t> rows;
    for (std::size_t i : order) {
      if (days[i] < first || days[i] >= after) continue;
      if (events.magnitude[i] < step.threshold - kThresholdTolerance) {
        ++result.below_threshold;
        continue;
      }
      rows.push_back(i);
      part.rows.push_back({events.magnitude[i], events.sd[i], 1});
    }
    part.sd = MeanSd(part.rows);
    result.catalog.complete.push_back(std::move(part));
    result.complete_periods.push_back(period);
    result.complete_rows.push_back(std::move(rows));
  }
}

// The windows of the extreme part: window k begins on the first day moved by
// k window lengths (calendar years decide, no year 0).
struct ExtremeWindows {
  CivilDate first_day;
  std::int32_t years = 1;

  double Begins(std::int64_t k) const {
    CivilDate d = first_day;
    d.year = static_cast<std::int32_t>(d.year + k * years);
    if (first_day.year < 0 && d.year >= 0) d.year += 1;
    return DayNumber(d);
  }
  CivilDate FirstDay(std::int64_t k) const {
    CivilDate d = first_day;
    d.year = static_cast<std::int32_t>(d.year + k * years);
    if (first_day.year < 0 && d.year >= 0) d.year += 1;
    return d;
  }
  std::int64_t Of(double t) const {
    std::int64_t w = static_cast<std::int64_t>((t - DayNumber(first_day)) / (365.2425 * years));
    while (w > 0 && t < Begins(w)) --w;
    while (t >= Begins(w + 1)) ++w;
    return w;
  }
};

// The windows as built: an empty window joins the window of the next listed
// event (the empty windows after the last one join the last), so that each
// listed event is the largest of its built window; or the split is refused.
void BuildWindows(const ExtremeWindows& windows, const std::vector<std::int64_t>& listed,
                  std::int64_t count, const PartPeriod& period, const SplitOptions& options,
                  SplitResult& result) {
  result.extreme_window_count = static_cast<std::size_t>(std::max<std::int64_t>(count, 0));
  result.empty_windows = result.extreme_window_count - listed.size();
  if (result.empty_windows > 0 && options.empty_windows == EmptyWindows::Refuse) {
    throw CatalogError(std::to_string(result.empty_windows) + " of " +
                       std::to_string(result.extreme_window_count) + " extreme windows of " +
                       std::to_string(windows.years) +
                       " years hold no event, and the likelihood would take the next listed "
                       "event as the largest of a window it does not belong to: choose longer "
                       "windows (extreme_window), a later start (extreme_from), or let the "
                       "empty windows merge into their neighbours (empty_windows = \"merge\")");
  }
  std::int64_t from = 0;
  for (std::size_t k = 0; k < listed.size(); ++k) {
    const bool last = k + 1 == listed.size();
    const std::int64_t to = last ? count - 1 : listed[k];
    result.extreme_windows.push_back(
        {windows.FirstDay(from), last ? period.last_day : DayBefore(windows.FirstDay(to + 1)),
         result.extreme_rows[k], static_cast<std::int32_t>(to - from + 1)});
    from = to + 1;
  }
}

// The span of the extreme part: from extreme_from (else the first year of
// the catalog or of the selection, whichever is later) to extreme_to (else
// the day before the first completeness period, else the last event).
PartPeriod ExtremePeriod(const EventTable& events, const SplitOptions& options,
                         const TimeOrder& time) {
  const std::vector<std::size_t>& order = time.order;
  if (events.size() == 0 && !options.extreme_from) {
    throw CatalogError("no events: the start of the extreme span must be given");
  }
  PartPeriod period;
  period.first_day = options.extreme_from ? FirstDayOf(*options.extreme_from)
                                          : CivilDate{events.year[order.front()], 1, 1};
  if (!options.extreme_from && options.start &&
      DayNumber(FirstDayOf(*options.start)) > DayNumber(period.first_day)) {
    period.first_day = FirstDayOf(*options.start);
  }
  if (options.extreme_to) {
    period.last_day = LastDayOf(*options.extreme_to);
  } else if (!options.completeness.empty()) {
    period.last_day = DayBefore(options.completeness.front().year);
  } else if (events.size() > 0) {
    period.last_day = CompletedDate(events.date(order.back()));
  } else {
    throw CatalogError("the end of the extreme span must be given");
  }
  return period;
}

// The extreme part: the largest event of each window of the span.
void SplitExtreme(const EventTable& events, const SplitOptions& options, const TimeOrder& time,
                  SplitResult& result) {
  const std::size_t n = events.size();
  const std::vector<double>& days = time.days;
  const std::vector<std::size_t>& order = time.order;
  if (n == 0 && !options.extreme_from) {
    throw CatalogError("no events: the start of the extreme span must be given");
  }
  const PartPeriod period = ExtremePeriod(events, options, time);
  const double first = DayNumber(period.first_day);
  const double after = DayNumber(period.last_day) + 1.0;
  if (after <= first) {
    throw CatalogError("the extreme span " + FormatDate(period.first_day) + " to " +
                       FormatDate(period.last_day) + " ends before it begins");
  }
  ExtremePart part;
  part.start = CatalogDecimalYear(period.first_day);
  part.end = CatalogDecimalYear(period.last_day);
  // Windows from the first day on, each extreme_window_years long.
  const ExtremeWindows windows{period.first_day, options.extreme_window_years};
  std::size_t best = static_cast<std::size_t>(-1);
  std::int64_t best_window = -1;
  std::vector<std::int64_t> listed;  // the window of each listed event
  auto flush = [&]() {
    if (best_window < 0) return;
    result.extreme_rows.push_back(best);
    listed.push_back(best_window);
    best_window = -1;
  };
  for (std::size_t i : order) {
    if (days[i] < first || days[i] >= after) continue;
    const std::int64_t w = windows.Of(days[i]);
    if (w != best_window) {
      flush();
      best_window = w;
      best = i;
    } else if (events.magnitude[i] > events.magnitude[best]) {
      best = i;
    }
  }
  flush();
  BuildWindows(windows, listed, windows.Of(after - 0.5) + 1, period, options, result);
  float previous = part.start;
  for (std::size_t i : result.extreme_rows) {
    result.extreme_dates.push_back(CompletedDate(events.date(i)));
  }
  for (std::size_t k = 0; k < result.extreme_rows.size(); ++k) {
    const std::size_t i = result.extreme_rows[k];
    const float time = CatalogDecimalYear(events.date(i));
    // The classic interval: thousandths of a year, truncated, at least one.
    if (!(std::trunc((static_cast<double>(time) - static_cast<double>(previous)) * 1000.0) > 0.0)) {
      throw CatalogError(
          "extreme event " + std::to_string(k + 1) + ", " + Describe(events, i) +
          (k == 0 ? ", lies less than 0.001 year after the start of the extreme span " +
                        FormatDate(period.first_day) + ": begin the span a day earlier"
                  : ", lies less than 0.001 year after the extreme event before it: choose "
                    "another window length or span"));
    }
    // The classic extreme layout raises an SD below 0.01 to 0.01; the part
    // does the same so that its files and the catalog agree.
    part.events.push_back({time, events.magnitude[i], std::max(events.sd[i], kSmallestExtremeSd)});
    previous = time;
  }
  result.catalog.extreme = std::move(part);
  result.extreme_period = period;
}

// Events in no period.
std::size_t CountOutside(const std::vector<double>& days, const SplitResult& result) {
  const std::size_t n = days.size();
  std::size_t outside = 0;
  std::vector<std::pair<double, double>> spans;
  auto span_of = [](const PartPeriod& p) {
    return std::make_pair(DayNumber(p.first_day), DayNumber(p.last_day) + 1.0);
  };
  for (const PartPeriod& p : result.complete_periods) spans.push_back(span_of(p));
  if (result.extreme_period) spans.push_back(span_of(*result.extreme_period));
  for (std::size_t i = 0; i < n; ++i) {
    const bool inside = std::any_of(spans.begin(), spans.end(), [&](const auto& s) {
      return days[i] >= s.first && days[i] < s.second;
    });
    outside += !inside;
  }
  return outside;
}

}  // namespace

SplitResult Split(const EventTable& events, const SplitOptions& options) {
  Validate(options);
  SplitResult result;
  const std::size_t n = events.size();
  TimeOrder time;
  time.days.resize(n);
  for (std::size_t i = 0; i < n; ++i) time.days[i] = events.days(i);
  time.order.resize(n);
  std::iota(time.order.begin(), time.order.end(), std::size_t{0});
  std::stable_sort(time.order.begin(), time.order.end(),
                   [&](std::size_t a, std::size_t b) { return time.days[a] < time.days[b]; });

  CheckCompleteness(options);
  if (!options.completeness.empty()) SplitComplete(events, options, time, result);
  if (options.extreme_window_years < 0) {
    throw CatalogError("the extreme window must be a whole number of years, 1 or more");
  }
  if (options.extreme_window_years > 0) SplitExtreme(events, options, time, result);
  result.outside_parts += CountOutside(time.days, result);
  return result;
}

float LowestLevel(const Catalog& catalog) {
  float lowest = 0.0f;
  bool any = false;
  auto take = [&](float m) {
    if (!any || m < lowest) lowest = m;
    any = true;
  };
  if (catalog.extreme) {
    for (const ExtremeEvent& e : catalog.extreme->events) take(e.magnitude);
  }
  for (const CompletePart& part : catalog.complete) take(part.threshold);
  return lowest;
}

}  // namespace qev
