// QuakeML 1.2 event parameters through pugixml: each event's preferred origin
// and preferred magnitude (the first of each when no preference is named).
// Elements are matched by local name, whatever namespace prefix they carry.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "events/reading.h"
#include "qev/event_settings.h"
#include "qev/events.h"

namespace qev {

using namespace events_detail;

namespace {

std::string_view LocalName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_element && LocalName(child) == name) return child;
  }
  return {};
}

std::string_view Text(const pugi::xml_node& node) {
  return node ? Trim(node.text().get()) : std::string_view();
}

// The child of `parent` named `name` whose publicID is `id`; the first such
// child when `id` is empty or names none.
pugi::xml_node Preferred(const pugi::xml_node& parent, std::string_view name, std::string_view id,
                         bool& found_by_id) {
  pugi::xml_node first;
  found_by_id = false;
  for (pugi::xml_node child : parent.children()) {
    if (child.type() != pugi::node_element || LocalName(child) != name) continue;
    if (!first) first = child;
    if (!id.empty() && Trim(child.attribute("publicID").value()) == id) {
      found_by_id = true;
      return child;
    }
  }
  return first;
}

class LineOf {
 public:
  explicit LineOf(std::string_view text) : text_(text) {}
  long operator()(std::ptrdiff_t offset) {
    const auto stop = static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0));
    // Offsets grow through the document: count on from the last one.
    if (stop < position_) {
      position_ = 0;
      line_ = 1;
    }
    const std::size_t end = std::min(stop, text_.size());
    line_ += std::count(text_.begin() + static_cast<std::ptrdiff_t>(position_),
                        text_.begin() + static_cast<std::ptrdiff_t>(end), '\n');
    position_ = end;
    return line_;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
  long line_ = 1;
};

// The agency of a magnitude: its creationInfo's agencyID, else its author.
std::string_view AgencyOf(const pugi::xml_node& magnitude) {
  const pugi::xml_node info = Child(magnitude, "creationInfo");
  const std::string_view agency = Text(Child(info, "agencyID"));
  return agency.empty() ? Text(Child(info, "author")) : agency;
}

// The event's magnitudes besides the one in the table's main columns, in
// their order; an SD not given is NaN.
struct OtherMagnitude {
  float value;
  float sd;
  std::string_view type;
  std::string_view agency;
};

void ReadOtherMagnitudes(const pugi::xml_node& event, const pugi::xml_node& main,
                         const std::string& source, LineOf& line_of,
                         std::vector<OtherMagnitude>& others) {
  others.clear();
  for (pugi::xml_node m : event.children()) {
    if (m.type() != pugi::node_element || LocalName(m) != "magnitude" || m == main) continue;
    const pugi::xml_node mag = Child(m, "mag");
    const std::string_view value_text = Text(Child(mag, "value"));
    const std::string_view sd_text = Text(Child(mag, "uncertainty"));
    const auto value = ParseFloat(value_text);
    const auto sd = sd_text.empty() ? std::optional<float>(std::numeric_limits<float>::quiet_NaN())
                                    : ParseFloat(sd_text);
    if (!value || !sd || *sd < 0.0f || !(*value <= kLargestMagnitude)) {
      // The line is counted only for a fault: the magnitudes may come in any
      // order, and counting back from the start for each would cost.
      const FieldContext at{source, line_of(m.offset_debug())};
      RequireMagnitude(at, "magnitude/mag/value", value_text);
      RequireFloat(at, "magnitude/mag/uncertainty", sd_text, "SD");
      ThrowBadRow(at, "negative SD", sd_text,
                  "in column 'magnitude/mag/uncertainty' an SD of 0 or more");
    }
    others.push_back({*value, *sd, Text(Child(m, "type")), AgencyOf(m)});
  }
}

