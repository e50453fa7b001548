#include "classic/session.h"

namespace qev {

AnalysisOptions OptionsOf(const SessionSettings& s) {
  AnalysisOptions options;
  options.units = s.Units == 2 ? Units::Intensity : Units::Magnitude;
  options.data_kind = static_cast<DataKind>(s.DataKind);
  options.mmin = s.Mmin;
  options.xmax = s.Xmax;
  options.sig_xmax = s.SigXmax;
  options.span_t = s.SpanT;
  options.procedure = s.Procedure == 1   ? MmaxProcedure::Cramer
                      : s.Procedure == 2 ? MmaxProcedure::Bayes
                                         : MmaxProcedure::None;
  options.prior_b = s.PriorB;
  options.prior_b_sd = s.PriorBSd;
  options.start = s.StartFromKeyboard ? StartingPointKind::Given : StartingPointKind::ByProgram;
  options.start_lambda = s.KeyboardLambda;
  options.start_mmax = s.KeyboardMmax;
  options.iteration_limit = s.IterationLimit;
  return options;
}

}  // namespace qev
