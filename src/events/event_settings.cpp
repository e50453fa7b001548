// The tables of the catalog import's settings (qev/event_settings.h).
#include "qev/event_settings.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qev {

namespace {

constexpr double kLowestMagnitude = -10.0;  // magnitudes a selection may bound
constexpr double kHighestMagnitude = 10.0;
constexpr double kLowestDepth = -10.0;  // km: above sea level
constexpr double kDeepest = 1000.0;
constexpr double kLongestWindow = 100000.0;  // years of an extreme window
constexpr double kLargestSd = 10.0;          // a reader's default SD

// The row of a date member (std::optional<CivilDate>): a text that names a
// day, a month or a year, or a year as a whole number.
template <auto Member>
auto DateRow(const SettingTerms& terms) {
  using Class = typename settings_detail::MemberOf<decltype(Member)>::Class;
  OptionsRow<Class> row;
  static_cast<SettingTerms&>(row) = terms;
  row.member = row.key;
  row.type = SettingType::Date;
  row.set = [key = std::string(terms.key)](Class& o, const SettingValue& v) {
    const std::string& text = std::get<std::string>(v);
    try {
      o.*Member = ParseDate(text, key);
    } catch (const ReadingError& e) {
      throw InvalidSetting(key, ShownValue(v), e.expected());
    }
  };
  row.get = [](const Class& o) {
    return o.*Member ? SettingValue(FormatDate(*(o.*Member))) : SettingValue{};
  };
  return row;
}

// The row of a member of a member (mc.bin of CompletenessOptions).
template <auto Outer, auto Inner>
auto NestedRow(const SettingTerms& terms) {
  using Class = typename settings_detail::MemberOf<decltype(Outer)>::Class;
  using Type = typename settings_detail::MemberOf<decltype(Inner)>::Type;
  OptionsRow<Class> row;
  static_cast<SettingTerms&>(row) = terms;
  row.set = [](Class& o, const SettingValue& v) {
    (o.*Outer).*Inner = settings_detail::FromValue<Type>(v);
  };
  row.get = [](const Class& o) { return settings_detail::ToValue((o.*Outer).*Inner); };
  return row;
}

// The columns of a completeness table: whole years, thresholds within the
// magnitudes a selection may bound (a catalog's events are magnitudes).
constexpr SettingColumn kCompletenessColumns[] = {
    {.name = "year", .low = -100000, .high = 100000, .whole = true},
    {.name = "Mc", .low = kLowestMagnitude, .high = kHighestMagnitude}};

// A zone of WKT text; the text's errors as the row's.
void ReadWktZone(PrepareJob& job, const SettingValue& value) {
  try {
    job.selection.zone = ZoneFromWkt(std::get<std::string>(value), "the WKT text");
  } catch (const ReadingError& e) {
    throw InvalidSetting("select.zone_wkt", ShownValue(value), e.expected());
  }
}

// A row of the prepare job reached through `set` and `get`.
OptionsRow<PrepareJob> JobRow(const SettingTerms& terms,
                              std::function<void(PrepareJob&, const SettingValue&)> set,
                              std::function<SettingValue(const PrepareJob&)> get) {
  OptionsRow<PrepareJob> row;
  static_cast<SettingTerms&>(row) = terms;
  if (row.member.empty()) row.member = row.key;
  row.set = std::move(set);
  row.get = std::move(get);
  return row;
}

// A row leaves out the members that keep their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

// The rows of the job's own members that sit in the tables of the options
// (their keys "TABLE.KEY"): the zone, the completeness table and its figures.
std::vector<OptionsRow<PrepareJob>> MakePrepareTableRows() {
  SettingTerms completeness = CompletenessTableTerms();
  completeness.key = "split.completeness";
  completeness.member = "split.completeness, completeness_auto";
  return {
      JobRow(
          {.key = "select.zone",
           .member = "zone_file, selection.zone",
           .type = SettingType::Path,
           .default_text = "none",
           .description = "events inside the source zone of this GeoJSON or WKT file "
                          "(--zone)"},
          // The zone file's own errors name it and its line.
          [](PrepareJob& job, const SettingValue& v) {
            job.selection.zone = ReadZoneFile(std::get<std::string>(v));
            job.zone_file = std::get<std::string>(v);
          },
          [](const PrepareJob& job) {
            return job.zone_file.empty() ? SettingValue{} : SettingValue(job.zone_file);
          }),
      JobRow({.key = "select.zone_wkt",
              .member = "selection.zone",
              .type = SettingType::Text,
              .default_text = "none",
              .description = "events inside the source zone of this WKT text (--zone-wkt)"},
             ReadWktZone, nullptr),
      JobRow(
          completeness,
          [](PrepareJob& job, const SettingValue& v) {
            job.split.completeness = CompletenessSteps(v);
            job.completeness_auto = job.split.completeness.empty();
          },
          [](const PrepareJob& job) {
            return job.completeness_auto ? SettingValue(std::string("auto"))
                                         : CompletenessRows(job.split.completeness);
          }),
      JobRow(
          {.key = "completeness.figures",
           .member = "completeness_figures",
           .type = SettingType::Path,
           .default_text = "none",
           .description = "the folder of the SVG figures of the estimated table "
                          "(--completeness-figures)",
           .expected = "a folder name"},
          [](PrepareJob& job, const SettingValue& v) {
            job.completeness_figures = std::get<std::string>(v);
          },
          [](const PrepareJob& job) {
            return job.completeness_figures.empty() ? SettingValue{}
                                                    : SettingValue(job.completeness_figures);
          }),
  };
}

// The [classic] table: where the classic files go and the rest of their
// answers (the classic writer checks the names and spans it can write).
std::vector<OptionsRow<PrepareJob>> MakeClassicRows() {
  constexpr double kLargestSpan = 3.4e38;  // years, as a float holds them
  return {
      JobRow(
          {.key = "classic.directory",
           .member = "classic_directory",
           .type = SettingType::Path,
           .default_text = "none: no classic files",
           .description = "the folder of the classic catalog files and answers (--classic)",
           .expected = "a folder name"},
          [](PrepareJob& job, const SettingValue& v) {
            job.classic_directory = std::get<std::string>(v);
          },
          [](const PrepareJob& job) {
            return job.classic_directory ? SettingValue(job.classic_directory->string())
                                         : SettingValue{};
          }),
      MemberRow<&PrepareJob::classic_prefix>({.key = "classic.prefix",
                                              .member = "classic_prefix",
                                              .type = SettingType::Text,
                                              .default_text = "qev",
                                              .description = "the start of the files' names "
                                                             "(--prefix)"}),
      JobRow(
          {.key = "classic.report",
           .member = "session.report_name",
           .type = SettingType::Text,
           .default_text = "session.out",
           .description = "the report file the answers name (--report)"},
          [](PrepareJob& job, const SettingValue& v) {
            job.session.report_name = std::get<std::string>(v);
          },
          [](const PrepareJob& job) { return SettingValue(job.session.report_name); }),
      JobRow(
          {.key = "classic.spans",
           .member = "session.spans",
           .type = SettingType::Numbers,
           .low = -kLargestSpan,
           .high = kLargestSpan,
           .least = 3,
           .most = 3,
           .default_text = "[50, 100, 1000]",
           .description = "the three spans of the classic hazard table, in years",
           .expected = "three spans in years"},
          [](PrepareJob& job, const SettingValue& v) {
            const auto& spans = std::get<std::vector<double>>(v);
            for (std::size_t i = 0; i < 3; ++i) job.session.spans[i] = static_cast<float>(spans[i]);
          },
          [](const PrepareJob& job) {
            const float* spans = job.session.spans;
            return SettingValue(std::vector<double>(spans, spans + 3));
          }),
  };
}

std::vector<OptionsRow<PrepareJob>> MakePrepareJobRows() {
  std::vector<OptionsRow<PrepareJob>> rows = {
      MemberRow<&PrepareJob::catalog>({.key = "catalog",
                                       .type = SettingType::Path,
                                       .default_text = "required (or the command line's)",
                                       .description = "the catalog file"}),
      MemberRow<&PrepareJob::format>(
          {.key = "format",
           .type = SettingType::Choice,
           .names = "csv|zmap|quakeml",
           .codes = {static_cast<int>(EventFormat::Csv), static_cast<int>(EventFormat::Zmap),
                     static_cast<int>(EventFormat::QuakeMl)},
           .default_text = "by the file's extension and first bytes",
           .description = "the layout of the catalog file"}),
      MemberRow<&PrepareJob::strict>(
          {.key = "strict",
           .type = SettingType::Flag,
           .default_text = "false",
           .description = "warnings of the input checks stop the job before any file is written"}),
  };
  for (OptionsRow<PrepareJob>& row : MakePrepareTableRows()) rows.push_back(std::move(row));
  for (OptionsRow<PrepareJob>& row : MakeClassicRows()) rows.push_back(std::move(row));
  return rows;
}

// The columns of magnitudes of one type each: records {type, column, sd}
// (no SD column: sd empty), or texts "TYPE=COLUMN[:SD]"; each value adds its
// columns to those given before (the job's, then the command line's).
OptionsRow<ReadOptions> MagnitudeColumnsRow() {
  OptionsRow<ReadOptions> row;
  static_cast<SettingTerms&>(row) = {
      .key = "magnitude_columns",
      .type = SettingType::Records,
      .names = "type=column[:sd]",
      .most = 100,
      .default_text = "none",
      .description =
          "CSV: columns of magnitudes of one type each, and of their SDs; a value on "
          "a row is one more magnitude of the event (--magnitude-column "
          "TYPE=COLUMN[:SD])"};
  row.set = [](ReadOptions& o, const SettingValue& v) {
    for (const std::vector<std::string>& r : std::get<std::vector<std::vector<std::string>>>(v)) {
      o.magnitude_columns.push_back({r[0], r[1], r[2]});
    }
  };
  row.get = [](const ReadOptions& o) {
    std::vector<std::vector<std::string>> records;
    for (const ReadOptions::MagnitudeColumn& m : o.magnitude_columns) {
      records.push_back({m.type, m.column, m.sd_column});
    }
    return records.empty() ? SettingValue{} : SettingValue(records);
  };
  return row;
}

std::vector<OptionsRow<ReadOptions>> MakeReadRows() {
  OptionsRow<ReadOptions> columns;
  static_cast<SettingTerms&>(columns) = {
      .key = "columns",
      .type = SettingType::Labels,
      .most = 100,
      .default_text = "the columns by their usual names",
      .description =
          "CSV: the column of each role, { ROLE = \"NAME\" }; ROLE = \"\" switches a "
          "role off (--column ROLE=NAME)"};
  columns.set = [](ReadOptions& o, const SettingValue& v) {
    for (const std::string& label : std::get<std::vector<std::string>>(v)) {
      const std::size_t equals = label.find('=');
      o.columns[label.substr(0, equals)] = label.substr(equals + 1);
    }
  };
  columns.get = [](const ReadOptions& o) {
    std::vector<std::string> labels;
    for (const auto& [role, name] : o.columns) labels.push_back(role + "=" + name);
    return labels.empty() ? SettingValue{} : SettingValue(labels);
  };
  return {
      columns,
      MagnitudeColumnsRow(),
      MemberRow<&ReadOptions::default_sd>(
          {.key = "default_sd",
           .high = kLargestSd,
           .default_text = "none: an event without an SD is a bad row",
           .description = "the magnitude SD of an event whose file gives none"}),
      MemberRow<&ReadOptions::skip_bad_rows>(
          {.key = "skip_bad_rows",
           .type = SettingType::Flag,
           .default_text = "false",
           .description =
               "bad rows are skipped and counted by reason instead of stopping the read"}),
  };
}

std::vector<OptionsRow<Selection>> MakeSelectionRows() {
  const auto magnitude = [](std::string_view key, std::string_view description) {
    return SettingTerms{.key = key,
                        .low = kLowestMagnitude,
                        .high = kHighestMagnitude,
                        .default_text = "none",
                        .description = description};
  };
  const auto depth = [](std::string_view key, std::string_view description) {
    return SettingTerms{.key = key,
                        .low = kLowestDepth,
                        .high = kDeepest,
                        .default_text = "none",
                        .description = description};
  };
  return {
      MemberRow<&Selection::magnitude_types>(
          {.key = "magnitude_types",
           .type = SettingType::Texts,
           .most = 1000,
           .default_text = "[] (all types)",
           .description = "magnitude types kept, as read or converted from (any case) "
                          "(--magnitude-type)"}),
      DateRow<&Selection::from>({.key = "from",
                                 .default_text = "none",
                                 .description = "the first day kept (a year: its 1 January)"}),
      DateRow<&Selection::until>(
          {.key = "until",
           .default_text = "none",
           .description = "the first day no longer kept (a year: its 1 January)"}),
      MemberRow<&Selection::min_magnitude>(magnitude("min_magnitude", "magnitudes kept from it")),
      MemberRow<&Selection::max_magnitude>(magnitude("max_magnitude", "magnitudes kept up to it")),
      MemberRow<&Selection::min_depth>(
          depth("min_depth", "depths kept from it, in km (unknown depths are then left out)")),
      MemberRow<&Selection::max_depth>(
          depth("max_depth", "depths kept up to it, in km (unknown depths are then left out)")),
  };
}

std::vector<OptionsRow<SplitOptions>> MakeSplitRows() {
  return {
      DateRow<&SplitOptions::end>({.key = "end",
                                   .default_text = "the end of the catalog as read",
                                   .description = "the last day of the youngest complete period"}),
      MemberRow<&SplitOptions::extreme_window_years>(
          {.key = "extreme_window",
           .member = "extreme_window_years",
           .type = SettingType::Whole,
           .high = kLongestWindow,
           .default_text = "0: no extreme part",
           .description = "years of each window whose largest event is an extreme event"}),
      DateRow<&SplitOptions::extreme_from>({.key = "extreme_from",
                                            .default_text = "1 January of the first event's year",
                                            .description = "the first day of the extreme part"}),
      DateRow<&SplitOptions::extreme_to>(
          {.key = "extreme_to",
           .default_text = "the day before the first complete period",
           .description = "the last day of the extreme part"}),
      MemberRow<&SplitOptions::empty_windows>(
          {.key = "empty_windows",
           .type = SettingType::Choice,
           .names = "merge|refuse",
           .codes = {static_cast<int>(EmptyWindows::Merge), static_cast<int>(EmptyWindows::Refuse)},
           .default_text = "merge",
           .description = "an extreme window without an event joins the next one, or is refused"}),
  };
}

// The ranges are those CompletenessOptions::Validate and McOptions::Validate
// keep; they add what two of them must be together (spans of one bin at least).
std::vector<OptionsRow<CompletenessOptions>> MakeCompletenessRows() {
  using C = CompletenessOptions;
  using M = McOptions;
  constexpr double kMostEvents = 1e9;
  constexpr auto kWhole = SettingType::Whole;
  return {
      MemberRow<&C::table>({.key = "table",
                            .type = SettingType::Choice,
                            .names = "windows|stepp",
                            .codes = {static_cast<int>(CompletenessTableMethod::McWindows),
                                      static_cast<int>(CompletenessTableMethod::Stepp)},
                            .default_text = "windows",
                            .description = "windows: Mc in successive windows; stepp: Stepp (1971) "
                                           "(--completeness-method)",
                            .expected = "windows or stepp"}),
      NestedRow<&C::mc, &M::method>(
          {.key = "mc_method",
           .member = "mc.method",
           .type = SettingType::Choice,
           .names = "maxc|gft90|gft95|mbs",
           .codes = {static_cast<int>(McMethod::MaxCurvature),
                     static_cast<int>(McMethod::GoodnessOfFit90),
                     static_cast<int>(McMethod::GoodnessOfFit95),
                     static_cast<int>(McMethod::BValueStability)},
           .default_text = "maxc",
           .description = "Mc by maximum curvature, goodness of fit (90 or 95 %) or b-value "
                          "stability (--mc-method)",
           .expected = "maxc, gft90, gft95 or mbs"}),
      NestedRow<&C::mc, &M::bin>({.key = "bin",
                                  .member = "mc.bin",
                                  .low = 0.001,
                                  .high = 1.0,
                                  .default_text = "0.1",
                                  .description = "magnitude bin"}),
      NestedRow<&C::mc, &M::maxc_correction>({.key = "maxc_correction",
                                              .member = "mc.maxc_correction",
                                              .low = -1.0,
                                              .high = 1.0,
                                              .default_text = "0.2",
                                              .description = "added to the maximum curvature"}),
      NestedRow<&C::mc, &M::min_events>(
          {.key = "min_events",
           .member = "mc.min_events",
           .type = kWhole,
           .low = 2,
           .high = kMostEvents,
           .default_text = "50",
           .description = "events at and above a trial Mc (goodness of fit, b-value stability)"}),
      NestedRow<&C::mc, &M::mbs_span>(
          {.key = "mbs_span",
           .member = "mc.mbs_span",
           .low = 0.001,
           .high = 2.0,
           .default_text = "0.5",
           .description = "magnitude span of the b-value average (one bin at least)"}),
      NestedRow<&C::mc, &M::bootstrap>({.key = "bootstrap",
                                        .member = "mc.bootstrap",
                                        .type = kWhole,
                                        .high = 100000,
                                        .default_text = "200",
                                        .description = "bootstrap samples of the SD of Mc"}),
      NestedRow<&C::mc, &M::seed>({.key = "seed",
                                   .member = "mc.seed",
                                   .type = kWhole,
                                   .high = kMostEvents,
                                   .default_text = "1",
                                   .description = "seed of the bootstrap"}),
      MemberRow<&C::window_years>(
          {.key = "window_years",
           .low = 0.01,
           .high = 1000.0,
           .default_text = "5",
           .description = "the windows, from 1 January of the first event's year"}),
      MemberRow<&C::window_min_events>(
          {.key = "window_min_events",
           .type = kWhole,
           .low = 1,
           .high = kMostEvents,
           .default_text = "50",
           .description = "the fewest events of a window (fewer: joined to the next)"}),
      MemberRow<&C::merge_tolerance>(
          {.key = "merge_tolerance",
           .high = 2.0,
           .default_text = "0.25",
           .description = "windows within it of their step's mean are one step"}),
      MemberRow<&C::stepp_class_width>(
          {.key = "stepp_class_width",
           .low = 0.001,
           .high = 3.0,
           .default_text = "0.5",
           .description = "Stepp's magnitude classes (one bin at least)"}),
      MemberRow<&C::stepp_interval_years>({.key = "stepp_interval_years",
                                           .low = 0.01,
                                           .high = 1000.0,
                                           .default_text = "5",
                                           .description = "Stepp's span step, in years"}),
      MemberRow<&C::stepp_significance>(
          {.key = "stepp_significance",
           .high = 0.5,
           .low_open = true,
           .default_text = "0.01",
           .description = "Poisson lower tail of a class's departure from its rate",
           .accepts = [](double p) { return p < 0.5; },
           .expected = "a number above 0, below 0.5"}),
      MemberRow<&C::stepp_min_events>({.key = "stepp_min_events",
                                       .type = kWhole,
                                       .high = kMostEvents,
                                       .default_text = "10",
                                       .description = "the fewest events of a class"}),
  };
}

std::vector<OptionsRow<HomogeniseOptions>> MakeHomogeniseRows() {
  const auto types = [](std::string_view key, std::string_view description) {
    return SettingTerms{.key = key,
                        .type = SettingType::Texts,
                        .most = 1000,
                        .default_text = "[]",
                        .description = description};
  };
  return {
      MemberRow<&HomogeniseOptions::target>(
          {.key = "target",
           .type = SettingType::Text,
           .default_text = "required",
           .description = "the scale's name, the magnitude type of every converted event"}),
      MemberRow<&HomogeniseOptions::default_sd>(
          {.key = "default_sd",
           .high = kLargestSd,
           .default_text = "the reader's default SD",
           .description = "the SD of a further magnitude the catalog gives without one"}),
      MemberRow<&HomogeniseOptions::target_types>(
          types("target_types",
                "types already on the target scale (identity unless a relation "
                "is given)")),
      MemberRow<&HomogeniseOptions::priority>(
          types("priority",
                "the order in which an event's magnitudes are tried (first given "
                "wins)")),
  };
}

#pragma GCC diagnostic pop

// Texts made for the rows (the method table's names, the parameters' words).
std::deque<std::string>& Words() {
  static std::deque<std::string> words;
  return words;
}
std::string_view Kept(std::string text) { return Words().emplace_back(std::move(text)); }

// The method by the names of the method table.
OptionsRow<DeclusterOptions> MethodRow() {
  OptionsRow<DeclusterOptions> row;
  row.key = "method";
  row.type = SettingType::Text;
  row.expected = Kept("a declustering method: " + DeclusterMethodNames());
  row.default_text = DeclusterMethodOf(DeclusterMethod::GardnerKnopoff1974).name;
  row.description = "the declustering method (docs/catalogs.md); 'window', its older key, too";
  row.set = [expected = std::string(row.expected)](DeclusterOptions& o, const SettingValue& v) {
    const std::optional<DeclusterMethod> method = FindDeclusterMethod(std::get<std::string>(v));
    if (!method) throw InvalidSetting("method", ShownValue(v), expected);
    o.method = *method;
  };
  row.get = [](const DeclusterOptions& o) {
    return SettingValue(std::string(DeclusterMethodOf(o.method).name));
  };
  return row;
}

// A row per parameter of the method table: its range, its default (the
// parenthesis of its description) and the methods that read it.
OptionsRow<DeclusterOptions> ParameterRow(const DeclusterParameterInfo& p) {
  OptionsRow<DeclusterOptions> row;
  row.key = p.key;
  row.low = p.low;
  row.high = p.high;
  std::string_view words = p.description;
  const std::size_t open = words.rfind(" (default ");
  if (open != std::string_view::npos && words.back() == ')') {
    row.default_text = words.substr(open + 10, words.size() - open - 11);
    words = words.substr(0, open);
  }
  row.description = Kept(std::string(words) + " (" + std::string(p.methods) + ")");
  row.set = [set = p.set](DeclusterOptions& o, const SettingValue& v) {
    set(o, std::get<double>(v));
  };
  row.get = [get = p.get](const DeclusterOptions& o) {
    const std::optional<double> value = get(o);
    return value ? SettingValue(*value) : SettingValue{};
  };
  return row;
}

std::vector<OptionsRow<DeclusterOptions>> MakeDeclusterRows() {
  std::vector<OptionsRow<DeclusterOptions>> rows = {MethodRow()};
  for (const DeclusterParameterInfo& p : DeclusterParameters()) rows.push_back(ParameterRow(p));
  return rows;
}

}  // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
SettingTerms CompletenessTableTerms() {
  return {.key = "completeness",
          .type = SettingType::Rows,
          .names = "auto",
          .least = 1,
          .most = 1000,
          .increasing = true,
          .columns = kCompletenessColumns,
          .default_text = "none",
          .description =
              "the completeness table: from each year on, complete from Mc; \"auto\": "
              "estimated from the events (--completeness YEAR:MC,...)"};
}
#pragma GCC diagnostic pop

