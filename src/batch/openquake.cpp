// The OpenQuake job folder: one NRML 0.5 source model per branch (every zone
// a source carrying the branch's law), a source-model logic tree of one
// sourceModel branch set, a placeholder ground-motion logic tree and job.ini.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <sstream>

#include "batch/outputs.h"

namespace qev {

std::string ShortestReal(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

namespace batch_output {

std::string ShortestFloat(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

bool FiniteLaw(const Estimate& e) {
  const qev::OpenQuakeMfd law = qev::ToOpenQuake(e.beta, e.lambda, e.mmin, e.mmax);
  return std::isfinite(law.a) && std::isfinite(law.b) && std::isfinite(law.min_mag) &&
         std::isfinite(law.max_mag) && law.max_mag > law.min_mag;
}

bool Usable(const Estimate& estimate) {
  return estimate.ok && estimate.mmax_status != qev::MmaxStatus::Unsettled && FiniteLaw(estimate);
}

namespace {

constexpr const char* kNrml = "http://openquake.org/xmlns/nrml/0.5";
constexpr const char* kGml = "http://www.opengis.net/gml";

// An id or file-name piece: letters, digits and . _ - kept, = as -, the
// rest as _.
std::string Slug(const std::string& name) {
  std::string slug;
  for (char c : name) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '_' || c == '-';
    slug += keep ? c : c == '=' ? '-' : '_';
  }
  return slug;
}

// Slugs made unique by the index (1-based) of a later one that repeats.
std::vector<std::string> UniqueSlugs(const std::vector<std::string>& names) {
  std::vector<std::string> slugs;
  std::set<std::string> seen;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string slug = Slug(names[i]);
    if (!seen.insert(slug).second) {
      slug += "_" + std::to_string(i + 1);
      seen.insert(slug);
    }
    slugs.push_back(slug);
  }
  return slugs;
}

std::string Saved(const pugi::xml_document& document) {
  std::ostringstream out;
  document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

pugi::xml_node NrmlRoot(pugi::xml_document& document) {
  auto declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  auto nrml = document.append_child("nrml");
  nrml.append_attribute("xmlns:gml") = kGml;
  nrml.append_attribute("xmlns") = kNrml;
  return nrml;
}

// ------------------------------------------------------------ the geometry

// A zone's place in the model, resolved once for every branch.
struct SourcePlace {
  std::size_t zone = 0;
  std::string id;
  bool point = false;
  std::vector<std::pair<double, double>> ring;  // open, counter-clockwise
  std::pair<double, double> site{0.0, 0.0};     // a site of job.ini: the centroid or the point
  std::string region;
  std::string scale;
  double aspect = kDefaultRuptAspectRatio;
  double upper = kDefaultUpperDepth;
  double lower = kDefaultLowerDepth;
  std::vector<NodalPlane> planes;
  std::vector<HypoDepth> depths;
};

double Wrapped(double longitude) {
  while (longitude > 180.0) longitude -= 360.0;
  while (longitude < -180.0) longitude += 360.0;
  return longitude;
}

// The polygon's ring as NRML takes it: open (the closing vertex not
// repeated) and counter-clockwise seen from above (positive shoelace area in
// longitude and latitude, longitudes taken continuously across the
// antimeridian), then written within -180..180.
std::vector<std::pair<double, double>> OpenCounterClockwise(const Zone::Ring& ring) {
  std::vector<std::pair<double, double>> points;
  for (std::size_t i = 0; i + 1 < ring.longitude.size(); ++i) {
    double x = ring.longitude[i];
    if (!points.empty()) {
      while (x - points.back().first > 180.0) x -= 360.0;
      while (x - points.back().first < -180.0) x += 360.0;
    }
    points.emplace_back(x, ring.latitude[i]);
  }
  double area = 0.0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto& [x0, y0] = points[i];
    const auto& [x1, y1] = points[(i + 1) % points.size()];
    area += x0 * y1 - x1 * y0;
  }
  if (area < 0.0) std::reverse(points.begin(), points.end());
  for (auto& p : points) p.first = Wrapped(p.first);
  return points;
}

// The declustered depths in bins of `width` from the upper depth, each bin
// at its middle (kept within the seismogenic range), with its share of the
// events; empty without depths.
std::vector<HypoDepth> BinnedDepths(const std::vector<float>& depths, double width, double upper,
                                    double lower) {
  std::map<long, std::size_t> bins;
  for (float d : depths) {
    const double clipped = std::clamp(static_cast<double>(d), upper, lower);
    const auto bin = static_cast<long>(std::floor((clipped - upper) / width));
    const long last = static_cast<long>(std::ceil((lower - upper) / width)) - 1;
    ++bins[std::min(bin, std::max(last, 0L))];
  }
  std::vector<HypoDepth> out;
  for (const auto& [bin, count] : bins) {
    const double middle = std::min(upper + (static_cast<double>(bin) + 0.5) * width, lower);
    out.push_back({middle, static_cast<double>(count) / static_cast<double>(depths.size())});
  }
  return out;
}

void ResolveDepths(SourcePlace& place, const SourceSettings& s, const ZoneSource& zs,
                   const std::string& zone, std::vector<std::string>& warnings) {
  place.upper = s.upper_depth.value_or(zs.min_depth.value_or(kDefaultUpperDepth));
  place.lower = s.lower_depth.value_or(zs.max_depth.value_or(kDefaultLowerDepth));
  if (s.hypo_depths) {
    place.depths = *s.hypo_depths;
    for (HypoDepth& d : place.depths) {
      if (d.depth < place.upper || d.depth > place.lower) {
        warnings.push_back("zone " + zone + ": hypocentral depth " + ShortestReal(d.depth) +
                           " km moved into the seismogenic range " + ShortestReal(place.upper) +
                           " to " + ShortestReal(place.lower) + " km");
        d.depth = std::clamp(d.depth, place.upper, place.lower);
      }
    }
  } else if (s.hypo_depth_bin) {
    place.depths = BinnedDepths(zs.depths, *s.hypo_depth_bin, place.upper, place.lower);
    if (place.depths.empty()) {
      warnings.push_back("zone " + zone +
                         ": no event depths in the catalog; hypocentres at mid-depth");
    }
  }
  if (place.depths.empty()) place.depths = {{0.5 * (place.upper + place.lower), 1.0}};
}

// Where the zone's source lies, or none (with a warning) when it cannot be
// written.
std::optional<SourcePlace> PlaceOf(const BatchPlan& plan, std::size_t z,
                                   std::vector<std::string>& warnings) {
  const BatchZone& zone = plan.job.zones[z];
  const ZoneSource& zs = plan.zone_sources[z];
  SourceSettings s = plan.job.openquake;
  s.Overlay(zone.openquake);
  SourcePlace place;
  place.zone = z;
  const bool one_ring =
      zs.polygon && zs.polygon->polygons.size() == 1 && zs.polygon->polygons[0].size() == 1;
  if (one_ring) {
    place.ring = OpenCounterClockwise(zs.polygon->polygons[0][0]);
    for (const auto& [x, y] : place.ring) {
      place.site.first += x / static_cast<double>(place.ring.size());
      place.site.second += y / static_cast<double>(place.ring.size());
    }
  } else if (s.location) {
    place.point = true;
    place.site = {(*s.location)[0], (*s.location)[1]};
  } else {
    warnings.push_back(
        "zone " + zone.name + ": left out of the source models (" +
        (zs.polygon ? "its polygon has holes or several parts" : std::string("no polygon")) +
        "; give [zone.openquake] location = [longitude, latitude] for a point source)");
    return std::nullopt;
  }
  place.region = s.tectonic_region.value_or(kDefaultTectonicRegion);
  place.scale = s.mag_scale_rel.value_or(kDefaultMagScaleRel);
  place.aspect = s.rupt_aspect_ratio.value_or(kDefaultRuptAspectRatio);
  place.planes = s.nodal_planes.value_or(std::vector<NodalPlane>{NodalPlane{}});
  ResolveDepths(place, s, zs, zone.name, warnings);
  if (!(place.upper < place.lower)) {
    warnings.push_back("zone " + zone.name + ": left out of the source models (upper depth " +
                       ShortestReal(place.upper) + " km not above the lower depth " +
                       ShortestReal(place.lower) + " km)");
    return std::nullopt;
  }
  return place;
}

// ------------------------------------------------------------ the source models

// Probabilities or weights as written: each share rounded to 12 decimals,
// the last closing the sum, so that the decimal texts sum to exactly 1
// (whole units of 10^-12 added as integers).
std::vector<std::string> Closed(const std::vector<double>& shares) {
  constexpr long long kUnits = 1000000000000LL;
  double total = 0.0;
  for (double s : shares) total += s;
  std::vector<std::string> out;
  long long given = 0;
  for (std::size_t i = 0; i < shares.size(); ++i) {
    const long long units = i + 1 == shares.size()
                                ? kUnits - given
                                : std::llround(shares[i] / total * static_cast<double>(kUnits));
    given += units;
    if (units == kUnits) {
      out.emplace_back("1");
      continue;
    }
    char text[32];
    std::snprintf(text, sizeof text, "0.%012lld", units);
    std::string t = text;
    while (t.back() == '0') t.pop_back();
    out.push_back(t);
  }
  return out;
}

void AppendMfd(pugi::xml_node source, const Estimate& e) {
  const OpenQuakeMfd law = ToOpenQuake(e.beta, e.lambda, e.mmin, e.mmax);
  auto mfd = source.append_child("truncGutenbergRichterMFD");
  mfd.append_attribute("aValue") = ShortestReal(law.a).c_str();
  mfd.append_attribute("bValue") = ShortestReal(law.b).c_str();
  mfd.append_attribute("minMag") = ShortestFloat(e.mmin).c_str();
  mfd.append_attribute("maxMag") = ShortestFloat(e.mmax).c_str();
}

void AppendSource(pugi::xml_node group, const BatchPlan& plan, const SourcePlace& place,
                  const Estimate& e) {
  auto source = group.append_child(place.point ? "pointSource" : "areaSource");
  source.append_attribute("id") = place.id.c_str();
  source.append_attribute("name") = plan.job.zones[place.zone].name.c_str();
  source.append_attribute("tectonicRegion") = place.region.c_str();
  auto geometry = source.append_child(place.point ? "pointGeometry" : "areaGeometry");
  if (place.point) {
    geometry.append_child("gml:Point").append_child("gml:pos").text() =
        (ShortestReal(place.site.first) + " " + ShortestReal(place.site.second)).c_str();
  } else {
    std::string positions;
    for (const auto& [x, y] : place.ring) {
      positions += (positions.empty() ? "" : " ") + ShortestReal(x) + " " + ShortestReal(y);
    }
    geometry.append_child("gml:Polygon")
        .append_child("gml:exterior")
        .append_child("gml:LinearRing")
        .append_child("gml:posList")
        .text() = positions.c_str();
  }
  geometry.append_child("upperSeismoDepth").text() = ShortestReal(place.upper).c_str();
  geometry.append_child("lowerSeismoDepth").text() = ShortestReal(place.lower).c_str();
  source.append_child("magScaleRel").text() = place.scale.c_str();
  source.append_child("ruptAspectRatio").text() = ShortestReal(place.aspect).c_str();
  AppendMfd(source, e);
  auto planes = source.append_child("nodalPlaneDist");
  std::vector<double> shares;
  for (const NodalPlane& p : place.planes) shares.push_back(p.probability);
  const std::vector<std::string> plane_p = Closed(shares);
  for (std::size_t i = 0; i < place.planes.size(); ++i) {
    auto p = planes.append_child("nodalPlane");
    p.append_attribute("probability") = plane_p[i].c_str();
    p.append_attribute("strike") = ShortestReal(place.planes[i].strike).c_str();
    p.append_attribute("dip") = ShortestReal(place.planes[i].dip).c_str();
    p.append_attribute("rake") = ShortestReal(place.planes[i].rake).c_str();
  }
  auto depths = source.append_child("hypoDepthDist");
  shares.clear();
  for (const HypoDepth& d : place.depths) shares.push_back(d.probability);
  const std::vector<std::string> depth_p = Closed(shares);
  for (std::size_t i = 0; i < place.depths.size(); ++i) {
    auto d = depths.append_child("hypoDepth");
    d.append_attribute("probability") = depth_p[i].c_str();
    d.append_attribute("depth") = ShortestReal(place.depths[i].depth).c_str();
  }
}

// One source model: the zones' laws of one choice, grouped by region in the
// order regions first appear.
std::string SourceModel(const BatchPlan& plan, const std::vector<SourcePlace>& places,
                        const std::vector<const Estimate*>& laws, const std::string& name) {
  pugi::xml_document document;
  auto model = NrmlRoot(document).append_child("sourceModel");
  model.append_attribute("name") = name.c_str();
  std::vector<std::string> regions;
  for (const SourcePlace& p : places) {
    if (std::find(regions.begin(), regions.end(), p.region) == regions.end()) {
      regions.push_back(p.region);
    }
  }
  for (const std::string& region : regions) {
    auto group = model.append_child("sourceGroup");
    group.append_attribute("name") = region.c_str();
    group.append_attribute("tectonicRegion") = region.c_str();
    for (std::size_t i = 0; i < places.size(); ++i) {
      if (places[i].region == region) AppendSource(group, plan, places[i], *laws[i]);
    }
  }
  return Saved(document);
}

// ------------------------------------------------------------ the branches

// A model of the tree: the branch, which estimate of each zone, its weight.
struct ModelChoice {
  std::string id;  // branchID and file-name piece
  std::string name;
  double weight = 0.0;
  std::vector<const Estimate*> laws;  // by place
};

// The rate above m of an estimate's law (0 at and above its Mmax).
double RateAbove(const Estimate& e, double m) {
  if (m >= e.mmax) return 0.0;
  const OpenQuakeMfd law = ToOpenQuake(e.beta, e.lambda, e.mmin, e.mmax);
  return OpenQuakeRate(law, std::max(m, law.min_mag));
}

// The bootstrap of one zone and branch as `n` whole replicates: the usable
// replicates ordered by the annual rate their law gives above the catalog's
// Xmax (ties by replicate), cut into n bins of equal probability, each given
// by the replicate at its middle (the order statistic floor((k + 1/2) m / n)
// of m replicates). Empty when fewer than n replicates are usable.
std::vector<const Estimate*> BootstrapPoints(const CellOutcome& outcome, std::size_t n) {
  std::vector<const Estimate*> usable;
  for (const Estimate& e : outcome.replicates) {
    if (Usable(e)) usable.push_back(&e);
  }
  if (usable.size() < n || n == 0) return {};
  const double reference = outcome.catalog.xmax;
  std::stable_sort(usable.begin(), usable.end(), [reference](const Estimate* l, const Estimate* r) {
    return RateAbove(*l, reference) < RateAbove(*r, reference);
  });
  std::vector<const Estimate*> points;
  for (std::size_t k = 0; k < n; ++k) {
    const auto at = static_cast<std::size_t>(
        std::floor((static_cast<double>(k) + 0.5) * static_cast<double>(usable.size()) /
                   static_cast<double>(n)));
    points.push_back(usable[std::min(at, usable.size() - 1)]);
  }
  return points;
}

// Why a branch cannot be a model: the first zone without a usable estimate.
std::string Unusable(const BatchPlan& plan, const std::vector<CellOutcome>& cells,
                     const std::vector<SourcePlace>& places, std::size_t b) {
  for (const SourcePlace& p : places) {
    const std::size_t c = p.zone * plan.branches.size() + b;
    const Estimate& e = cells[c].catalog;
    if (!e.ok) return "zone " + plan.job.zones[p.zone].name + " has no estimate";
    if (!Usable(e)) {
      return "zone " + plan.job.zones[p.zone].name + " has an unsettled Mmax";
    }
  }
  return "";
}

// The laws of branch `b`'s models, one list of zones per model: the
// catalog's estimates, or with `n` bootstrap branches the n points of each
// zone's resamples. Returns the name of a zone with too few usable
// resamples (and no points), else "".
std::string BranchPoints(const BatchPlan& plan, const std::vector<CellOutcome>& cells,
                         const std::vector<SourcePlace>& places, std::size_t b, std::size_t n,
                         std::vector<std::vector<const Estimate*>>& points) {
  points.assign(n == 0 ? 1 : n, {});
  for (const SourcePlace& p : places) {
    const std::size_t c = p.zone * plan.branches.size() + b;
    if (n == 0) {
      points[0].push_back(&cells[c].catalog);
      continue;
    }
    const std::vector<const Estimate*> drawn = BootstrapPoints(cells[c], n);
    if (drawn.empty()) {
      points.clear();
      return plan.job.zones[p.zone].name;
    }
    for (std::size_t k = 0; k < n; ++k) points[k].push_back(drawn[k]);
  }
  return "";
}

std::vector<ModelChoice> Models(const BatchPlan& plan, const std::vector<CellOutcome>& cells,
                                const std::vector<SourcePlace>& places,
                                std::vector<std::string>& warnings) {
  std::vector<std::string> names;
  for (const Branch& b : plan.branches) names.push_back(b.name);
  const std::vector<std::string> slugs = UniqueSlugs(names);
  const auto n = static_cast<std::size_t>(plan.job.bootstrap_branches);
  std::vector<ModelChoice> models;
  for (std::size_t b = 0; b < plan.branches.size(); ++b) {
    const std::string why = Unusable(plan, cells, places, b);
    if (!why.empty()) {
      warnings.push_back("branch " + plan.branches[b].name + ": left out of the logic tree (" +
                         why + "); the other branches' weights renormalised");
      continue;
    }
    std::vector<std::vector<const Estimate*>> points;
    if (const std::string short_zone = BranchPoints(plan, cells, places, b, n, points);
        !short_zone.empty()) {
      warnings.push_back("branch " + plan.branches[b].name + ": left out of the logic tree (zone " +
                         short_zone + " has fewer than " + std::to_string(n) +
                         " usable replicates); the other branches' weights renormalised");
      continue;
    }
    for (std::size_t k = 0; k < points.size(); ++k) {
      ModelChoice m;
      m.id = slugs[b] + (n == 0 ? "" : "_" + std::to_string(k + 1));
      m.name = plan.branches[b].name + (n == 0 ? "" : " bootstrap point " + std::to_string(k + 1));
      m.weight = plan.branches[b].weight / static_cast<double>(points.size());
      m.laws = points[k];
      models.push_back(std::move(m));
    }
  }
  return models;
}

std::string LogicTree(const std::vector<ModelChoice>& models) {
  pugi::xml_document document;
  auto tree = NrmlRoot(document).append_child("logicTree");
  tree.append_attribute("logicTreeID") = "lt1";
  auto set = tree.append_child("logicTreeBranchSet");
  set.append_attribute("uncertaintyType") = "sourceModel";
  set.append_attribute("branchSetID") = "bs1";
  std::vector<double> shares;
  shares.reserve(models.size());
  for (const ModelChoice& m : models) shares.push_back(m.weight);
  const std::vector<std::string> weights = Closed(shares);
  for (std::size_t i = 0; i < models.size(); ++i) {
    auto branch = set.append_child("logicTreeBranch");
    branch.append_attribute("branchID") = models[i].id.c_str();
    branch.append_child("uncertaintyModel").text() =
        ("source_model_" + models[i].id + ".xml").c_str();
    branch.append_child("uncertaintyWeight").text() = weights[i].c_str();
  }
  return Saved(document);
}

// A ground-motion model per region to start from; the user replaces them.
const char* PlaceholderGmpe(const std::string& region) {
  if (region == "Subduction Interface") return "AbrahamsonEtAl2015SInter";
  if (region == "Subduction IntraSlab") return "AbrahamsonEtAl2015SSlab";
  if (region == "Stable Continental Crust") return "AtkinsonBoore2006";
  return "BooreEtAl2014";
}

std::string GmpeLogicTree(const std::vector<SourcePlace>& places) {
  pugi::xml_document document;
  auto nrml = NrmlRoot(document);
  nrml.append_child(pugi::node_comment)
      .set_value(
          " placeholder: one ground-motion model per tectonic region; replace them with the "
          "models (and weights) of your study ");
  auto tree = nrml.append_child("logicTree");
  tree.append_attribute("logicTreeID") = "gmpe_lt";
  std::vector<std::string> regions;
  for (const SourcePlace& p : places) {
    if (std::find(regions.begin(), regions.end(), p.region) == regions.end()) {
      regions.push_back(p.region);
    }
  }
  for (std::size_t i = 0; i < regions.size(); ++i) {
    auto set = tree.append_child("logicTreeBranchSet");
    set.append_attribute("uncertaintyType") = "gmpeModel";
    set.append_attribute("branchSetID") = ("gmpe_" + std::to_string(i + 1)).c_str();
    set.append_attribute("applyToTectonicRegionType") = regions[i].c_str();
    auto branch = set.append_child("logicTreeBranch");
    branch.append_attribute("branchID") = ("gmpe_" + std::to_string(i + 1) + "_1").c_str();
    branch.append_child("uncertaintyModel").text() = PlaceholderGmpe(regions[i]);
    branch.append_child("uncertaintyWeight").text() = "1";
  }
  return Saved(document);
}

std::string JobIni(const BatchPlan& plan, const std::vector<SourcePlace>& places) {
  std::string sites;
  for (const SourcePlace& p : places) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%.4f %.4f", sites.empty() ? "" : ", ", p.site.first,
                  p.site.second);
    sites += text;
  }
  const std::string name = std::filesystem::path(plan.job.source).stem().string();
  return "# OpenQuake classical hazard of the source models qev-batch estimated from the\n"
         "# catalog (" +
         name +
         "). The sites (one per zone, at its centroid), the ground-motion models\n"
         "# (gmpe_logic_tree.xml), the intensity levels and the site parameters are\n"
         "# placeholders to replace with those of the study.\n"
         "[general]\n"
         "description = " +
         name +
         ": source models from qev-batch\n"
         "calculation_mode = classical\n"
         "random_seed = " +
         std::to_string(plan.job.seed % 2147483647ULL) +
         "\n\n[geometry]\n"
         "sites = " +
         sites +
         "\n\n[logic_tree]\n"
         "number_of_logic_tree_samples = 0\n\n"
         "[erf]\n"
         "rupture_mesh_spacing = 5.0\n"
         "width_of_mfd_bin = 0.1\n"
         "area_source_discretization = 10.0\n\n"
         "[site_params]\n"
         "reference_vs30_type = measured\n"
         "reference_vs30_value = 760.0\n"
         "reference_depth_to_2pt5km_per_sec = 5.0\n"
         "reference_depth_to_1pt0km_per_sec = 100.0\n\n"
         "[calculation]\n"
         "source_model_logic_tree_file = source_model_logic_tree.xml\n"
         "gsim_logic_tree_file = gmpe_logic_tree.xml\n"
         "investigation_time = 50.0\n"
         "intensity_measure_types_and_levels = {\"PGA\": [0.005, 0.01, 0.02, 0.05, 0.1, 0.2, "
         "0.3, 0.5, 0.75, 1.0, 1.5, 2.0]}\n"
         "truncation_level = 3\n"
         "maximum_distance = 300.0\n\n"
         "[output]\n"
         "export_dir = output\n"
         "mean = true\n"
         "quantiles = 0.16 0.5 0.84\n"
         "hazard_maps = true\n"
         "poes = 0.1 0.02\n";
}

// The folder's files that an earlier run wrote and this one does not (the
// source model of a branch no longer in the job; the logic tree and job.ini
// when no model is written now) go when this run's files are put in place,
// so that the folder never mixes two runs. Only names this writer gives are
// touched.
void RetireEarlierFiles(const std::filesystem::path& folder, const std::set<std::string>& written,
                        OutputSet& outputs, std::vector<std::string>& warnings) {
  const auto ours = [](const std::string& name) {
    const bool model = name.size() > 17 && name.rfind("source_model_", 0) == 0 &&
                       name.compare(name.size() - 4, 4, ".xml") == 0;
    return model || name == "gmpe_logic_tree.xml" || name == "job.ini";
  };
  std::error_code error;
  std::vector<std::string> earlier;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(error) && ours(name) && written.count(name) == 0) {
      earlier.push_back(name);
    }
  }
  std::sort(earlier.begin(), earlier.end());
  for (const std::string& name : earlier) {
    outputs.Retire(folder / name);
    warnings.push_back("openquake/" + name +
                       ": written by an earlier run, removed (not part of "
                       "this run's logic tree)");
  }
}

}  // namespace

