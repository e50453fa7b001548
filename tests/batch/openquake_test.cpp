// The OpenQuake job folder read back as the engine reads it: the logic tree's
// rules, the NRML 0.5 elements of every source model, each model carrying
// one branch's (a, b, Mmax) for every zone, and the laws' rates equal to the
// engine's hazard rates of that branch.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <sstream>

#include "../events/temp_folder.h"
#include "batch/record.h"
#include "qev/batch.h"

namespace qev {
namespace {

using events_testing::TempFolder;

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream split(line);
  for (std::string field; std::getline(split, field, ',');) out.push_back(field);
  return out;
}

std::vector<double> Numbers(const std::string& text) {
  std::vector<double> out;
  std::istringstream in(text);
  for (double v; in >> v;) out.push_back(v);
  return out;
}

// A probability or weight as written in units of 10^-12 ("1" or "0." and
// at most 12 decimals), -1 for any other text: the texts must sum to 1
// exactly as decimals, whatever a reader's arithmetic.
long long DecimalUnits(const std::string& text) {
  if (text == "1") return 1000000000000LL;
  if (text.rfind("0.", 0) != 0 || text.size() > 14 || text.size() < 3) return -1;
  std::string digits = text.substr(2);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  digits.resize(12, '0');
  return std::stoll(digits);
}

// The job's rows of results.csv and hazard.csv by zone and branch.
struct Rows {
  std::map<std::string, std::vector<std::vector<std::string>>> results;  // zone;branch
  std::map<std::string, std::vector<std::vector<std::string>>> hazard;
};

Rows ReadRows(const TempFolder& folder, const std::string& out) {
  Rows rows;
  for (auto [file, target] :
       {std::pair{"results.csv", &rows.results}, {"hazard.csv", &rows.hazard}}) {
    std::istringstream in(folder.Read(out + "/" + file));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      const auto f = Fields(line);
      (*target)[f[0] + ";" + f[1]].push_back(f);
    }
  }
  return rows;
}

// One branch of the source-model branch set: a unique id, a positive
// weight, a file that exists and is named once.
void CheckBranch(const TempFolder& folder, const std::string& oq, pugi::xml_node branch,
                 std::set<std::string>& ids, std::map<std::string, double>& files) {
  EXPECT_TRUE(ids.insert(branch.attribute("branchID").value()).second);
  const std::string file = branch.child_value("uncertaintyModel");
  const double weight = std::stod(branch.child_value("uncertaintyWeight"));
  EXPECT_GT(weight, 0.0);
  EXPECT_TRUE(files.emplace(file, weight).second) << file;
  EXPECT_TRUE(std::filesystem::exists(folder.Path(oq + "/" + file))) << file;
}

// Rules of a source-model logic tree; returns the files named and weights.
std::map<std::string, double> CheckLogicTree(const TempFolder& folder, const std::string& oq) {
  pugi::xml_document tree;
  EXPECT_TRUE(tree.load_file(folder.Path(oq + "/source_model_logic_tree.xml").c_str()));
  const auto nrml = tree.child("nrml");
  EXPECT_STREQ(nrml.attribute("xmlns").value(), "http://openquake.org/xmlns/nrml/0.5");
  const auto sets = nrml.child("logicTree").children("logicTreeBranchSet");
  EXPECT_EQ(std::distance(sets.begin(), sets.end()), 1) << "one branch set: no crossing";
  const auto set = nrml.child("logicTree").child("logicTreeBranchSet");
  EXPECT_STREQ(set.attribute("uncertaintyType").value(), "sourceModel");
  std::map<std::string, double> files;
  std::set<std::string> ids;
  long long total = 0;
  for (auto branch : set.children("logicTreeBranch")) {
    CheckBranch(folder, oq, branch, ids, files);
    total += DecimalUnits(branch.child_value("uncertaintyWeight"));
  }
  EXPECT_EQ(total, 1000000000000LL) << "weights summing to exactly 1";
  return files;
}

long long Sum(pugi::xml_node parent, const char* child) {
  long long total = 0;
  for (auto n : parent.children(child)) total += DecimalUnits(n.attribute("probability").value());
  return total;
}

