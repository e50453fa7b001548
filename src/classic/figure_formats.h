// The formats of the records that carry the estimates, shared by the run
// summary, the results report and the hazard evaluation.
#pragma once

namespace qev {

// The run summary (console).
inline constexpr const char* kRunIterations = "('  NR of iterations = ',I3)";
inline constexpr const char* kRunBeta = "('  Beta   = ',F6.3,'  (b = ',F6.3,')')";
inline constexpr const char* kRunLambda = "('  Lambda = ',F7.2,'  (for Mmin = ',F5.2,')')";
inline constexpr const char* kRunMmax = "('  Mmax   = ',F5.2)";
inline constexpr const char* kSuggestedMmax = "('    Suggested Mmax = ',F5.2)";

// The RESULTS block (console and output file).
inline constexpr const char* kResultsBeta =
    "('  Beta   = ',F5.2,' +- ',F5.2,'  (b = ',F5.2,' +- ',F5.2,')')";
inline constexpr const char* kResultsLambda =
    "('  Lambda = ',F7.2,' +- ',F7.2,'  (for Mmin = ',F5.2,')')";
inline constexpr const char* kResultsMmax =
    "('  M_max  = ',F5.2,' +- ',F5.2,'  (for SIG(Xmax) = ',F5.2,')')";
inline constexpr const char* kResultsMmaxAlone = "('  M_max  = ',F5.2)";
inline constexpr const char* kResultsTransmission = "(/,'  Transmission coefficient = ',F5.2)";
inline constexpr const char* kExtremesShare = "(' EXTREMES    :         ',F4.1,'         ',F4.1)";
inline constexpr const char* kCompleteShare =
    "(' COMPLETE #',I1,' :         ',F4.1,'         ',F4.1)";

// The hazard: answers to a magnitude query (console) and the table.
inline constexpr const char* kQueryOneYear =
    "(' T =   1  Prob(mag>',F5.2,') = ',F6.4,'     RET PER = ',F8.2)";
inline constexpr const char* kQueryFifty = "(' T =  50  Prob(mag>',F5.2,') = ',F6.4)";
inline constexpr const char* kQueryHundred = "(' T = 100  Prob(mag>',F5.2,') = ',F6.4)";
inline constexpr const char* kQueryRate =
    "(' Mean Activity Rate Lambda (mag = ',F5.2,') = ',E10.4)";
inline constexpr const char* kHazardHeader =
    "(' INT/MAG  LAMBDA             RET PER      Pr(T = 1,',3(1X,F7.1,','))";
inline constexpr const char* kHazardRow =
    "(1X,F4.1,2X,E8.3,1X,F8.1,'(',F8.1,',',F8.1,')',1X,2(1X,F8.6),2(1X,F8.6))";

}  // namespace qev
