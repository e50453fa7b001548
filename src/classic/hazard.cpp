#include "classic/hazard.h"

#include <array>
#include <cstdint>
#include <vector>

#include "classic/figure_formats.h"
#include "console/sink.h"
#include "qev/analysis.h"

namespace qev {

namespace {

constexpr const char* kClear = "(/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)";

constexpr const char* kEnterMagnitude = "('  Enter MAGNITUDE <',F5.2,',',F5.2,'> = ')";
constexpr const char* kRuler = " -----------------------------------";

constexpr const char* kTableTitle = "(/,'                           HAZARD EVALUATION ')";
constexpr const char* kTableUnderline =
    "('                ===========================================')";

// Step B: answers magnitude queries until the user enters 0.
void AnswerQueries(TextIo& io, const HazardModel& model) {
  ReportSink& sink = io.Sink();
  const float mmin = model.mmin;
  const float mmax = model.mmax;
  // A null answer leaves the magnitude as it was: 0 (end) before the first
  // answer, the previous magnitude afterwards.
  float m = 0.0f;
  for (;;) {
    sink.List(Dest::Console);
    sink.Format(Dest::Console, kEnterMagnitude, {mmin, mmax});
    sink.List(Dest::Console);
    io.ReadConsole({&m});
    sink.Format(Dest::Console, kClear);

    if (m == 0.0f) return;
    if (m < mmin) continue;
    if (m == mmin) m = m + 0.004f;
    if (!(mmax > m)) continue;  // Mmax itself and undefined values are refused

    // Within 1, 50 and 100 years, whatever the session's spans.
    const HazardPoint point = Hazard(model, {m}, {50.0f, 100.0f}).front();
    const float p1 = point.probability_one_year;
    const float p50 = point.probabilities[0];
    const float p100 = point.probabilities[1];
    const float rate = point.annual_rate;
    const float period = point.return_period;

    sink.List(Dest::Console);
    sink.List(Dest::Console);
    sink.List(Dest::Console);
    sink.Format(Dest::Console, kQueryOneYear, {m, p1, period});
    sink.Format(Dest::Console, kQueryFifty, {m, p50});
    sink.Format(Dest::Console, kQueryHundred, {m, p100});
    sink.List(Dest::Console);
    sink.Format(Dest::Console, kQueryRate, {m, rate});
    sink.Format(Dest::Console, "(/,/,/,/,/)");
    sink.List(Dest::Console, {kRuler});
    sink.List(Dest::Console, {"  to TERMINATE, enter MAGNITUDE = 0"});
    sink.List(Dest::Console, {kRuler});
    sink.List(Dest::Console);
  }
}

// Step C: the table, one row per 0.1 magnitude unit from Mmin to below Mmax.
void WriteTable(TextIo& io, const std::array<float, 3>& spans, const HazardModel& model,
                bool toConsole) {
  ReportSink& sink = io.Sink();
  const Items header{spans[0], spans[1], spans[2]};

  sink.List(Dest::Console);
  if (toConsole) {
    sink.Format(Dest::Console, kTableTitle);
    sink.Format(Dest::Console, kHazardHeader, header);
  } else {
    sink.Format(Dest::Console, kClear);
  }
  sink.Format(Dest::File, kTableTitle);
  sink.Format(Dest::File, kTableUnderline);
  sink.Format(Dest::File, kHazardHeader, header);

  VisitHazardTable(model, {spans[0], spans[1], spans[2]}, [&](const HazardPoint& point) {
    const Items row{
        point.magnitude,           point.annual_rate,         point.return_period,
        point.return_period_lower, point.return_period_upper, point.probability_one_year,
        point.probabilities[0],    point.probabilities[1],    point.probabilities[2]};
    if (toConsole) sink.Format(Dest::Console, kHazardRow, row);
    sink.Format(Dest::File, kHazardRow, row);
  });
}

}  // namespace

void EvaluateHazard(TextIo& io, const SessionSettings& settings, const ModelParameters& model) {
  ReportSink& sink = io.Sink();
  const HazardModel law{model.Beta, model.Lambda, model.Deviations.sd_lambda, settings.Mmin,
                        model.Mmax};

  sink.Format(Dest::Console, "(/,/,/)");
  sink.List(Dest::Console, {" SEISMIC HAZARD ? (0/1)"});
  sink.List(Dest::Console);
  sink.List(Dest::Console, {" ENTER proper number ...."});
  sink.List(Dest::Console);
  // A null answer leaves 0: no queries.
  std::int32_t answer = 0;
  io.ReadConsole({&answer});
  sink.Format(Dest::Console, kClear);

  if (answer != 0) AnswerQueries(io, law);
  WriteTable(io, settings.HazardSpans, law, answer == 1);

  sink.CloseOutputFile();
}

}  // namespace qev