// An area source's ring: open (the first vertex not repeated) and
// counter-clockwise, longitudes taken continuously across the antimeridian.
void CheckRing(std::vector<double> xy) {
  ASSERT_EQ(xy.size() % 2, 0u);
  ASSERT_GE(xy.size(), 6u);
  EXPECT_FALSE(xy[0] == xy[xy.size() - 2] && xy[1] == xy.back()) << "closed ring";
  for (std::size_t i = 2; i < xy.size(); i += 2) {
    while (xy[i] - xy[i - 2] > 180.0) xy[i] -= 360.0;
    while (xy[i] - xy[i - 2] < -180.0) xy[i] += 360.0;
  }
  double twice_area = 0.0;
  for (std::size_t i = 0; i < xy.size(); i += 2) {
    const std::size_t j = (i + 2) % xy.size();
    twice_area += xy[i] * xy[j + 1] - xy[j] * xy[i + 1];
  }
  EXPECT_GT(twice_area, 0.0) << "counter-clockwise";
}

// Probabilities of the nodal planes and hypocentral depths summing to
// exactly 1, the depths within the seismogenic layer.
void CheckDistributions(pugi::xml_node source, double upper, double lower) {
  EXPECT_EQ(Sum(source.child("nodalPlaneDist"), "nodalPlane"), 1000000000000LL);
  EXPECT_EQ(Sum(source.child("hypoDepthDist"), "hypoDepth"), 1000000000000LL);
  for (auto d : source.child("hypoDepthDist").children("hypoDepth")) {
    EXPECT_GE(d.attribute("depth").as_double(), upper);
    EXPECT_LE(d.attribute("depth").as_double(), lower);
  }
}

// The elements of one source, in NRML's order; returns its MFD.
OpenQuakeMfd CheckSource(pugi::xml_node source) {
  const std::string kind = source.name();
  const bool area = kind == "areaSource";
  EXPECT_TRUE(area || kind == "pointSource") << kind;
  std::vector<std::string> order;
  for (auto child : source.children()) order.push_back(child.name());
  const std::vector<std::string> expected = {area ? "areaGeometry" : "pointGeometry",
                                             "magScaleRel",
                                             "ruptAspectRatio",
                                             "truncGutenbergRichterMFD",
                                             "nodalPlaneDist",
                                             "hypoDepthDist"};
  EXPECT_EQ(order, expected) << source.attribute("id").value();
  const auto geometry = source.first_child();
  const double upper = std::stod(geometry.child_value("upperSeismoDepth"));
  const double lower = std::stod(geometry.child_value("lowerSeismoDepth"));
  EXPECT_LT(upper, lower);
  if (area) {
    CheckRing(Numbers(geometry.child("gml:Polygon")
                          .child("gml:exterior")
                          .child("gml:LinearRing")
                          .child_value("gml:posList")));
  } else {
    EXPECT_EQ(Numbers(geometry.child("gml:Point").child_value("gml:pos")).size(), 2u);
  }
  CheckDistributions(source, upper, lower);
  const auto mfd = source.child("truncGutenbergRichterMFD");
  return {mfd.attribute("aValue").as_double(), mfd.attribute("bValue").as_double(),
          mfd.attribute("minMag").as_double(), mfd.attribute("maxMag").as_double()};
}

// Every source of a model by zone name, its elements checked.
std::map<std::string, OpenQuakeMfd> CheckModel(const TempFolder& folder, const std::string& path,
                                               std::map<std::string, std::string>* regions) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(folder.Path(path).c_str())) << path;
  const auto model = doc.child("nrml").child("sourceModel");
  EXPECT_TRUE(model) << path;
  std::set<std::string> ids;
  std::map<std::string, OpenQuakeMfd> laws;
  for (auto group : model.children("sourceGroup")) {
    const std::string region = group.attribute("tectonicRegion").value();
    for (auto source : group.children()) {
      const std::string zone = source.attribute("name").value();
      EXPECT_TRUE(ids.insert(source.attribute("id").value()).second) << path << " " << zone;
      laws[zone] = CheckSource(source);
      (*regions)[zone] = source.attribute("tectonicRegion").value();
    }
  }
  // Each source in the group of its tectonic region.
  for (auto group : model.children("sourceGroup")) {
    for (auto source : group.children()) {
      EXPECT_EQ((*regions)[source.attribute("name").value()],
                group.attribute("tectonicRegion").value());
    }
  }
  return laws;
}