std::vector<CompletenessStep> CompletenessSteps(const SettingValue& rows) {
  std::vector<CompletenessStep> steps;
  for (const std::vector<double>& row : std::get<std::vector<std::vector<double>>>(rows)) {
    steps.push_back({static_cast<std::int32_t>(row[0]), static_cast<float>(row[1])});
  }
  return steps;
}

SettingValue CompletenessRows(const std::vector<CompletenessStep>& steps) {
  std::vector<std::vector<double>> rows;
  rows.reserve(steps.size());
  for (const CompletenessStep& s : steps) rows.push_back({double(s.year), double(s.threshold)});
  return rows.empty() ? SettingValue{} : SettingValue(rows);
}

std::span<const OptionsRow<PrepareJob>> PrepareJobSettings() {
  static const std::vector<OptionsRow<PrepareJob>> rows = MakePrepareJobRows();
  return rows;
}

std::span<const OptionsRow<ReadOptions>> ReadSettings() {
  static const std::vector<OptionsRow<ReadOptions>> rows = MakeReadRows();
  return rows;
}

std::span<const OptionsRow<Selection>> SelectionSettings() {
  static const std::vector<OptionsRow<Selection>> rows = MakeSelectionRows();
  return rows;
}

std::span<const OptionsRow<DeclusterOptions>> DeclusterSettings() {
  static const std::vector<OptionsRow<DeclusterOptions>> rows = MakeDeclusterRows();
  return rows;
}

std::span<const OptionsRow<SplitOptions>> SplitSettings() {
  static const std::vector<OptionsRow<SplitOptions>> rows = MakeSplitRows();
  return rows;
}

std::span<const OptionsRow<CompletenessOptions>> CompletenessSettings() {
  static const std::vector<OptionsRow<CompletenessOptions>> rows = MakeCompletenessRows();
  return rows;
}

std::span<const OptionsRow<HomogeniseOptions>> HomogeniseSettings() {
  static const std::vector<OptionsRow<HomogeniseOptions>> rows = MakeHomogeniseRows();
  return rows;
}

void Validate(const ReadOptions& options) { ValidateRows(options, ReadSettings()); }
void Validate(const Selection& selection) { ValidateRows(selection, SelectionSettings()); }
void Validate(const SplitOptions& options) { ValidateRows(options, SplitSettings()); }

}  // namespace qev
