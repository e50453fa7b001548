// The header block of the output file: what the method assumes, where its
// theory is published, and which program and release wrote the report.
#include "classic/output_header.h"

#include <string>

namespace qev {

namespace {

constexpr const char* kEquals = "============================================================";

// The 55 records of the block, in order; nullptr is an empty record (a list
// write without items), "" a record of one zero-length text.
constexpr const char* kHeaderRecords[] = {
    " ",
    kEquals,
    " ",
    "SEISMIC HAZARD ASSESSMENT FROM INCOMPLETE & UNCERTAIN DATA",
    nullptr,
    "Version B: LAMBDA and BETA are calculated SIMULTANEOUSLY",
    "Magnitude errors are distributed NORMALLY",
    "Range of magnitude integration: < m_min, m_max >",
    "Procedure for Mmax evaluation accounts both, aleatory",
    "and epistemic errors. [SD(b)/b = 0.25]",
    nullptr,
    "Regional maximum magnitude can be estimated according to:",
    " ",
    " (1) Tolve-Brandholm, (Cramer 1946, Mathematical Methods of Statistics)",
    " (2) Tolve-Brandholm-Bayes, (Gutenberg & Richter 1944; Romberg 1955)",
    "",
    "Theory of the HAZARD evaluation procedure is given in:",
    "",
    "   Gutenberg, B. and Richter, C.F. (1944). Frequency of earthquakes",
    "    in California. Bulletin of the Seismological Society of America,",
    "    34, 185-188 (the magnitude-frequency law); Cramer, H. (1946).",
    "    Mathematical Methods of Statistics. Princeton University Press.",
    " ",
    " and",
    "",
    "   Abramowitz, M. and Stegun, I.A. (1964). Handbook of Mathematical",
    "    Functions. National Bureau of Standards (5.1.53, 5.1.56, 7.1.25).",
    "    Nelder, J.A. and Mead, R. (1965). A simplex method for function",
    "    minimization. The Computer Journal, 7, 308-313.",
    "    Romberg, W. (1955). Vereinfachte numerische Integration.",
    nullptr,
    kEquals,
    nullptr,
    "PROGRAM : QEV",
    "WRITTEN : the QEV development team (dates: repository history)",
    "REVISED : 04 NOV 2001, the QEV development team",
    "RELEASE : 2.08/04 NOV 2001",
    nullptr,
    " NEW FEATURES OF QEV, RELEASE 2.08:",
    "  - a second procedure for Mmax assessment has been introduced",
    "  - new version accepts free format of input files",
    "  - reads a piori Gutenberg-Richter b-value and its SD",
    nullptr,
    kEquals,
    " ",
    "CONTACT : the QEV development team",
    "          QEV project, an open-source repository",
    "          (no postal address: please write through the issue tracker)",
    nullptr,
    "PHONE   : none",
    "FAX     : none",
    "E-MAIL  : none; questions and error reports go to the issue tracker",
    " ",
    kEquals,
    nullptr,
};

static_assert(sizeof kHeaderRecords / sizeof kHeaderRecords[0] == 55,
              "the header block has 55 records");

}  // namespace

void WriteOutputHeader(ReportSink& sink) { sink.Records(Dest::File, kHeaderRecords); }

}  // namespace qev
