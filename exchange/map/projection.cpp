#include "exchange/map/projection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "camdb/camera_rules.h"

namespace korvel::map {
namespace {

/// Kilometres per degree of latitude on a sphere of the Earth's mean radius.
constexpr double kKmPerDegree = kEarthRadiusMetres / 1000 * std::numbers::pi / 180.0;

}  // namespace

Projection::Projection(const GeoBox& view, double left, double top, double max_width,
                       double max_height)
    : view_(view), left_(left), top_(top) {
  const double mid = (view.south + view.north) / 2 * std::numbers::pi / 180;
  const double stretch = std::max(std::cos(mid), 0.05);
  const double wide = (view.east - view.west) * stretch, tall = view.north - view.south;
  y_scale_ = std::min(max_width / wide, max_height / tall);
  x_scale_ = y_scale_ * stretch;
}

double Projection::KmPerUnit() const {
  return kKmPerDegree / y_scale_;
}

}  // namespace korvel::map
