// The parts as classic catalog files (layout 1 for the extreme file and for
// the complete files) and the answers of a classic session on them.
#include <sys/stat.h>

#include <charconv>
#include <fstream>
#include <string>

#include "qev/catalog_split.h"
#include "textio/files.h"

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

void CheckName(const std::string& name, const std::string& what) {
  if (name.size() > kClassicNameLength) {
    throw ClassicLimitError("the classic file name '" + name + "' (" + what + ") has " +
                            std::to_string(name.size()) + " characters; qev reads at most " +
                            std::to_string(kClassicNameLength) + ": choose a shorter prefix");
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
