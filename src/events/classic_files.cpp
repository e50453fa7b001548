// The parts as classic catalog files (layout 1 for the extreme file and for
// the complete files) and the answers of a classic session on them.
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>

#include "qev/catalog_split.h"
#include "qev/classic_bounds.h"
#include "textio/files.h"
#include "textio/reader.h"

namespace qev {

namespace {

// The shortest text that reads back as the same single-precision value.
std::string Shortest(float value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return std::string(text, ec == std::errc() ? end : text);
}

std::string DateLine(const CivilDate& date) {
  return std::to_string(date.year) + " " + std::to_string(date.month) + " " +
         std::to_string(date.day);
}

const char* kUseTheLibrary =
    "the library (qev::Split, then qev::Analyze) or the batch tool, which have no such limit";

// A name qev takes as typed on one line: at most 15 characters, none of them
// a control character (a line end would split the answer), no blank at
// either end (the answer is read without them) and not empty (a blank name
// is asked for again).
void CheckName(const std::string& name, const std::string& what) {
  if (name.size() > kClassicNameLength) {
    throw ClassicLimitError("the classic file name '" + name + "' (" + what + ") has " +
                            std::to_string(name.size()) + " characters; qev reads at most " +
                            std::to_string(kClassicNameLength) + ": choose a shorter prefix");
  }
  bool control = false;
  for (const char c : name) control = control || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  if (control || name.empty() || name.front() == ' ' || name.back() == ' ') {
    throw ClassicLimitError("the classic file name '" + ShownName(name) + "' (" + what +
                            ") is not a name qev takes on one line: give a name of printable "
                            "characters without a line end and without blanks at its ends");
  }
}

// The value of `what` within [lowest, highest] as the classic dialog takes it;
// a value outside would be asked for again and every later answer would
// answer the wrong question.
void CheckAnswer(float value, float lowest, float highest, const std::string& what) {
  if (value >= lowest && value <= highest) return;
  throw ClassicLimitError(what + " " + Shortest(value) + " is not an answer qev takes: it takes " +
                          Shortest(lowest) + " to " + Shortest(highest));
}

// Magnitudes within the magnitude scale and SDs within what the likelihood
// handles: the classic readers stop at other values.
void CheckValue(float magnitude, float sd, const std::string& where) {
  if (!(magnitude <= classic::kLargestMagnitude && std::isfinite(magnitude))) {
    throw ClassicLimitError(where + " holds magnitude " + Shortest(magnitude) +
                            "; the classic files hold magnitudes not above " +
                            Shortest(classic::kLargestMagnitude));
  }
  if (!(sd >= 0.0f && sd <= classic::kLargestSd)) {
    throw ClassicLimitError(where + " holds a magnitude SD of " + Shortest(sd) +
                            "; the classic files hold SDs from 0 to " +
                            Shortest(classic::kLargestSd) +
                            " (larger ones overflow the likelihood)");
  }
}

void CheckValues(const Catalog& catalog) {
  if (catalog.extreme) {
    for (const ExtremeEvent& event : catalog.extreme->events) {
      CheckValue(event.magnitude, event.sd, "the extreme part");
    }
  }
  for (std::size_t k = 0; k < catalog.complete.size(); ++k) {
    const std::string where = "complete part " + std::to_string(k + 1);
    CheckValue(catalog.complete[k].threshold, 0.0f, where + " (its threshold)");
    for (const MagnitudeRow& row : catalog.complete[k].rows) {
      CheckValue(row.magnitude, row.sd, where);
    }
  }
}

// Every answer of the session within the bounds of the classic dialogs.
void CheckSession(const ClassicSession& s, float xmax) {
  constexpr float kLargest = std::numeric_limits<float>::max();
  for (const float span : s.spans) CheckAnswer(span, classic::kSmallestSpan, kLargest, "the span");
  CheckAnswer(s.sig_xmax, 0.0f, classic::kLargestMagnitude, "SIG(Xmax)");
  // A prior of 0 or below stops the session ("SOUGHT PARAMETERS LESS than 0").
  if (!(s.prior_b > 0.0f)) {
    throw ClassicLimitError("the prior b-value " + Shortest(s.prior_b) +
                            " is not above 0: the classic session would stop at its first run");
  }
  CheckAnswer(s.prior_b, 0.0f, classic::kLargestPriorB, "the prior b-value");
  CheckAnswer(s.prior_b_sd, 0.0f, kLargest, "the SD of the prior b-value");
  if (s.procedure != 1 && s.procedure != 2) {
    throw ClassicLimitError("procedure " + std::to_string(s.procedure) +
                            " is not one qev estimates Mmax with: 1 (Cramer) or 2 (Bayes)");
  }
  for (const float mmax : s.next_mmax) {
    CheckAnswer(mmax, xmax, classic::kLargestMagnitude, "the Mmax of a later run");
  }
}

// The largest magnitude of the catalog: the Xmax the session takes.
float LargestMagnitude(const Catalog& catalog) {
  float largest = -std::numeric_limits<float>::infinity();
  if (catalog.extreme) {
    for (const ExtremeEvent& e : catalog.extreme->events) largest = std::max(largest, e.magnitude);
  }
  for (const CompletePart& part : catalog.complete) {
    for (const MagnitudeRow& row : part.rows) largest = std::max(largest, row.magnitude);
  }
  return largest;
}

// The report qev writes must be none of the files it reads (it refuses a
// catalog or its answers as output file) and none of the tool's inputs (the
// job file beside them: the session would replace it).
void CheckReportName(const ClassicFilesOptions& options,
                     const std::vector<std::pair<std::filesystem::path, std::string>>& files) {
  const std::string& report = options.session.report_name;
  for (const auto& [name, text] : files) {
    if (name == report) {
      throw ClassicLimitError("the report name '" + report + "' is the name of the file " +
                              name.string() +
                              " of the session, which qev reads: choose another report name");
    }
  }
  const std::filesystem::path target = options.directory / report;
  std::error_code error;
  for (const std::filesystem::path& input : options.inputs) {
    if (std::filesystem::equivalent(target, input, error)) {
      throw ClassicLimitError("the report " + target.string() + " would replace the input file " +
                              input.string() + ": choose another report name");
    }
  }
}

}  // namespace

ClassicFiles WriteClassicFiles(const SplitResult& split, const ClassicFilesOptions& options) {
  const Catalog& catalog = split.catalog;
  const bool extreme = catalog.extreme.has_value();
  const bool complete = !catalog.complete.empty();
  if (!extreme && !complete) {
    throw CatalogError("neither an extreme part nor a complete part: nothing to write");
  }
  // Every limit before any file is written.
  if (extreme && catalog.extreme->events.size() > kClassicExtremeEvents) {
    throw ClassicLimitError(
        "the extreme part holds " + std::to_string(catalog.extreme->events.size()) +
        " events; a classic extreme file holds at most " + std::to_string(kClassicExtremeEvents) +
        ": choose a longer window or a shorter span, or use " + kUseTheLibrary);
  }
  if (catalog.complete.size() > kClassicCompleteParts) {
    throw ClassicLimitError(
        "the completeness table gives " + std::to_string(catalog.complete.size()) +
        " complete parts; qev reads at most " + std::to_string(kClassicCompleteParts) +
        ": merge periods, or use " + kUseTheLibrary);
  }
  for (std::size_t k = 0; k < catalog.complete.size(); ++k) {
    const std::size_t rows = catalog.complete[k].rows.size();
    if (rows > kClassicCompleteRows) {
      const PartPeriod& p = split.complete_periods[k];
      throw ClassicLimitError(
          "complete part " + std::to_string(k + 1) + " (" + FormatDate(p.first_day) + " to " +
          FormatDate(p.last_day) + ", threshold " + Shortest(catalog.complete[k].threshold) +
          ") holds " + std::to_string(rows) + " events; a classic complete file holds at most " +
          std::to_string(kClassicCompleteRows) +
          ": raise its threshold, split its period, select a smaller zone, or use " +
          kUseTheLibrary);
    }
  }
  const float lowest = LowestLevel(catalog);
  if (!(options.session.mmin < lowest)) {
    throw Error("Mmin " + Shortest(options.session.mmin) +
                " must lie below the lowest level of the catalog, " + Shortest(lowest));
  }
  CheckValues(catalog);
  if (!std::isfinite(options.session.mmin)) {
    throw ClassicLimitError("Mmin " + Shortest(options.session.mmin) +
                            " is not a number qev takes");
  }
  CheckSession(options.session, LargestMagnitude(catalog));
  CheckName(options.session.report_name, "the report");

  std::vector<std::pair<std::filesystem::path, std::string>> files;
  std::string answers = "\n\n" + options.session.report_name + "\n1\n" +
                        std::to_string(extreme && complete ? 3
                                       : extreme           ? 1
                                                           : 2) +
                        "\n" + Shortest(options.session.spans[0]) + " " +
                        Shortest(options.session.spans[1]) + " " +
                        Shortest(options.session.spans[2]) + "\n";
  if (extreme) {
    const std::string name = options.prefix + "_ext.dat";
    CheckName(name, "the extreme part");
    std::string text = DateLine(split.extreme_period->first_day) + "\n" +
                       DateLine(split.extreme_period->last_day) + "\n";
    const std::vector<ExtremeEvent>& events = catalog.extreme->events;
    for (std::size_t k = 0; k < events.size(); ++k) {
      text += DateLine(split.extreme_dates[k]) + " " + Shortest(events[k].magnitude) + " " +
              Shortest(events[k].sd) + "\n";
    }
    files.emplace_back(name, std::move(text));
    answers += "1\n" + name + "\n";
  }
  if (complete) {
    answers += "1\n" + std::to_string(catalog.complete.size()) + "\n";
    for (std::size_t k = 0; k < catalog.complete.size(); ++k) {
      const CompletePart& part = catalog.complete[k];
      const std::string name = options.prefix + "_c" + std::to_string(k + 1) + ".dat";
      CheckName(name, "complete part " + std::to_string(k + 1));
      std::string text = DateLine(split.complete_periods[k].first_day) + "\n" +
                         DateLine(split.complete_periods[k].last_day) + "\n" +
                         Shortest(part.threshold) + "\n";
      for (const MagnitudeRow& row : part.rows) {
        text += Shortest(row.magnitude) + " " + Shortest(row.sd) + "\n";
      }
      files.emplace_back(name, std::move(text));
      answers += name + "\n";
    }
  }
  const ClassicSession& s = options.session;
  answers += "2\n" + Shortest(s.mmin) + "\n1\n" + Shortest(s.sig_xmax) + "\n" +
             std::to_string(s.procedure) + "\n" + Shortest(s.prior_b) + " " +
             Shortest(s.prior_b_sd) + "\n1\n";
  for (float mmax : s.next_mmax) answers += Shortest(mmax) + "\n";
  answers += "0\n0\n";
  files.emplace_back(options.prefix + "_answers.txt", std::move(answers));
  CheckReportName(options, files);

  std::error_code error;
  std::filesystem::create_directories(options.directory, error);
  // Every file beside its target first; all put in place once all are written.
  OutputSet outputs(options.inputs);
  ClassicFiles written;
  for (const auto& [name, text] : files) {
    const std::filesystem::path path = options.directory / name;
    outputs.Write(path, text);
    written.written.push_back(path);
  }
  outputs.Commit();
  written.answers = written.written.back();
  return written;
}

}  // namespace qev
