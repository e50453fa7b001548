#include "report/results_report.h"

#include <algorithm>

#include "estimation/uncertainty.h"
#include "textio/sink.h"

namespace qev {

namespace {

constexpr const char* kConsoleFeed = "(' ',/,/,/,/,/,/,/,/,/,/,/,/,/)";
constexpr const char* kResultsTitle = "(/,'                      RESULTS')";
constexpr const char* kResultsUnderline = "('                     =========')";
constexpr const char* kBetaLine = "('  Beta   = ',F5.2,' +- ',F5.2,'  (b = ',F5.2,' +- ',F5.2,')')";
constexpr const char* kLambdaLine = "('  Lambda = ',F7.2,' +- ',F7.2,'  (for Mmin = ',F5.2,')')";
constexpr const char* kMmaxLine = "('  M_max  = ',F5.2,' +- ',F5.2,'  (for SIG(Xmax) = ',F5.2,')')";
constexpr const char* kMmaxAloneLine = "('  M_max  = ',F5.2)";
constexpr const char* kTransmissionLine = "(/,'  Transmission coefficient = ',F5.2)";

constexpr const char* kContributionTitle =
    "(/,'              DATA contribution to the parameters :')";
constexpr const char* kContributionUnderline =
    "('             =======================================')";
constexpr const char* kContributionHeader = "('                     Beta (%)     Lambda (%)')";
constexpr const char* kExtremesRow = "(' EXTREMES    :         ',F4.1,'         ',F4.1)";
constexpr const char* kCompleteRow = "(' COMPLETE #',I1,' :         ',F4.1,'         ',F4.1)";

// Procedure code whose report file states M_max without its uncertainty.
constexpr std::int32_t kMmaxWithoutSdProcedure = 7;

void WriteContributionTable(ReportSink& sink, const Session& session) {
  const SessionSettings& settings = session.settings;
  const ModelParameters& model = session.model;
  // The part count never exceeds the capacity; kept in range so that a
  // damaged count cannot read past the table.
  const std::int32_t parts = std::clamp<std::int32_t>(session.catalog.PartCount, 0, ncpx);

  sink.List(Dest::Console);
  sink.Format(Dest::Console, kContributionTitle);
  sink.Format(Dest::Console, kContributionHeader);
  sink.Format(Dest::File, kContributionTitle);
  sink.Format(Dest::File, kContributionUnderline);
  sink.Format(Dest::File, kContributionHeader);
  sink.List(Dest::Console);

  if (settings.DataKind != 2) {
    const DataContributionRow& extremes = model.DataContribution[parts];
    sink.FormatBoth(kExtremesRow, {extremes.Beta, extremes.Lambda});
  }
  for (std::int32_t s = 0; s < parts; ++s) {
    const DataContributionRow& part = model.DataContribution[s];
    sink.FormatBoth(kCompleteRow, {s + 1, part.Beta, part.Lambda});
  }
}

}  // namespace

void ReportResults(Session& session) {
  const SessionSettings& settings = session.settings;
  ModelParameters& model = session.model;

  const UncertaintyResult u = ParameterUncertainty(session.catalog, settings, model);
  model.SdBeta = u.SdBeta;
  model.SdLambda = u.SdLambda;
  model.SdMmax = u.SdMmax;
  model.TransmissionCoefficient = u.TransmissionCoefficient;
  model.DataContribution = u.DataContribution;

  const Items beta{model.Beta, model.SdBeta, u.B, u.SdB};
  const Items lambda{model.Lambda, model.SdLambda, settings.Mmin};
  const Items mmax{model.Mmax, model.SdMmax, settings.SigXmax};
  const Items transmission{model.TransmissionCoefficient};

  ReportSink& sink = session.io.Sink();
  sink.Format(Dest::Console, kConsoleFeed);
  sink.Format(Dest::Console, kResultsTitle);
  sink.Format(Dest::File, kResultsTitle);
  sink.Format(Dest::File, kResultsUnderline);
  sink.List(Dest::Console);
  sink.Format(Dest::Console, kBetaLine, beta);
  sink.Format(Dest::Console, kLambdaLine, lambda);
  sink.Format(Dest::Console, kMmaxLine, mmax);
  sink.Format(Dest::Console, kTransmissionLine, transmission);
  sink.Format(Dest::File, kBetaLine, beta);
  sink.Format(Dest::File, kLambdaLine, lambda);
  if (settings.Procedure == kMmaxWithoutSdProcedure) {
    sink.Format(Dest::File, kMmaxAloneLine, {model.Mmax});
  } else {
    sink.Format(Dest::File, kMmaxLine, mmax);
  }
  sink.Format(Dest::File, kTransmissionLine, transmission);

  // One extreme part alone, or one complete part alone, holds all the
  // information: no table.
  const bool singleSlot =
      settings.DataKind == 1 || (settings.DataKind == 2 && session.catalog.PartCount == 1);
  if (!singleSlot) WriteContributionTable(sink, session);
}

}  // namespace qev
