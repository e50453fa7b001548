#include "classic/mmax_dialog.h"

#include <string>

#include "classic/figure_formats.h"

namespace qev {
namespace {

// Answers below this end the runs.
constexpr float kStopBelow = 0.01f;

void ShowSuggestion(ReportSink& sink, const ModelParameters& model, float xmax, float upperLimit) {
  const float suggested = model.SuggestedMmax;
  // Two cases show the same box; the order of the cases is the dialog's.
  if (model.SuggestionUndefined) {  // NOLINT(bugprone-branch-clone)
    // The estimator gave no estimate (for example a time span of zero).
    sink.Format(Dest::Console, "('    I am sorry. I have no suggestions !!!')");
    sink.ConsoleLine(" ----------------------------------------");
  } else if (suggested < xmax) {
    sink.Format(Dest::Console, "('    Suggested Mmax = Xmax = ',F5.2)", {xmax});
    sink.ConsoleLine(" --------------------------------");
  } else if (suggested > upperLimit) {
    sink.Format(Dest::Console, "('    I am sorry. I have no suggestions !!!')");
    sink.ConsoleLine(" ----------------------------------------");
  } else {
    sink.Format(Dest::Console, kSuggestedMmax, {suggested});
    sink.ConsoleLine("  --------------------------");
  }
  sink.ConsoleEmpty();
}

}  // namespace

bool AskMmax(TextIo& io, const SessionSettings& settings, ModelParameters& model) {
  ReportSink& sink = io.Sink();
  const float xmax = settings.Xmax;
  const float upperLimit = UpperLimitOf(settings.Units);

  ShowSuggestion(sink, model, xmax, upperLimit);

  // Out-of-range answers are asked again without a message; both bounds
  // accept equality.
  for (;;) {
    sink.ConsoleEmpty();
    sink.Format(Dest::Console, "('  Enter : Mmax (NOT LESS than ',F5.2,') = ')", {xmax});
    sink.ConsoleEmpty();
    sink.ConsoleEmpty();
    sink.ConsoleEmpty();
    sink.ConsoleLine(" *******************************");
    sink.ConsoleLine("  to TERMINATE, enter Mmax = 0");
    sink.ConsoleLine(" *******************************");
    sink.ConsoleEmpty();
    float answer = 0.0f;
    io.ReadConsole({&answer});
    if (answer < kStopBelow) return true;
    // Written as the acceptance test, so that an unordered answer is asked again.
    if (answer <= upperLimit && answer >= xmax) {
      model.Mmax = answer;
      return false;
    }
  }
}

}  // namespace qev
