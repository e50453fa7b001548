#include "classic/results_report.h"

#include "classic/figure_formats.h"
#include "classic/session.h"
#include "console/sink.h"
#include "qev/analysis.h"

namespace qev {

namespace {

constexpr const char* kConsoleFeed = "(' ',/,/,/,/,/,/,/,/,/,/,/,/,/)";
constexpr const char* kResultsTitle = "(/,'                      RESULTS')";
constexpr const char* kResultsUnderline = "('                     =========')";

constexpr const char* kContributionTitle =
    "(/,'              DATA contribution to the parameters :')";
constexpr const char* kContributionUnderline =
    "('             =======================================')";
constexpr const char* kContributionHeader = "('                     Beta (%)     Lambda (%)')";

// Procedure code whose report file states M_max without its uncertainty.
constexpr std::int32_t kMmaxWithoutSdProcedure = 7;

void WriteContributionTable(ReportSink& sink, const SessionSettings& settings,
                            const std::vector<DataContribution>& shares) {
  // The complete parts come first, the extreme part (unless only complete
  // parts were read) last.
  const std::size_t parts = settings.DataKind != 2 ? shares.size() - 1 : shares.size();

  sink.List(Dest::Console);
  sink.Format(Dest::Console, kContributionTitle);
  sink.Format(Dest::Console, kContributionHeader);
  sink.Format(Dest::File, kContributionTitle);
  sink.Format(Dest::File, kContributionUnderline);
  sink.Format(Dest::File, kContributionHeader);
  sink.List(Dest::Console);

  if (settings.DataKind != 2) {
    const DataContribution& extremes = shares[parts];
    sink.FormatBoth(kExtremesShare, {extremes.beta, extremes.lambda});
  }
  for (std::size_t s = 0; s < parts; ++s) {
    const DataContribution& part = shares[s];
    sink.FormatBoth(kCompleteShare, {static_cast<std::int32_t>(s + 1), part.beta, part.lambda});
  }
}

}  // namespace

void ReportResults(TextIo& io, const SessionSettings& settings, const Catalog& catalog,
                   ModelParameters& model) {
  model.Deviations =
      EstimateUncertainties(catalog, OptionsOf(settings), model.Beta, model.Lambda, model.Mmax);
  const Uncertainties& u = model.Deviations;
  const Items beta{model.Beta, u.sd_beta, u.b, u.sd_b};
  const Items lambda{model.Lambda, u.sd_lambda, settings.Mmin};
  const Items mmax{model.Mmax, u.sd_mmax, settings.SigXmax};
  const Items transmission{u.transmission_coefficient};

  ReportSink& sink = io.Sink();
  sink.Format(Dest::Console, kConsoleFeed);
  sink.Format(Dest::Console, kResultsTitle);
  sink.Format(Dest::File, kResultsTitle);
  sink.Format(Dest::File, kResultsUnderline);
  sink.List(Dest::Console);
  sink.Format(Dest::Console, kResultsBeta, beta);
  sink.Format(Dest::Console, kResultsLambda, lambda);
  sink.Format(Dest::Console, kResultsMmax, mmax);
  sink.Format(Dest::Console, kResultsTransmission, transmission);
  sink.Format(Dest::File, kResultsBeta, beta);
  sink.Format(Dest::File, kResultsLambda, lambda);
  if (settings.Procedure == kMmaxWithoutSdProcedure) {
    sink.Format(Dest::File, kResultsMmaxAlone, {model.Mmax});
  } else {
    sink.Format(Dest::File, kResultsMmax, mmax);
  }
  sink.Format(Dest::File, kResultsTransmission, transmission);

  // One extreme part alone, or one complete part alone, holds all the
  // information: no table.
  const bool singleSlot =
      settings.DataKind == 1 || (settings.DataKind == 2 && catalog.complete.size() == 1);
  if (!singleSlot) WriteContributionTable(sink, settings, u.contributions);
}

}  // namespace qev
