// One magnitude scale: the relations to the target scale, their checks, the
// choice of each event's magnitude and its conversion, and the TOML table.
#include "qev/homogenise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <utility>

#include "events/homogenise_toml.h"
#include "events/reading.h"
#include "events/settings_toml.h"
#include "qev/event_settings.h"

namespace qev {

using events_detail::Lower;
using events_detail::Trim;

namespace {

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string RelationName(const MagnitudeRelation& r) {
  return "the relation of " + (r.type.empty() ? std::string("(no type)") : r.type) +
         (r.agency.empty() ? "" : " (" + r.agency + ")");
}

[[noreturn]] void Refuse(const HomogeniseOptions& o, const MagnitudeRelation& r,
                         const std::string& text, const std::string& expected) {
  throw ReadingError(o.source, r.line, text, "in " + RelationName(r) + " " + expected);
}

void ValidateSegment(const HomogeniseOptions& o, const MagnitudeRelation& r,
                     const RelationSegment& s) {
  for (double v : {s.from, s.to, s.a, s.b, s.sd}) {
    if (!std::isfinite(v)) Refuse(o, r, Number(v), "finite numbers");
  }
  if (!(s.b > 0.0)) Refuse(o, r, "b = " + Number(s.b), "a slope b above 0");
  if (s.sd < 0.0) Refuse(o, r, "sd = " + Number(s.sd), "an SD of 0 or more");
  if (!(static_cast<float>(s.from) < static_cast<float>(s.to))) {
    Refuse(o, r, "range " + Number(s.from) + " to " + Number(s.to),
           "a range whose lower end is below its upper end");
  }
}

void ValidateRelation(const HomogeniseOptions& o, const MagnitudeRelation& r) {
  if (r.type.empty()) Refuse(o, r, "\"\"", "a magnitude type");
  if (r.segments.empty()) Refuse(o, r, "no segment", "a range and a, b, sd, or segments");
  for (std::size_t k = 0; k < r.segments.size(); ++k) {
    const RelationSegment& s = r.segments[k];
    ValidateSegment(o, r, s);
    if (k == 0) continue;
    const RelationSegment& before = r.segments[k - 1];
    const std::string text = "segment " + std::to_string(k + 1) + " from " + Number(s.from);
    if (s.from < before.from) {
      Refuse(o, r, text,
             "segments in the order of their ranges (segment " + std::to_string(k) + " from " +
                 Number(before.from) + ")");
    }
    if (s.from < before.to) {
      Refuse(o, r, text,
             "segments that do not overlap (segment " + std::to_string(k) + " runs to " +
                 Number(before.to) + ")");
    }
  }
}

bool SameName(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

// The ways a magnitude type can be converted.
constexpr int kUnlisted = -1;
constexpr int kIdentity = -2;

class Converter {
 public:
  Converter(const EventTable& events, const HomogeniseOptions& options)
      : events_(events), options_(options) {
    target_types_.push_back(options.target);
    target_types_.insert(target_types_.end(), options.target_types.begin(),
                         options.target_types.end());
  }

  // The relation (index, kIdentity or kUnlisted) of a type and agency: the
  // exact names first, then in any case; a relation of the agency before
  // one of every agency.
  int Relation(std::uint16_t type, std::uint16_t agency) {
    const auto key = std::make_pair(type, agency);
    const auto found = relation_of_.find(key);
    if (found != relation_of_.end()) return found->second;
    const std::string& t = events_.magnitude_types[type];
    const std::string& g = events_.agencies[agency];
    int result = kUnlisted;
    for (const bool any_agency : {false, true}) {
      if (any_agency || !g.empty()) result = Find(t, any_agency ? std::string() : g);
      if (result != kUnlisted) break;
    }
    if (result == kUnlisted) {
      for (const std::string& name : target_types_) {
        if (name == t || SameName(name, t)) result = kIdentity;
      }
    }
    return relation_of_[key] = result;
  }

  // The place of a type in the order of preference.
  std::size_t Rank(std::uint16_t type) {
    const auto found = rank_of_.find(type);
    if (found != rank_of_.end()) return found->second;
    const std::string& t = events_.magnitude_types[type];
    std::vector<std::string> order = options_.priority;
    order.insert(order.end(), target_types_.begin(), target_types_.end());
    for (const MagnitudeRelation& r : options_.relations) order.push_back(r.type);
    std::size_t rank = order.size();
    for (std::size_t k = order.size(); k-- > 0;) {
      if (SameName(order[k], t)) rank = k;
    }
    for (std::size_t k = order.size(); k-- > 0;) {
      if (order[k] == t) rank = k;
    }
    return rank_of_[type] = rank;
  }

  const RelationSegment* Segment(int relation, float magnitude) const {
    if (relation == kIdentity) return &kIdentitySegment;
    const RelationSegment* found = nullptr;
    for (const RelationSegment& s :
         options_.relations[static_cast<std::size_t>(relation)].segments) {
      if (magnitude >= static_cast<float>(s.from) && magnitude <= static_cast<float>(s.to)) {
        found = &s;
      }
    }
    return found;
  }

 private:
  int Find(const std::string& type, const std::string& agency) const {
    const auto& relations = options_.relations;
    for (const bool exact : {true, false}) {
      for (std::size_t k = 0; k < relations.size(); ++k) {
        const MagnitudeRelation& r = relations[k];
        const bool same_type = exact ? r.type == type : SameName(r.type, type);
        const bool same_agency = exact ? r.agency == agency : SameName(r.agency, agency);
        if (same_type && same_agency) return static_cast<int>(k);
      }
    }
    return kUnlisted;
  }

  static constexpr RelationSegment kIdentitySegment{-std::numeric_limits<double>::infinity(),
                                                    std::numeric_limits<double>::infinity(), 0.0,
                                                    1.0, 0.0};
  const EventTable& events_;
  const HomogeniseOptions& options_;
  std::vector<std::string> target_types_;
  std::map<std::pair<std::uint16_t, std::uint16_t>, int> relation_of_;
  std::map<std::uint16_t, std::size_t> rank_of_;
};

// One magnitude of an event, main or further.
struct Candidate {
  float magnitude = 0.0f;
  float sd = 0.0f;
  std::uint16_t type = 0;
  std::uint16_t agency = 0;
  std::size_t rank = 0;
  int relation = kUnlisted;
  bool other = false;
};

std::vector<Candidate> CandidatesOf(const EventTable& e, std::size_t i, Converter& converter) {
  std::vector<Candidate> c;
  c.push_back({e.magnitude[i], e.sd[i], e.magnitude_type[i], e.magnitude_agency[i], 0, 0, false});
  for (std::size_t k = e.others_begin(i); k < e.others_end(i); ++k) {
    c.push_back(
        {e.other_magnitude[k], e.other_sd[k], e.other_type[k], e.other_agency[k], 0, 0, true});
  }
  for (Candidate& x : c) {
    x.rank = converter.Rank(x.type);
    x.relation = converter.Relation(x.type, x.agency);
  }
  std::stable_sort(c.begin(), c.end(),
                   [](const Candidate& a, const Candidate& b) { return a.rank < b.rank; });
  return c;
}

class Counts {
 public:
  explicit Counts(const EventTable& events) : events_(events) {}
  TypeConversionCounts& operator[](std::uint16_t type) {
    auto found = index_.find(type);
    if (found == index_.end()) {
      found = index_.emplace(type, list_.size()).first;
      list_.push_back({events_.magnitude_types[type]});
    }
    return list_[found->second];
  }
  std::vector<TypeConversionCounts> Take() { return std::move(list_); }

 private:
  const EventTable& events_;
  std::map<std::uint16_t, std::size_t> index_;
  std::vector<TypeConversionCounts> list_;
};

float SdOf(const Candidate& c, const EventTable& e, std::size_t i, const HomogeniseOptions& o) {
  if (!std::isnan(c.sd)) return c.sd;
  if (o.default_sd) return *o.default_sd;
  throw CatalogError("event " + std::to_string(i + 1) +
                     (e.id(i).empty() ? std::string() : " (" + std::string(e.id(i)) + ")") +
                     ": its magnitude " + e.magnitude_types[c.type] +
                     " has no SD; give a default SD");
}

}  // namespace

void ValidateHomogenise(const HomogeniseOptions& o) {
  try {
    ValidateRows(o, HomogeniseSettings());
  } catch (const InvalidSetting& e) {
    throw ReadingError(o.source, o.line, e.value(), "for '" + e.key() + "' " + e.expected());
  }
  if (Trim(o.target).empty()) {
    throw ReadingError(o.source, o.line, "\"\"", "a target scale ('target', e.g. \"Mw\")");
  }
  for (std::size_t k = 0; k < o.relations.size(); ++k) {
    const MagnitudeRelation& r = o.relations[k];
    ValidateRelation(o, r);
    for (std::size_t j = 0; j < k; ++j) {
      if (o.relations[j].type == r.type && o.relations[j].agency == r.agency) {
        Refuse(o, r, "a second relation",
               "one relation per type and agency (the first on line " +
                   std::to_string(o.relations[j].line) + ")");
      }
    }
  }
  for (const std::string& type : o.priority) {
    bool known = SameName(type, o.target);
    for (const std::string& t : o.target_types) known = known || SameName(t, type);
    for (const MagnitudeRelation& r : o.relations) known = known || SameName(r.type, type);
    if (!known) {
      throw ReadingError(o.source, o.line, type,
                         "in 'priority' the type of a relation or a target type");
    }
  }
  if (o.default_sd && !(*o.default_sd >= 0.0f)) {
    throw ReadingError(o.source, o.line, Number(*o.default_sd), "a default SD of 0 or more");
  }
}

HomogeniseResult Homogenise(const EventTable& events, const HomogeniseOptions& options) {
  ValidateHomogenise(options);
  HomogeniseResult result;
  Converter converter(events, options);
  Counts counts(events);
  result.events.Reserve(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    const std::vector<Candidate> candidates = CandidatesOf(events, i, converter);
    const Candidate* used = nullptr;
    const RelationSegment* segment = nullptr;
    for (const Candidate& c : candidates) {
      if (c.relation == kUnlisted) continue;
      segment = converter.Segment(c.relation, c.magnitude);
      if (segment != nullptr) {
        used = &c;
        break;
      }
    }
    if (used == nullptr) {
      // Counted under its first listed magnitude, else its main one.
      const auto listed = std::find_if(candidates.begin(), candidates.end(),
                                       [](const Candidate& c) { return c.relation != kUnlisted; });
      if (listed != candidates.end()) {
        TypeConversionCounts& n = counts[listed->type];
        ++n.read;
        ++n.out_of_range;
      } else {
        TypeConversionCounts& n = counts[events.magnitude_type[i]];
        ++n.read;
        ++n.unlisted;
      }
      ++result.counts.left_out;
      continue;
    }
    const double b = segment->b;
    const double sd = SdOf(*used, events, i, options);
    EventTable::Row row = events.row(i);
    row.magnitude = static_cast<float>(segment->a + b * static_cast<double>(used->magnitude));
    row.sd = static_cast<float>(std::sqrt(b * sd * b * sd + segment->sd * segment->sd));
    row.magnitude_type = options.target;
    row.agency = events.agencies[used->agency];
    row.original_magnitude = used->magnitude;
    row.original_type = events.magnitude_types[used->type];
    if (!std::isfinite(row.magnitude) || !std::isfinite(row.sd)) {
      const std::string relation =
          used->relation >= 0
              ? RelationName(options.relations[static_cast<std::size_t>(used->relation)])
              : std::string("the identity");
      throw CatalogError("event " + std::to_string(i + 1) + ": " + relation + " gives magnitude " +
                         Number(row.magnitude) + " with SD " + Number(row.sd) +
                         ", not a finite number");
    }
    result.events.Append(row);
    for (std::size_t k = events.others_begin(i); k < events.others_end(i); ++k) {
      result.events.AppendOther(events.other_magnitude[k], events.other_sd[k],
                                events.magnitude_types[events.other_type[k]],
                                events.agencies[events.other_agency[k]]);
    }
    result.rows.push_back(i);
    TypeConversionCounts& n = counts[used->type];
    ++n.read;
    ++n.converted;
    ++result.counts.converted;
    result.counts.from_other_magnitudes += used->other ? 1 : 0;
  }
  result.counts.types = counts.Take();
  result.counts.target = options.target;
  return result;
}

// ----------------------------------------------------------------- TOML

namespace events_detail {

namespace {

class TomlRelations {
 public:
  explicit TomlRelations(const std::string& source) : source_(source) {}