// The first element nested deeper than kDeepestNesting, walked without
// recursion (a document may nest elements a hundred thousand deep).
pugi::xml_node TooDeep(const pugi::xml_node& document) {
  int depth = 0;
  pugi::xml_node node = document.first_child();
  while (node) {
    if (node.first_child()) {
      node = node.first_child();
      if (++depth > kDeepestNesting) return node;
      continue;
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      --depth;
      if (node == document) return {};
    }
    if (node) node = node.next_sibling();
  }
  return {};
}

// The events under the root and its eventParameters, by a walk of those
// levels alone (no recursion into the rest of the document).
void FindEvents(const pugi::xml_node& document, std::vector<pugi::xml_node>& events) {
  std::vector<pugi::xml_node> levels{document};
  while (!levels.empty()) {
    const pugi::xml_node node = levels.back();
    levels.pop_back();
    for (pugi::xml_node child : node.children()) {
      if (child.type() != pugi::node_element) continue;
      if (LocalName(child) == "event") {
        events.push_back(child);
      } else if (LocalName(child) == "eventParameters" || LocalName(child) == "quakeml") {
        levels.push_back(child);
      }
    }
  }
}

}  // namespace

ReadResult ReadQuakeMlText(std::string_view text, const std::string& source,
                           const ReadOptions& options) {
  Validate(options);
  ReadResult result;
  result.summary.source = source;
  result.summary.format = EventFormat::QuakeMl;
  BadRows bad(result.summary, options);
  LineOf line_of(text);

  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    const long line = line_of(parsed.offset);
    const std::size_t at =
        std::min(static_cast<std::size_t>(std::max<std::ptrdiff_t>(parsed.offset, 0)), text.size());
    throw ReadingError(source, line,
                       std::string(text.substr(at, std::min<std::size_t>(40, text.size() - at))),
                       std::string("well-formed XML (") + parsed.description() + ")");
  }
  if (const pugi::xml_node deep = TooDeep(document)) {
    throw ReadingError(source, line_of(deep.offset_debug()),
                       "more than " + std::to_string(kDeepestNesting) + " nested elements",
                       "at most " + std::to_string(kDeepestNesting) + " levels of elements");
  }
  std::vector<pugi::xml_node> events;
  FindEvents(document, events);
  const pugi::xml_node root = document.document_element();
  if (!root || LocalName(root) != "quakeml") {
    throw ReadingError(source, 1, root ? root.name() : "",
                       "a QuakeML document (root element 'quakeml')");
  }
  result.events.Reserve(events.size());
  std::vector<OtherMagnitude> others;

  for (const pugi::xml_node& event : events) {
    CheckCancelled(options);
    ++result.summary.rows_read;
    const FieldContext at{source, line_of(event.offset_debug())};
    const std::string_view type = Text(Child(event, "type"));
    if (!type.empty() && type != "earthquake") {
      bad.Skip("not an earthquake (" + std::string(type) + ")",
               source + ", line " + std::to_string(at.line) + ": event type '" + std::string(type) +
                   "'");
      continue;
    }
    try {
      bool by_id = false;
      const std::string_view origin_id = Text(Child(event, "preferredOriginID"));
      const pugi::xml_node origin = Preferred(event, "origin", origin_id, by_id);
      if (!origin) ThrowBadRow(at, "no origin", "event", "an origin in the event");
      const std::string_view magnitude_id = Text(Child(event, "preferredMagnitudeID"));
      const pugi::xml_node magnitude = Preferred(event, "magnitude", magnitude_id, by_id);
      if (!magnitude) ThrowBadRow(at, "no magnitude", "event", "a magnitude in the event");

      EventTable::Row row;
      const FieldContext origin_at{source, line_of(origin.offset_debug())};
      const std::string_view time_text = Text(Child(Child(origin, "time"), "value"));
      const auto when = ParseIsoTime(time_text);
      if (!when) {
        ThrowBadRow(origin_at, "not a time", time_text,
                    "in origin/time/value an ISO 8601 time such as 2024-05-16T06:31:36.891Z");
      }
      CheckDateTime(origin_at, "origin/time/value", *when, time_text);
      row.date = when->date;
      row.hour = when->hour;
      row.minute = when->minute;
      row.second = when->second;
      const std::string_view lat = Text(Child(Child(origin, "latitude"), "value"));
      row.latitude = RequireNumber(origin_at, "origin/latitude/value", lat, "latitude");
      CheckLatitude(origin_at, "origin/latitude/value", row.latitude, lat);
      const std::string_view lon = Text(Child(Child(origin, "longitude"), "value"));
      row.longitude = RequireNumber(origin_at, "origin/longitude/value", lon, "longitude");
      CheckLongitude(origin_at, "origin/longitude/value", row.longitude, lon);
      const std::string_view depth = Text(Child(Child(origin, "depth"), "value"));
      // QuakeML gives depths in metres.
      row.depth =
          depth.empty()
              ? std::numeric_limits<float>::quiet_NaN()
              : static_cast<float>(RequireNumber(origin_at, "origin/depth/value", depth, "depth") /
                                   1000.0);

      const FieldContext magnitude_at{source, line_of(magnitude.offset_debug())};
      const pugi::xml_node mag = Child(magnitude, "mag");
      row.magnitude =
          RequireMagnitude(magnitude_at, "magnitude/mag/value", Text(Child(mag, "value")));
      row.sd = SdOrDefault(magnitude_at, "magnitude/mag/uncertainty",
                           Text(Child(mag, "uncertainty")), options, result.summary);
      row.magnitude_type = Text(Child(magnitude, "type"));
      row.agency = AgencyOf(magnitude);
      row.id = Trim(event.attribute("publicID").value());
      // The further magnitudes are read before the event is kept, so that a
      // bad one leaves the whole event out.
      ReadOtherMagnitudes(event, magnitude, source, line_of, others);
      result.events.Append(row);
      for (const OtherMagnitude& m : others) {
        result.events.AppendOther(m.value, m.sd, m.type, m.agency);
      }
    } catch (const BadRow& b) {
      bad.Handle(b);
    }
  }
  return result;
}

