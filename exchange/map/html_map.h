#pragma once
// The HTML map of korvel-cli map and diff --map: one self-contained page
// (Leaflet and Leaflet.markercluster compiled in, land as vectors, the
// cameras as data) that opens from disk with no network.

#include <iosfwd>
#include <optional>
#include <string>

#include "exchange/map/camera_map.h"

namespace korvel::map {

/// What the page takes beyond the cameras.
struct HtmlOptions {
  std::optional<GeoBox> bbox;  ///< the opening view; fitted to the cameras without it
  std::string tiles;           ///< a tile URL the browser loads when online; none when empty
  std::string attribution;     ///< the tile source's attribution, as text
};

/// Whether this build holds Leaflet, without which no page can be written.
bool HtmlMapAvailable();

/// Writes the whole page. Needs HtmlMapAvailable().
void WriteHtmlMap(const CameraMap& map, const HtmlOptions& options, std::ostream& out);

/// The attribution a tile source requires: OpenStreetMap's for its own
/// servers, else the URL's host.
std::string TileAttribution(const std::string& url);

}  // namespace korvel::map
