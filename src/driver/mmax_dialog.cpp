#include "driver/mmax_dialog.h"

#include <string>

namespace qev {
namespace {

void Empty(ReportSink& sink) { sink.List(Dest::Console); }
void Line(ReportSink& sink, const char* text) { sink.List(Dest::Console, {std::string(text)}); }

// Answers below this end the runs.
constexpr float kStopBelow = 0.01f;

void ShowSuggestion(ReportSink& sink, const ModelParameters& model, float xmax, float upperLimit) {
  const float suggested = model.SuggestedMmax;
  if (model.SuggestionUndefined) {
    // The estimator gave no estimate (for example a time span of zero).
    sink.Format(Dest::Console, "('    I am sorry. I have no suggestions !!!')");
    Line(sink, " ----------------------------------------");
  } else if (suggested < xmax) {
    sink.Format(Dest::Console, "('    Suggested Mmax = Xmax = ',F5.2)", {xmax});
    Line(sink, " --------------------------------");
  } else if (suggested > upperLimit) {
    sink.Format(Dest::Console, "('    I am sorry. I have no suggestions !!!')");
    Line(sink, " ----------------------------------------");
  } else {
    sink.Format(Dest::Console, "('    Suggested Mmax = ',F5.2)", {suggested});
    Line(sink, "  --------------------------");
  }
  Empty(sink);
}

}  // namespace

void AskMmax(Session& session) {
  ReportSink& sink = session.io.Sink();
  const float xmax = session.settings.Xmax;
  const float upperLimit = session.settings.Units == 1 ? 10.0f : 12.0f;

  ShowSuggestion(sink, session.model, xmax, upperLimit);

  // Out-of-range answers are asked again without a message; both bounds
  // accept equality.
  for (;;) {
    Empty(sink);
    sink.Format(Dest::Console, "('  Enter : Mmax (NOT LESS than ',F5.2,') = ')", {xmax});
    Empty(sink);
    Empty(sink);
    Empty(sink);
    Line(sink, " *******************************");
    Line(sink, "  to TERMINATE, enter Mmax = 0");
    Line(sink, " *******************************");
    Empty(sink);
    float answer = 0.0f;
    session.io.ReadConsole({&answer});
    if (answer < kStopBelow) {
      session.StopRequested = true;
      return;
    }
    // Written as the acceptance test, so that an unordered answer is asked again.
    if (answer <= upperLimit && answer >= xmax) {
      session.model.Mmax = answer;
      session.StopRequested = false;
      return;
    }
  }
}

}  // namespace qev
