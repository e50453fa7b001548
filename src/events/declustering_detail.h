// Shared machinery of the declustering methods: the grid of cells that finds
// the events near a point within a time span, and the result built from each
// row's mainshock.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <vector>

#include "qev/declustering.h"

namespace qev::declustering_detail {

inline constexpr double kEarthRadiusKm = 6371.0;
inline constexpr double kDegree = 3.14159265358979323846 / 180.0;
inline constexpr double kKmPerDegree = kEarthRadiusKm * kDegree;

// The day number of every event.
std::vector<double> DaysOf(const EventTable& events);

// The result from each row's mainshock (a row that is its own mainshock is
// one): mainshocks in time order, each with the rows it claimed.
DeclusterResult Finish(const std::vector<double>& days, std::vector<std::size_t>&& mainshock_of);

// The events of a grid of cells, each cell's events in time order.
class Grid {
 public:
  // Cells of about `largest_km` (at least kSmallestCell degrees).
  Grid(const EventTable& events, const std::vector<double>& days, double largest_km);

  // Calls visit(row) for every event in the cells within `km` of the point
  // whose time lies in [t_first, t_last].
  template <typename Visit>
  void ForEachNear(double longitude, double latitude, double km, double t_first, double t_last,
                   Visit&& visit) const {
    const double dlat = km / kKmPerDegree;
    const std::size_t row_first = Row(latitude - dlat);
    const std::size_t row_last = Row(latitude + dlat);
    // Width in longitude of the window at the latitude farthest from the equator.
    const double far = std::min(90.0, std::fabs(latitude) + dlat);
    const double cosine = std::cos(far * kDegree);
    const bool all_columns = far >= 89.999 || dlat / cosine >= 180.0 - cell_;
    const double dlon = all_columns ? 180.0 : dlat / cosine;
    const std::size_t span =
        all_columns
            ? columns_
            : std::min(columns_, static_cast<std::size_t>(std::ceil(2.0 * dlon / cell_)) + 2);
    const std::size_t column_first = all_columns ? 0 : Column(longitude - dlon);
    for (std::size_t r = row_first; r <= row_last; ++r) {
      for (std::size_t k = 0; k < span; ++k) {
        const std::size_t cell = r * columns_ + (column_first + k) % columns_;
        const auto begin = member_days_.begin() + static_cast<std::ptrdiff_t>(start_[cell]);
        const auto end = member_days_.begin() + static_cast<std::ptrdiff_t>(start_[cell + 1]);
        for (auto it = std::lower_bound(begin, end, t_first); it != end && *it <= t_last; ++it) {
          visit(members_[static_cast<std::size_t>(it - member_days_.begin())]);
        }
      }
    }
  }

 private:
  std::size_t Row(double latitude) const;
  std::size_t Column(double longitude) const;

  double cell_ = 1.0;
  std::size_t rows_ = 0;
  std::size_t columns_ = 0;
  std::vector<std::size_t> start_;
  std::vector<std::size_t> members_;
  std::vector<double> member_days_;
};

// The methods behind the table.
DeclusterResult WindowDecluster(const EventTable& events, const DeclusterOptions& options);
DeclusterResult WindowDeclusterAllPairs(const EventTable& events, const DeclusterOptions& options);
DeclusterResult ReasenbergDecluster(const EventTable& events, const DeclusterOptions& options);
DeclusterResult ReasenbergDeclusterAllPairs(const EventTable& events,
                                            const DeclusterOptions& options);

}  // namespace qev::declustering_detail
