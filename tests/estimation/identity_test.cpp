// The library against the classic program: for every transcript of a session
// that ended normally (tests/golden), the answers are read as the dialogs read
// them, the catalogs through the classic-file readers, Analyze runs with the
// settings and Mmax values of the session, and every estimate is printed
// through the program's own formats. The figures must equal those the
// recorded console and report show, line for line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "classic/figure_formats.h"
#include "harness/harness.h"
#include "qev/analysis.h"
#include "qev/classic_files.h"
#include "textio/formatter.h"
#include "textio/reader.h"

namespace qev {
namespace {

namespace fs = std::filesystem;

// The console and file names of the session, read as the dialogs read them.
class Answers {
 public:
  Answers(const std::string& text, std::vector<std::string> args)
      : in_(text), console_(in_, "answers", false), args_(std::move(args)) {}

  void Pause() { Line(1); }
  // A file name: cut to 15 characters; a blank one is the next argument or
  // asked for again.
  std::string Name() {
    std::string name = TrimTrailingBlanks(Line(15));
    while (name.empty() && next_ < args_.size()) name = TrimTrailingBlanks(args_[next_++]);
    while (name.empty()) name = TrimTrailingBlanks(Line(260));
    return name;
  }
  template <typename... T>
  void Read(T*... targets) {
    FreeFormatRead(console_, {targets...});
  }
  template <typename T = std::int32_t>
  T Get() {
    T value = 0;
    Read(&value);
    return value;
  }

