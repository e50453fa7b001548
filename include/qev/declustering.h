// Declustering: the methods by name, their parameters and one entry point.
//
// Every method is one row of DeclusterMethods() (an enum value, its name and
// aliases, a one-line description and the library function that runs it); the
// command-line options, job files, Python keywords and batch branch keys all
// take their names from that table, and Decluster() dispatches through it.
// docs/api.md ("Adding a method") shows how a method is added.
//
// Window methods (Gardner and Knopoff 1974 and the later tables): events taken
// from the largest magnitude down; each event not yet claimed is a mainshock
// and claims every unclaimed event within its distance window (great-circle
// distance on a sphere of radius 6371 km) and its time window: up to T days
// after it, and up to foreshock_fraction * T days before it.
//
// Reasenberg (1985) cluster linking: events taken in time order; each links
// the later events of its look-ahead time inside its interaction zone (and
// inside that of its cluster's largest event) into its cluster, clusters
// joined transitively; each cluster is replaced by its largest event. The
// formulas are in docs/method.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "qev/events.h"

namespace qev {

enum class DeclusterMethod {
  GardnerKnopoff1974,  // L = 10^(0.1238 M + 0.983) km, T = 10^(0.032 M + 2.7389) d (M >= 6.5),
                       // else 10^(0.5409 M - 0.547) d
  Uhrhammer1986,       // L = e^(-1.024 + 0.804 M) km, T = e^(-2.87 + 1.235 M) d
  Gruenthal,           // L = e^(1.77 + sqrt(0.037 + 1.02 M)) km,
              // T = e^(-3.95 + sqrt(0.62 + 17.32 M)) d (M < 6.5), else 10^(2.8 + 0.024 M) d
  Reasenberg1985,  // cluster linking (interaction zone, Omori look-ahead time)
};
// The name the window tables had before there were other methods.
using DeclusterWindow = DeclusterMethod;

// Reasenberg (1985), with the published defaults: look-ahead time from
// tau_min to tau_max days, p1 the probability of seeing the cluster's next
// event within the look-ahead time, xk the share of the cluster's largest
// magnitude by which the effective cut-off rises within a cluster, xmeff the
// effective lower magnitude cut-off of the catalog, rfact the interaction
// zone in source radii, crust_km the longest interaction distance (one
// crustal thickness).
struct ReasenbergParameters {
  double tau_min_days = 1.0;
  double tau_max_days = 10.0;
  double p1 = 0.99;
  double xk = 0.5;
  // None: DeclusterOptions::completeness_magnitude, else the lowest magnitude
  // of the table.
  std::optional<double> xmeff;
  double rfact = 10.0;
  double crust_km = 30.0;
};

struct DeclusterOptions {
  DeclusterOptions() = default;
  explicit DeclusterOptions(DeclusterMethod m) : method(m) {}
  // {method, fraction}, as the window methods were written before.
  DeclusterOptions(DeclusterMethod m, double fraction) : method(m), foreshock_fraction(fraction) {}

  DeclusterMethod method = DeclusterMethod::GardnerKnopoff1974;
  double foreshock_fraction = 0.0;  // window methods: 0..1 of the aftershock window
  ReasenbergParameters reasenberg;
  // The catalog's completeness magnitude where the caller knows it (the
  // lowest threshold of the completeness table): the default xmeff.
  std::optional<double> completeness_magnitude;
};

struct DeclusterResult {
  std::vector<std::size_t> mainshocks;    // rows of the table, in time order
  std::vector<std::size_t> removed;       // per mainshock: events it claimed besides itself
  std::vector<std::size_t> mainshock_of;  // per row: the row of the mainshock that claimed it
  std::size_t removed_total() const;
};

// ---------------------------------------------------------------- the method table

using DeclusterFunction = DeclusterResult (*)(const EventTable&, const DeclusterOptions&);

struct DeclusterMethodInfo {
  DeclusterMethod method;
  std::string_view name;         // in options, job files, Python and branch keys
  std::string_view aliases;      // other names accepted, separated by blanks
  std::string_view description;  // one line
  DeclusterFunction run;         // the indexed search
  DeclusterFunction all_pairs;   // the same by comparing every pair (reference)
};

// Every method, in the order of the enum.
std::span<const DeclusterMethodInfo> DeclusterMethods();
const DeclusterMethodInfo& DeclusterMethodOf(DeclusterMethod method);
// By name or alias, blanks around and case ignored; none for an unknown name.
std::optional<DeclusterMethod> FindDeclusterMethod(std::string_view name);
// The same, throwing ReadingError naming `what` and listing the names.
DeclusterMethod ParseDeclusterMethod(std::string_view name, const std::string& what);
// The names joined for messages and usage lines: "gk, uhrhammer, ... or reasenberg"
// with `last` before the last name ("|" joins them all: "gk|uhrhammer|...").
std::string DeclusterMethodNames(std::string_view last = " or ");

// A numeric parameter of the methods, set by key in job files (the
// [decluster] table), command lines (KEY=VALUE) and Python keywords.
struct DeclusterParameterInfo {
  std::string_view key;
  std::string_view methods;      // which methods read it (for the help)
  std::string_view description;  // one line, with the unit and the default
  double low;                    // the range accepted
  double high;
  void (*set)(DeclusterOptions&, double);
  std::optional<double> (*get)(const DeclusterOptions&);  // none: not set (xmeff)
};
std::span<const DeclusterParameterInfo> DeclusterParameters();
// Sets a parameter by key; throws ReadingError naming `what` for an unknown
// key (listing the keys) or a value outside the parameter's range.
void SetDeclusterParameter(DeclusterOptions& options, std::string_view key, double value,
                           const std::string& what);

// Throws Error when a parameter lies outside its range.
void Validate(const DeclusterOptions& options);

// ---------------------------------------------------------------- running

// The method of options.method. The window methods sort the events by time in
// cells of a latitude-longitude grid; each mainshock searches only the cells
// its distance window reaches and, within them, only the events of its time
// window. Throws Error for parameters outside their ranges.
DeclusterResult Decluster(const EventTable& events, const DeclusterOptions& options);

// The same result by comparing each event with every event (reference for
// tests and benchmarks; time grows with the square of the events).
DeclusterResult DeclusterAllPairs(const EventTable& events, const DeclusterOptions& options);

// The window methods' distance (km) and time (days) windows at a magnitude.
// Throws Error for a method that is not a window table.
struct WindowSize {
  double distance_km = 0.0;
  double days = 0.0;
};
WindowSize WindowOf(DeclusterMethod window, double magnitude);

// Reasenberg (1985): the source radius of a circular crack of magnitude M,
// 0.011 * 10^(0.4 M) km (Kanamori and Anderson 1975, 30 bar stress drop).
double ReasenbergSourceRadiusKm(double magnitude);
// The look-ahead time in days of an event `days_after_largest` days after its
// cluster's largest event of magnitude `largest`:
// tau = -ln(1 - p1) t / 10^(2 (dM - 1) / 3), dM = (1 - xk) largest - xmeff,
// within tau_min..tau_max.
double ReasenbergLookAheadDays(const ReasenbergParameters& p, double xmeff, double largest,
                               double days_after_largest);

// Great-circle distance in km between two points given in degrees.
double DistanceKm(double longitude1, double latitude1, double longitude2, double latitude2);

}  // namespace qev
