#include "classic/run_summary.h"

#include <string>

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
  sink.Format(Dest::Console, "('  NR of iterations = ',I3)", {model.Iterations});
  if (model.Iterations >= settings.IterationLimit) {
    sink.Format(Dest::Console, "('  !!! WARING: exceeded limit of iterations !!!')");
  }
  sink.Format(Dest::Console, "('  Beta   = ',F6.3,'  (b = ',F6.3,')')", {model.Beta, b});
  sink.Format(Dest::Console, "('  Lambda = ',F7.2,'  (for Mmin = ',F5.2,')')",
              {model.Lambda, settings.Mmin});
  sink.Format(Dest::Console, "('  Mmax   = ',F5.2)", {model.Mmax});
  sink.List(Dest::Console);
}

}  // namespace qev
