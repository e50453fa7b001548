#include "classic/run_summary.h"

#include <string>

#include "classic/figure_formats.h"
#include "classic/screen.h"

namespace qev {

void WriteRunSummary(ReportSink& sink, const SessionSettings& settings,
                     const ModelParameters& model) {
  const float b = model.Beta * kLog10E;
  ClearScreen(sink);
  sink.List(Dest::Console);
  sink.List(Dest::Console);
  sink.List(Dest::Console);
  sink.Format(Dest::Console, "('                 RUN # ',I2)", {settings.RunNumber});
  sink.List(Dest::Console, {std::string("              ************")});
  sink.List(Dest::Console);
  sink.Format(Dest::Console, kRunIterations, {model.Iterations});
  if (model.Iterations >= settings.IterationLimit) {
    sink.Format(Dest::Console, "('  !!! WARING: exceeded limit of iterations !!!')");
  }
  sink.Format(Dest::Console, kRunBeta, {model.Beta, b});
  sink.Format(Dest::Console, kRunLambda, {model.Lambda, settings.Mmin});
  sink.Format(Dest::Console, kRunMmax, {model.Mmax});
  sink.List(Dest::Console);
}

}  // namespace qev
