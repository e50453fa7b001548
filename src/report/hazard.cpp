#include "report/hazard.h"

#include <cstdint>

#include "estimation/math_functions.h"
#include "textio/sink.h"

namespace qev {

namespace {

constexpr const char* kClear = "(/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)";

constexpr const char* kEnterMagnitude = "('  Enter MAGNITUDE <',F5.2,',',F5.2,'> = ')";
constexpr const char* kAnswer1 = "(' T =   1  Prob(mag>',F5.2,') = ',F6.4,'     RET PER = ',F8.2)";
constexpr const char* kAnswer50 = "(' T =  50  Prob(mag>',F5.2,') = ',F6.4)";
constexpr const char* kAnswer100 = "(' T = 100  Prob(mag>',F5.2,') = ',F6.4)";
constexpr const char* kAnswerRate = "(' Mean Activity Rate Lambda (mag = ',F5.2,') = ',E10.4)";
constexpr const char* kRuler = " -----------------------------------";

constexpr const char* kTableTitle = "(/,'                           HAZARD EVALUATION ')";
constexpr const char* kTableUnderline =
    "('                ===========================================')";
constexpr const char* kTableHeader =
    "(' INT/MAG  LAMBDA             RET PER      Pr(T = 1,',3(1X,F7.1,','))";
constexpr const char* kTableRow =
    "(1X,F4.1,2X,E8.3,1X,F8.1,'(',F8.1,',',F8.1,')',1X,2(1X,F8.6),2(1X,F8.6))";

// Return period of a rate; a rate at or below 1.0E-35 (or undefined) stands
// for a return period of 1.0E35 years.
float Inverse(float x) { return x > 1.0E-35f ? 1.0f / x : 1.0E35f; }

// Probability that the largest magnitude within t years exceeds m.
float Exceedance(const LawState& law, float m, float t) {
  return 1.0f - MaxMagnitudeCdf(law, m, t);
}

// Step B: answers magnitude queries until the user enters 0.
void AnswerQueries(Session& session, const LawState& law) {
  ReportSink& sink = session.io.Sink();
  const float mmin = session.settings.Mmin;
  const float mmax = session.model.Mmax;
  // A null answer leaves the magnitude as it was: 0 (end) before the first
  // answer, the previous magnitude afterwards.
  float m = 0.0f;
  for (;;) {
    sink.List(Dest::Console);
    sink.Format(Dest::Console, kEnterMagnitude, {mmin, mmax});
    sink.List(Dest::Console);
    session.io.ReadConsole({&m});
    sink.Format(Dest::Console, kClear);

    if (m == 0.0f) return;
    if (m < mmin) continue;
    if (m == mmin) m = m + 0.004f;
    if (!(mmax > m)) continue;  // Mmax itself and undefined values are refused

    const float p1 = Exceedance(law, m, 1.0f);
    const float p50 = Exceedance(law, m, 50.0f);
    const float p100 = Exceedance(law, m, 100.0f);
    const float rate = (1.0f - MagnitudeCdf(law, m)) * law.Lambda;
    const float period = Inverse(rate);

    sink.List(Dest::Console);
    sink.List(Dest::Console);
    sink.List(Dest::Console);
    sink.Format(Dest::Console, kAnswer1, {m, p1, period});
    sink.Format(Dest::Console, kAnswer50, {m, p50});
    sink.Format(Dest::Console, kAnswer100, {m, p100});
    sink.List(Dest::Console);
    sink.Format(Dest::Console, kAnswerRate, {m, rate});
    sink.Format(Dest::Console, "(/,/,/,/,/)");
    sink.List(Dest::Console, {kRuler});
    sink.List(Dest::Console, {"  to TERMINATE, enter MAGNITUDE = 0"});
    sink.List(Dest::Console, {kRuler});
    sink.List(Dest::Console);
  }
}

// Step C: the table, one row per 0.1 magnitude unit from Mmin to below Mmax.
void WriteTable(Session& session, const LawState& law, bool toConsole) {
  ReportSink& sink = session.io.Sink();
  const float mmin = session.settings.Mmin;
  const float mmax = session.model.Mmax;
  const float lambda = session.model.Lambda;
  const float sdLambda = session.model.SdLambda;
  const auto& spans = session.settings.HazardSpans;
  const Items header{spans[0], spans[1], spans[2]};

  sink.List(Dest::Console);
  if (toConsole) {
    sink.Format(Dest::Console, kTableTitle);
    sink.Format(Dest::Console, kTableHeader, header);
  } else {
    sink.Format(Dest::Console, kClear);
  }
  sink.Format(Dest::File, kTableTitle);
  sink.Format(Dest::File, kTableUnderline);
  sink.Format(Dest::File, kTableHeader, header);

  // The row magnitudes are a running single-precision sum of 0.1 steps; its
  // rounding decides the last row.
  const float step = 0.1f;
  float m = mmin - step;
  bool anyRow = false;
  for (;;) {
    const float previous = m;
    m = step + m;
    float x;
    if (m == mmin) {
      x = m + 0.004f;
    } else if (mmax > m) {
      x = m;
    } else {
      break;
    }
    // A magnitude so large that the step no longer moves it (a damaged
    // catalog) would repeat the same row for ever: the table ends there.
    if (anyRow && !(m > previous)) break;
    anyRow = true;

    const float q = 1.0f - MagnitudeCdf(law, x);
    const float p1 = Exceedance(law, x, 1.0f);
    const float pt1 = Exceedance(law, x, spans[0]);
    const float pt2 = Exceedance(law, x, spans[1]);
    const float pt3 = Exceedance(law, x, spans[2]);
    const float rate = q * lambda;
    const float rateLow = q * (lambda - sdLambda);
    const float rateHigh = q * (lambda + sdLambda);
    const float period = Inverse(rate);
    const float periodUpper = Inverse(rateLow);
    const float periodLower = Inverse(rateHigh);

    const Items row{x, rate, period, periodLower, periodUpper, p1, pt1, pt2, pt3};
    if (toConsole) sink.Format(Dest::Console, kTableRow, row);
    sink.Format(Dest::File, kTableRow, row);
  }
}

}  // namespace

void EvaluateHazard(Session& session) {
  ReportSink& sink = session.io.Sink();
  const LawState law =
      MakeLaw(session.model.Beta, session.model.Lambda, session.settings.Mmin, session.model.Mmax);

  sink.Format(Dest::Console, "(/,/,/)");
  sink.List(Dest::Console, {" SEISMIC HAZARD ? (0/1)"});
  sink.List(Dest::Console);
  sink.List(Dest::Console, {" ENTER proper number ...."});
  sink.List(Dest::Console);
  // A null answer leaves 0: no queries.
  std::int32_t answer = 0;
  session.io.ReadConsole({&answer});
  sink.Format(Dest::Console, kClear);

  if (answer != 0) AnswerQueries(session, law);
  WriteTable(session, law, answer == 1);

  sink.CloseOutputFile();
}

}  // namespace qev