  [[noreturn]] void Fail(const toml::node& node, const std::string& key,
                         const std::string& expected) const {
    std::string shown;
    if (auto s = node.value<std::string>()) {
      shown = *s;
    } else if (auto d = node.value<double>()) {
      shown = Number(*d);
    } else {
      shown = std::string(toml::impl::node_type_friendly_names[static_cast<int>(node.type())]);
    }
    throw ReadingError(source_, Line(node), shown, "for '" + key + "' " + expected);
  }

  static long Line(const toml::node& node) { return static_cast<long>(node.source().begin.line); }

  double Real(const toml::node& node, const std::string& key) const {
    if (auto value = node.value<double>(); value && std::isfinite(*value)) return *value;
    Fail(node, key, "a finite number");
  }
  std::string Text(const toml::node& node, const std::string& key) const {
    if (auto value = node.value<std::string>()) return *value;
    Fail(node, key, "a text in quotes");
  }
  // Unknown keys are refused, naming the keys known.
  void Known(const toml::table& table, const std::string& prefix,
             std::initializer_list<const char*> keys) const {
    for (auto&& [key, node] : table) {
      if (std::find(keys.begin(), keys.end(), key.str()) != keys.end()) continue;
      std::string known;
      for (const char* k : keys) known += (known.empty() ? "" : ", ") + std::string(k);
      throw ReadingError(source_, static_cast<long>(key.source().begin.line),
                         prefix + std::string(key.str()), "one of the keys " + known);
    }
  }