std::vector<std::string> WriteOpenQuake(const BatchPlan& plan,
                                        const std::vector<CellOutcome>& cells,
                                        const std::filesystem::path& folder, OutputSet& outputs) {
  std::vector<std::string> warnings;
  std::vector<SourcePlace> places;
  std::vector<std::string> zone_names;
  for (const BatchZone& z : plan.job.zones) zone_names.push_back(z.name);
  const std::vector<std::string> ids = UniqueSlugs(zone_names);
  for (std::size_t z = 0; z < plan.job.zones.size(); ++z) {
    bool any = false;
    for (std::size_t b = 0; b < plan.branches.size(); ++b) {
      const std::size_t c = z * plan.branches.size() + b;
      const Estimate& e = cells[c].catalog;
      any = any || Usable(e);
      if (e.ok && e.mmax_status == qev::MmaxStatus::Unsettled) {
        // An Mmax that never settled is no estimate of Mmax.
        char mmax[32];
        std::snprintf(mmax, sizeof mmax, "%.4g", static_cast<double>(e.mmax));
        warnings.push_back("zone " + plan.job.zones[z].name + ", branch " + plan.branches[b].name +
                           ": Mmax did not settle (" + mmax +
                           "): left out of the OpenQuake files; fix or cap Mmax (mmax, mmax_cap)");
      } else if (e.ok && !FiniteLaw(e)) {
        warnings.push_back("zone " + plan.job.zones[z].name + ", branch " + plan.branches[b].name +
                           ": its law (Beta " + ShortestFloat(e.beta) + ", Lambda " +
                           ShortestFloat(e.lambda) + ", Mmin " + ShortestFloat(e.mmin) + ", Mmax " +
                           ShortestFloat(e.mmax) +
                           ") has no finite OpenQuake a-value: left out of the OpenQuake files");
      }
    }
    if (!any) {
      warnings.push_back("zone " + plan.job.zones[z].name +
                         ": left out of the source models (no branch gave an estimate with a "
                         "settled or fixed Mmax)");
      continue;
    }
    if (std::optional<SourcePlace> place = PlaceOf(plan, z, warnings)) {
      place->id = ids[z];
      places.push_back(std::move(*place));
    }
  }
  const std::vector<ModelChoice> models =
      places.empty() ? std::vector<ModelChoice>{} : Models(plan, cells, places, warnings);

  // Each file written beside its target and put in place with the job's
  // other outputs.
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw Error(folder.string() + ": cannot be made (" + error.message() + ")");
  std::set<std::string> written;
  if (models.empty()) {
    warnings.push_back("no source model written: no branch has a usable estimate for every zone");
  } else {
    for (const ModelChoice& m : models) {
      const std::string name = "source_model_" + m.id + ".xml";
      outputs.Write(folder / name, SourceModel(plan, places, m.laws, m.name));
      written.insert(name);
    }
    for (const auto& [name, text] : {std::pair{"source_model_logic_tree.xml", LogicTree(models)},
                                     std::pair{"gmpe_logic_tree.xml", GmpeLogicTree(places)},
                                     std::pair{"job.ini", JobIni(plan, places)}}) {
      outputs.Write(folder / name, text);
      written.insert(name);
    }
  }
  RetireEarlierFiles(folder, written, outputs, warnings);
  return warnings;
}

}  // namespace batch_output
}  // namespace qev