ReadResult ReadQuakeMlFile(const std::string& path, const ReadOptions& options) {
  const std::string text = ReadWholeFile(path, "the catalog file");
  return ReadQuakeMlText(text, path, options);
}

EventFormat GuessFormat(const std::string& file_name, std::string_view first_bytes) {
  const std::size_t dot = file_name.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : Lower(file_name.substr(dot + 1));
  if (extension == "csv") return EventFormat::Csv;
  if (extension == "xml" || extension == "qml" || extension == "quakeml")
    return EventFormat::QuakeMl;
  std::string_view head = first_bytes;
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  head = Trim(head.substr(0, head.find('\n')));
  if (!head.empty() && head.front() == '<') return EventFormat::QuakeMl;
  if (head.find_first_of(",;") != std::string_view::npos) return EventFormat::Csv;
  if (extension == "tsv" && head.find('\t') != std::string_view::npos) return EventFormat::Csv;
  return EventFormat::Zmap;
}

ReadResult ReadEventFile(const std::string& path, const ReadOptions& options,
                         std::optional<EventFormat> format) {
  if (!format) {
    // The first bytes of a regular file only: a pipe or a device is refused
    // by the reader the name chooses.
    std::string head;
    const OpenedInput opened = OpenRegularInput(path);
    if (opened.descriptor >= 0) {
      char buffer[4096];
      const ssize_t got = ::read(opened.descriptor, buffer, sizeof buffer);
      if (got > 0) head.assign(buffer, static_cast<std::size_t>(got));
      ::close(opened.descriptor);
    }
    format = GuessFormat(path, head);
  }
  switch (*format) {
    case EventFormat::Csv:
      return ReadCsvFile(path, options);
    case EventFormat::QuakeMl:
      return ReadQuakeMlFile(path, options);
    case EventFormat::Zmap:
      break;
  }
  return ReadZmapFile(path, options);
}

}  // namespace qev