  // a, b, sd and a range [from, to] of one segment or a linear relation.
  RelationSegment Linear(const toml::table& t, const std::string& prefix, bool range_as_pair) {
    RelationSegment s;
    auto need = [&](const char* key) -> const toml::node& {
      const toml::node* node = t.get(key);
      if (node == nullptr) {
        throw ReadingError(source_, static_cast<long>(t.source().begin.line), prefix,
                           "the key '" + prefix + key + "'");
      }
      return *node;
    };
    s.a = Real(need("a"), prefix + "a");
    s.b = Real(need("b"), prefix + "b");
    s.sd = Real(need("sd"), prefix + "sd");
    if (range_as_pair) {
      const toml::node& range = need("range");
      const toml::array* pair = range.as_array();
      if (pair == nullptr || pair->size() != 2) Fail(range, prefix + "range", "a pair [from, to]");
      s.from = Real(*pair->get(0), prefix + "range");
      s.to = Real(*pair->get(1), prefix + "range");
    } else {
      s.from = Real(need("from"), prefix + "from");
      s.to = Real(need("to"), prefix + "to");
    }
    return s;
  }

  MagnitudeRelation Relation(const toml::node& node, const std::string& key) {
    const toml::table* t = node.as_table();
    if (t == nullptr) Fail(node, key, "a table of a relation");
    const std::string prefix = key + ".";
    Known(*t, prefix, {"type", "agency", "a", "b", "sd", "range", "segments"});
    MagnitudeRelation r;
    r.line = Line(node);
    const toml::node* type = t->get("type");
    if (type == nullptr) {
      throw ReadingError(source_, r.line, key, "the key '" + prefix + "type'");
    }
    r.type = Text(*type, prefix + "type");
    if (const toml::node* agency = t->get("agency")) r.agency = Text(*agency, prefix + "agency");
    if (const toml::node* segments = t->get("segments")) {
      for (const char* linear : {"a", "b", "sd", "range"}) {
        if (t->contains(linear)) {
          throw ReadingError(source_, r.line, prefix + linear,
                             "either 'segments' or a, b, sd and range in " + RelationName(r));
        }
      }
      const toml::array* list = segments->as_array();
      if (list == nullptr || list->empty()) {
        Fail(*segments, prefix + "segments", "an array of tables {from, to, a, b, sd}");
      }
      for (const toml::node& item : *list) {
        const toml::table* s = item.as_table();
        if (s == nullptr) Fail(item, prefix + "segments", "a table {from, to, a, b, sd}");
        Known(*s, prefix + "segments.", {"from", "to", "a", "b", "sd"});
        r.segments.push_back(Linear(*s, prefix + "segments.", false));
      }
    } else {
      r.segments.push_back(Linear(*t, prefix, true));
    }
    return r;
  }

