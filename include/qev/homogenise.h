// One magnitude scale for a catalog: each event's magnitude converted to the
// target scale by a relation of its type (and, where one is given, of its
// agency), M_target = a + b M within the relation's range, its SD propagated.
// The relations come from a TOML table (the prepare job's [homogenise], or a
// file of its own); layout and the published relations in docs/catalogs.md
// and docs/method.md.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qev/events.h"

namespace qev {

// M_target = a + b M for from <= M <= to (both ends compared as the single
// precision magnitudes of the table), with the relation's own SD.
struct RelationSegment {
  double from = 0.0;
  double to = 0.0;
  double a = 0.0;
  double b = 1.0;
  double sd = 0.0;
};

// The relation of one magnitude type (names compared in any case), of one
// agency or of any: one segment (linear) or several (piecewise linear,
// ordered by magnitude, touching at most at their ends; where two touch the
// upper one applies).
struct MagnitudeRelation {
  std::string type;
  std::string agency;  // empty: every agency without a relation of its own
  std::vector<RelationSegment> segments;
  long line = 0;  // where it was written (0: not from a file)
};

struct HomogeniseOptions {
  std::string target;  // the scale's name, the type of every converted event
  // Types already on the target scale: converted by identity (a = 0, b = 1,
  // SD 0, any magnitude) unless a relation is given for them. The target's
  // own name is always one.
  std::vector<std::string> target_types;
  std::vector<MagnitudeRelation> relations;
  // Types in the order of preference when an event has several magnitudes;
  // types not listed follow in the order of the relations (the target types
  // first).
  std::vector<std::string> priority;
  // SD of a further magnitude the catalog gives without one (the main
  // magnitude took the reader's default already); none: such a magnitude
  // cannot be used.
  std::optional<float> default_sd;
  std::string source;  // where the table came from, for messages
  long line = 0;       // and the line where it starts
};

// Checks the relations: a target, b > 0, SDs of 0 or more, ranges with
// from < to, segments in order and not overlapping, one relation per type
// and agency, finite numbers. Throws ReadingError naming the source, the
// line and the relation.
void ValidateHomogenise(const HomogeniseOptions& options);

// Per magnitude type: events whose fate this type decided (the magnitude
// used, or for an event left out, its first magnitude in priority order).
struct TypeConversionCounts {
  std::string type;
  std::size_t read = 0;
  std::size_t converted = 0;
  std::size_t out_of_range = 0;  // of a listed type, outside every range
  std::size_t unlisted = 0;      // of a type without a relation
  std::size_t left_out() const { return out_of_range + unlisted; }
};

struct HomogeniseCounts {
  std::string target;
  std::vector<TypeConversionCounts> types;  // in the order the types first appear
  std::size_t converted = 0;
  std::size_t left_out = 0;
  // Events whose magnitude came from a further magnitude, not the main one.
  std::size_t from_other_magnitudes = 0;
};

struct HomogeniseResult {
  EventTable events;              // the converted events, in table order
  std::vector<std::size_t> rows;  // their rows in the input
  HomogeniseCounts counts;
};

// Converts every event it can: of its magnitudes (the main one and the
// further ones), the first in priority order that a relation covers
// (ties: the main magnitude, then the further ones in their order) gives
// M_target = a + b M and SD sqrt((b SD)^2 + SD_relation^2). The converted
// event has the target's name as its type; its original magnitude and type
// keep the magnitude used. Validates the options first.
HomogeniseResult Homogenise(const EventTable& events, const HomogeniseOptions& options);

// A table of relations as TOML text: the keys of a [homogenise] table at
// the root, or inside a [homogenise] table. Unknown keys, wrong types and
// the faults ValidateHomogenise finds throw ReadingError naming the source,
// line and key.
HomogeniseOptions ParseHomogeniseToml(std::string_view text, const std::string& source);

// The same from a file; throws Error when it cannot be read.
HomogeniseOptions ReadHomogeniseFile(const std::string& path);

}  // namespace qev