 private:
  std::string Line(std::size_t length) {
    std::string text;
    LineRead(console_, text, length);
    return text;
  }
  std::istringstream in_;
  LineSource console_;
  std::vector<std::string> args_;
  std::size_t next_ = 0;
};

// What a session asks for, beside the catalog.
struct SessionPlan {
  Catalog catalog;
  AnalysisOptions options;
  std::int32_t units = 0;
  std::int32_t kind = 0;
  std::int32_t procedure = 0;
  float spans[3] = {};
  std::vector<float> queries;  // magnitudes answered by the hazard queries
};

SessionPlan Interpret(const fs::path& folder, const std::vector<std::string>& args) {
  Answers a(testing::ReadBytes(folder / "answers.txt"), args);
  SessionPlan s;
  AnalysisOptions& o = s.options;
  a.Pause();
  a.Pause();
  a.Name();  // the output file
  s.units = a.Get();
  const float upper = s.units == 1 ? 10.0f : 12.0f;
  do s.kind = a.Get();
  while (s.kind < 1 || s.kind > 3);
  // Spans and a starting Lambda below the smallest normal number are asked again.
  constexpr float kTiny = std::numeric_limits<float>::min();
  do a.Read(&s.spans[0], &s.spans[1], &s.spans[2]);
  while (!(s.spans[0] >= kTiny && s.spans[1] >= kTiny && s.spans[2] >= kTiny));
  float lowest = s.kind == 2 ? 99.0f : 0.0f;
  if (s.kind == 1 || s.kind == 3) {
    const std::int32_t layout = a.Get();
    const ExtremeLayout extremeLayout = layout == 1   ? ExtremeLayout::PerEventSd
                                        : layout == 2 ? ExtremeLayout::CommonSd
                                                      : ExtremeLayout::NoSd;
    std::ifstream file(folder / a.Name());
    s.catalog.extreme = ReadExtremeFile(file, "extreme", extremeLayout).part;
    lowest = 999.0f;
    for (const ExtremeEvent& e : s.catalog.extreme->events) lowest = std::min(lowest, e.magnitude);
  }
  if (s.kind == 2 || s.kind == 3) {
    const std::int32_t layout = a.Get();
    std::int32_t parts = 0;
    do parts = a.Get();
    while (s.kind == 2 && parts < 1);
    for (std::int32_t p = 0; p < parts; ++p) {
      std::ifstream file(folder / a.Name());
      s.catalog.complete.push_back(
          ReadCompleteFile(file, "complete", static_cast<CompleteLayout>(layout)).part);
      lowest = std::min(lowest, s.catalog.complete.back().threshold);
    }
  }
  o.units = s.units == 2 ? Units::Intensity : Units::Magnitude;
  o.data_kind = static_cast<DataKind>(s.kind);
  if (a.Get() == 1) {
    o.mmin = lowest - 1.0f;
  } else {
    do o.mmin = a.Get<float>();
    while (!(lowest > o.mmin));
  }
  const float observed = ObservedMaximaOf(s.catalog).largest;
  if (a.Get() == 1) {
    o.xmax = observed;
  } else {
    do o.xmax = a.Get<float>();
    while (!(*o.xmax >= observed && *o.xmax <= upper));
    if (a.Get() == 1) {
      const float start =
          s.catalog.extreme ? s.catalog.extreme->start : s.catalog.complete.front().start;
      float year = 0.0f, month = 0.0f, day = 0.0f;
      do a.Read(&year, &month, &day);
      while (DecimalYear(year, month, day) > start);
      const float end = s.kind == 1
                            ? s.catalog.extreme->end
                            : (s.catalog.complete.empty() ? 0.0f : s.catalog.complete.back().end);
      o.span_t = end - DecimalYear(year, month, day);
    }
  }
  do o.sig_xmax = a.Get<float>();
  while (!(o.sig_xmax >= 0.0f && o.sig_xmax <= upper));
  s.procedure = a.Get();
  o.procedure = s.procedure == 1   ? MmaxProcedure::Cramer
                : s.procedure == 2 ? MmaxProcedure::Bayes
                                   : MmaxProcedure::None;
  o.prior_b = o.prior_b_sd = 0.0f;
  do a.Read(&o.prior_b, &o.prior_b_sd);
  while (!(o.prior_b > 0.0f && o.prior_b <= 3.0f));
  if (a.Get() == 2) {
    o.start = StartingPointKind::Given;
    do o.start_lambda = a.Get<float>();
    while (!(o.start_lambda >= kTiny));
    o.start_mmax = 0.0f;
    do a.Read(&o.start_mmax);
    while (!(o.start_mmax > o.mmin && o.start_mmax <= upper));
  }
  o.mmax_values = {StartingPoint(s.catalog, o).mmax};
  for (float answer = a.Get<float>(); answer >= 0.01f; answer = a.Get<float>()) {
    if (answer <= upper && answer >= *o.xmax) o.mmax_values.push_back(answer);
  }
  if (a.Get() != 0) {
    float m = 0.0f;
    for (;;) {
      a.Read(&m);
      if (m == 0.0f) break;
      if (m < o.mmin) continue;
      if (m == o.mmin) m = m + 0.004f;
      if (o.mmax_values.back() > m) s.queries.push_back(m);
    }
  }
  return s;
}

// A record as the console shows it: without its carriage-control character.
std::string OnConsole(const std::string& record) { return record.substr(1); }
std::string Record(const char* format, const Items& items) {
  return FormatText(format, items).back();
}

// The figure lines the session prints, computed by the library.
struct Figures {
  std::vector<std::string> console;
  std::vector<std::string> file;
  std::string tableHeader;
};

Figures Compute(const SessionPlan& s) {
  const AnalysisResult r = Analyze(s.catalog, s.options);
  const float mmin = r.settings.mmin;
  const float xmax = r.settings.xmax;
  Figures f;
  for (const RunResult& run : r.runs) {
    for (const std::string& line :
         {Record(kRunIterations, {run.iterations}),
          Record(kRunBeta, {run.beta, run.beta * 0.43429f}), Record(kRunLambda, {run.lambda, mmin}),
          Record(kRunMmax, {run.mmax})})
      f.console.push_back(OnConsole(line));
    const float upper = s.units == 1 ? 10.0f : 12.0f;
    if (run.suggested_mmax && *run.suggested_mmax >= xmax && *run.suggested_mmax <= upper) {
      f.console.push_back(OnConsole(Record(kSuggestedMmax, {*run.suggested_mmax})));
    }
  }
  const Uncertainties& u = r.uncertainties;
  const std::string beta = Record(kResultsBeta, {r.beta, u.sd_beta, u.b, u.sd_b});
  const std::string lambda = Record(kResultsLambda, {r.lambda, u.sd_lambda, mmin});
  const std::string mmax = Record(kResultsMmax, {r.mmax, u.sd_mmax, r.settings.sig_xmax});
  const std::string transmission = Record(kResultsTransmission, {u.transmission_coefficient});
  f.console.insert(f.console.end(),
                   {OnConsole(beta), OnConsole(lambda), OnConsole(mmax), OnConsole(transmission)});
  f.file = {beta, lambda, s.procedure == 7 ? Record(kResultsMmaxAlone, {r.mmax}) : mmax,
            transmission};
  const std::size_t parts = s.kind == 1 ? 0 : s.catalog.complete.size();
  if (!(s.kind == 1 || (s.kind == 2 && parts == 1))) {
    std::vector<std::string> shares;
    if (s.kind != 2) {
      shares.push_back(
          Record(kExtremesShare, {u.contributions.back().beta, u.contributions.back().lambda}));
    }
    for (std::size_t p = 0; p < parts; ++p) {
      shares.push_back(Record(
          kCompleteShare,
          {static_cast<std::int32_t>(p + 1), u.contributions[p].beta, u.contributions[p].lambda}));
    }
    for (const std::string& share : shares) {
      f.console.push_back(OnConsole(share));
      f.file.push_back(share);
    }
  }
  for (const HazardPoint& q : Hazard(r.hazard_model(), s.queries, {50.0f, 100.0f})) {
    for (const std::string& line :
         {Record(kQueryOneYear, {q.magnitude, q.probability_one_year, q.return_period}),
          Record(kQueryFifty, {q.magnitude, q.probabilities[0]}),
          Record(kQueryHundred, {q.magnitude, q.probabilities[1]}),
          Record(kQueryRate, {q.magnitude, q.annual_rate})})
      f.console.push_back(OnConsole(line));
  }
  const std::vector<float> spans(s.spans, s.spans + 3);
  f.tableHeader = Record(kHazardHeader, {s.spans[0], s.spans[1], s.spans[2]});
  f.file.push_back(f.tableHeader);
  VisitHazardTable(r.hazard_model(), spans, [&f](const HazardPoint& p) {
    f.file.push_back(Record(
        kHazardRow,
        {p.magnitude, p.annual_rate, p.return_period, p.return_period_lower, p.return_period_upper,
         p.probability_one_year, p.probabilities[0], p.probabilities[1], p.probabilities[2]}));
  });
  return f;
}

// The lines of a transcript that begin as one of the computed lines does (up
// to its '=' or ':'), in order; the lines of the hazard table whole.
std::vector<std::string> FigureLines(const std::vector<std::string>& transcript,
                                     const std::vector<std::string>& computed,
                                     const std::string& tableHeader = "") {
  std::vector<std::string> prefixes;
  for (const std::string& line : computed) {
    const std::size_t end = line.find_first_of("=:");
    if (end != std::string::npos) prefixes.push_back(line.substr(0, end + 1));
  }
  std::vector<std::string> lines;
  bool inTable = false;
  for (const std::string& line : transcript) {
    inTable = inTable || (!tableHeader.empty() && line == tableHeader);
    const bool figure = std::any_of(prefixes.begin(), prefixes.end(), [&](const auto& prefix) {
      return line.compare(0, prefix.size(), prefix) == 0 &&
             line.find("Xmax =") == std::string::npos;
    });
    if (inTable || figure) lines.push_back(line);
  }
  return lines;
}

std::vector<fs::path> NormalSessions() {
  std::vector<fs::path> sessions;
  if (!fs::is_directory(QEV_GOLDEN_DIR)) return sessions;
  for (const auto& entry : fs::directory_iterator(QEV_GOLDEN_DIR)) {
    const fs::path status = entry.path() / "expected" / "status";
    if (fs::exists(status) && testing::ReadBytes(status).rfind('0', 0) == 0) {
      sessions.push_back(entry.path());
    }
  }
  std::sort(sessions.begin(), sessions.end());
  return sessions;
}

TEST(Identity, TheLibraryPrintsTheFiguresOfEveryNormalSession) {
  const std::vector<fs::path> sessions = NormalSessions();
  ASSERT_FALSE(sessions.empty()) << "no transcript of a normal session in " << QEV_GOLDEN_DIR;
  for (const fs::path& folder : sessions) {
    SCOPED_TRACE(folder.filename().string());
    std::vector<std::string> args;
    if (fs::exists(folder / "args")) {
      std::istringstream lines(testing::ReadBytes(folder / "args"));
      for (std::string arg; std::getline(lines, arg);) args.push_back(arg);
    }
    const Figures computed = Compute(Interpret(folder, args));
    const fs::path expected = folder / "expected";
    const std::vector<std::string> console =
        testing::SplitLines(testing::ReadBytes(expected / "console.txt"));
    EXPECT_EQ(FigureLines(console, computed.console), computed.console);
    std::vector<std::string> report;
    for (const auto& file : fs::directory_iterator(expected / "files")) {
      const std::string bytes = testing::ReadBytes(file.path());
      if (bytes.find("HAZARD EVALUATION") != std::string::npos) report = testing::SplitLines(bytes);
    }
    EXPECT_EQ(FigureLines(report, computed.file, computed.tableHeader), computed.file);
  }
}

}  // namespace
}  // namespace qev