// The example job: every model is one branch of the job with every zone
// placed; its laws are that branch's estimates and reproduce its hazard rates.
TEST(OpenQuakeFolder, ModelsAreWholeBranchesAndReproduceTheEngineRates) {
  TempFolder folder;
  const auto run = folder.Run(std::string("'") + QEV_BATCH_BINARY + "' -o out '" +
                              QEV_BATCH_DATA_DIR + "/openquake_job.toml'");
  ASSERT_LE(run.status, 2) << run.out;
  EXPECT_NE(run.out.find("WARNING: zone extremes: left out of the source models (no polygon"),
            std::string::npos)
      << run.out;
  const Rows rows = ReadRows(folder, "out");
  const auto files = CheckLogicTree(folder, "out/openquake");
  ASSERT_FALSE(files.empty());
  const std::map<std::string, std::string> branch_of = {
      {"source_model_proc-cramer.xml", "proc=cramer"},
      {"source_model_proc-bayes.xml", "proc=bayes"}};
  for (const auto& [file, weight] : files) {
    ASSERT_EQ(branch_of.count(file), 1u) << file;
    const std::string& branch = branch_of.at(file);
    std::map<std::string, std::string> regions;
    const auto laws = CheckModel(folder, "out/openquake/" + file, &regions);
    EXPECT_EQ(laws.size(), 2u) << file;
    EXPECT_EQ(regions["tonga"], "Subduction Interface");
    EXPECT_EQ(regions["example"], "Active Shallow Crust");
    for (const auto& [zone, law] : laws) {
      const auto& own = rows.results.at(zone + ";" + branch).front();  // replicate 0
      // Beta, Mmin and Mmax of this very branch (pairing kept); b is
      // Beta log10(e) in double precision.
      EXPECT_NEAR(law.b, static_cast<double>(std::stof(own[10])) / std::log(10.0), 1e-12)
          << zone << " " << branch;
      EXPECT_EQ(static_cast<float>(law.min_mag), std::stof(own[6]));
      EXPECT_EQ(static_cast<float>(law.max_mag), std::stof(own[16]));
      // The engine's rates at each magnitude of its hazard table: its
      // single-precision rounding is about 1e-6 of Lambda.
      const double lambda = std::stod(own[12]);
      int checked = 0;
      for (const auto& h : rows.hazard.at(zone + ";" + branch)) {
        EXPECT_NEAR(OpenQuakeRate(law, std::stod(h[2])), std::stod(h[3]), 1e-6 * lambda)
            << zone << " " << branch << " M " << h[2];
        ++checked;
      }
      EXPECT_GT(checked, 4);
    }
  }
  EXPECT_TRUE(std::filesystem::exists(folder.Path("out/openquake/job.ini")));
  pugi::xml_document gmpe;
  ASSERT_TRUE(gmpe.load_file(folder.Path("out/openquake/gmpe_logic_tree.xml").c_str()));
  std::set<std::string> covered;
  for (auto set : gmpe.select_nodes("//logicTreeBranchSet")) {
    covered.insert(set.node().attribute("applyToTectonicRegionType").value());
  }
  EXPECT_EQ(covered, (std::set<std::string>{"Subduction Interface", "Active Shallow Crust"}));
  // The point source lies where the job puts it; the catalog's depths binned
  // by 20 km within the selection's 0 to 70 km.
  const std::string model = folder.Read("out/openquake/" + files.begin()->first);
  EXPECT_NE(model.find("<gml:pos>12.5 41.9</gml:pos>"), std::string::npos);
  EXPECT_NE(model.find("<lowerSeismoDepth>70</lowerSeismoDepth>"), std::string::npos);
  EXPECT_NE(model.find("minMag=\"4.9\""), std::string::npos) << "shortest digits";
}

