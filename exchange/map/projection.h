#pragma once
// Degrees to page units: equirectangular, x scaled by the cosine of the view's
// middle latitude so that a country near 37 degrees is not stretched.

namespace korvel::map {

/// A view in degrees: west to east, south to north.
struct GeoBox {
  double west = 0, south = 0, east = 0, north = 0;
};

/// A place on the page, y downwards.
struct PagePoint {
  double x = 0, y = 0;
};

class Projection {
 public:
  /// Fits `view` into a box of at most `max_width` by `max_height` page units
  /// whose top left corner is at `left`, `top`.
  Projection(const GeoBox& view, double left, double top, double max_width, double max_height);

  PagePoint operator()(double lon, double lat) const {
    return {left_ + (lon - view_.west) * x_scale_, top_ + (view_.north - lat) * y_scale_};
  }
  const GeoBox& view() const { return view_; }
  double left() const { return left_; }
  double top() const { return top_; }
  double width() const { return (view_.east - view_.west) * x_scale_; }
  double height() const { return (view_.north - view_.south) * y_scale_; }
  /// Kilometres one page unit spans at the middle latitude.
  double KmPerUnit() const;

 private:
  GeoBox view_;
  double left_, top_;
  double x_scale_ = 1, y_scale_ = 1;
};

}  // namespace korvel::map