  HomogeniseOptions Parse(const toml::table& t, const std::string& prefix) {
    HomogeniseOptions o;
    o.source = source_;
    o.line = Line(t);
    const std::string p = prefix.empty() ? "" : prefix + ".";
    Known(t, p, {"target", "target_types", "priority", "default_sd", "relation"});
    for (const OptionsRow<HomogeniseOptions>& row : HomogeniseSettings()) {
      if (const toml::node* n = t.get(row.key)) {
        ReadOption(*n, row, p + std::string(row.key), source_, o);
      }
    }
    if (const toml::node* n = t.get("relation")) {
      const toml::array* list = n->as_array();
      if (list == nullptr) Fail(*n, p + "relation", "[[" + p + "relation]] tables");
      for (const toml::node& item : *list) o.relations.push_back(Relation(item, p + "relation"));
    }
    if (o.target.empty()) {
      throw ReadingError(source_, static_cast<long>(t.source().begin.line), prefix,
                         "a target scale ('" + p + "target', e.g. \"Mw\")");
    }
    ValidateHomogenise(o);
    return o;
  }

 private:
  const std::string& source_;
};

}  // namespace

HomogeniseOptions HomogeniseFromToml(const toml::table& table, const std::string& prefix,
                                     const std::string& source) {
  return TomlRelations(source).Parse(table, prefix);
}

}  // namespace events_detail

HomogeniseOptions ParseHomogeniseToml(std::string_view text, const std::string& source) {
  toml::table root;
  try {
    root = toml::parse(text, source);
  } catch (const toml::parse_error& e) {
    throw ReadingError(source, static_cast<long>(e.source().begin.line), "",
                       "TOML (" + std::string(e.description()) + ")");
  }
  if (const toml::node* inner = root.get("homogenise")) {
    if (root.size() == 1 && inner->is_table()) {
      return events_detail::HomogeniseFromToml(*inner->as_table(), "homogenise", source);
    }
  }
  return events_detail::HomogeniseFromToml(root, "", source);
}

HomogeniseOptions ReadHomogeniseFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(path + ": cannot open the file of magnitude relations");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseHomogeniseToml(text.str(), path);
}

}  // namespace qev