// The same folder again without bootstrap branches or calibrated
// intervals: the resample models and calibrated.csv of the first run go,
// so the folder holds exactly what its logic tree names, and the run says
// what it removed.
void ExpectRerunRemovesWhatItDoesNotWrite(const TempFolder& folder,
                                          const std::map<std::string, double>& first) {
  ASSERT_TRUE(std::filesystem::exists(folder.Path("out/calibrated.csv")));
  const auto again = folder.Run(std::string("'") + QEV_BATCH_BINARY + "' -o out '" +
                                QEV_BATCH_DATA_DIR + "/openquake_job.toml'");
  ASSERT_LE(again.status, 2) << again.out;
  EXPECT_FALSE(std::filesystem::exists(folder.Path("out/calibrated.csv")));
  EXPECT_NE(again.out.find("calibrated.csv: written by an earlier run"), std::string::npos);
  std::set<std::string> named;
  for (const auto& [file, weight] : CheckLogicTree(folder, "out/openquake")) named.insert(file);
  std::set<std::string> present;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path("out/openquake"))) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("source_model_", 0) == 0 && name != "source_model_logic_tree.xml") {
      present.insert(name);
    }
  }
  EXPECT_EQ(present, named);
  for (const auto& [file, weight] : first) {
    if (named.count(file) != 0) continue;
    EXPECT_NE(again.out.find("openquake/" + file + ": written by an earlier run, removed"),
              std::string::npos)
        << again.out;
  }
}

// With bootstrap_branches = 3 each branch becomes three models of a third of
// its weight, each zone's law that of one whole resample (b and Mmax of one
// row), the three ordered by their rate above the catalog's Xmax.
TEST(OpenQuakeFolder, BootstrapBranchesAreWholeResamples) {
  TempFolder folder;
  std::string job = qev::testing::ReadBytes(QEV_BATCH_DATA_DIR "/openquake_job.toml");
  const std::string base = QEV_BATCH_DATA_DIR;
  for (std::size_t at = 0; (at = job.find("\"../../../", at)) != std::string::npos;) {
    job.replace(at, 1, "\"" + base + "/");
    at += base.size() + 2;
  }
  job.replace(job.find("[openquake]\n"), 12, "[openquake]\nbootstrap_branches = 3\n");
  job.insert(0, "calibrated_intervals = 20\n");
  folder.Write("boot.toml", job);
  const auto run = folder.Run(std::string("'") + QEV_BATCH_BINARY + "' -o out boot.toml");
  ASSERT_LE(run.status, 2) << run.out;
  const Rows rows = ReadRows(folder, "out");
  const auto files = CheckLogicTree(folder, "out/openquake");
  std::map<std::string, double> branch_weight;
  for (const auto& [file, weight] : files) {
    const std::string branch =
        file.find("cramer") != std::string::npos ? "proc=cramer" : "proc=bayes";
    branch_weight[branch] += weight;
    std::map<std::string, std::string> regions;
    const auto laws = CheckModel(folder, "out/openquake/" + file, &regions);
    for (const auto& [zone, law] : laws) {
      bool whole = false;
      for (const auto& row : rows.results.at(zone + ";" + branch)) {
        if (row[2] == "0" || row[4] != "ok") continue;
        whole =
            whole ||
            (std::fabs(law.b - static_cast<double>(std::stof(row[10])) / std::log(10.0)) < 1e-12 &&
             static_cast<float>(law.max_mag) == std::stof(row[16]));
      }
      EXPECT_TRUE(whole) << file << " " << zone << ": not one resample's b and Mmax";
    }
  }
  // Three models per branch that kept all its zones; weights in proportion.
  for (const auto& entry : branch_weight) {
    const std::string name = entry.first.substr(5);
    EXPECT_EQ(std::count_if(files.begin(), files.end(),
                            [&](const auto& f) { return f.first.find(name) != std::string::npos; }),
              3);
  }
  if (branch_weight.size() == 2) {
    EXPECT_NEAR(branch_weight["proc=cramer"], 0.7, 1e-9);
  }

  ExpectRerunRemovesWhatItDoesNotWrite(folder, files);
}

TEST(OpenQuakeFolder, NumbersAreTheShortestThatReadBack) {
  const double values[] = {0.1, 1.0 / 3.0, 5.4, static_cast<double>(5.4f), 1e-300, 123456.789};
  for (double v : values) {
    const std::string text = ShortestReal(v);
    EXPECT_EQ(std::stod(text), v) << text;
    char longer[40];
    std::snprintf(longer, sizeof longer, "%.17g", v);
    EXPECT_LE(text.size(), std::string(longer).size());
  }
  EXPECT_EQ(ShortestReal(5.4), "5.4");
  EXPECT_EQ(ShortestReal(0.25), "0.25");
}

}  // namespace
}  // namespace qev
