#pragma once
// Leaflet and Leaflet.markercluster as Debian ships them (libjs-leaflet,
// libjs-leaflet.markercluster), compiled in at build time for the HTML map.

#include <string_view>

namespace korvel::map {

struct LeafletAssets {
  std::string_view script;          ///< leaflet.min.js
  std::string_view cluster_script;  ///< leaflet.markercluster.min.js
  std::string_view style;           ///< their style sheets, no image references left
};

/// The compiled-in files; nullptr in a build made without the packages.
const LeafletAssets* Leaflet();

}  // namespace korvel::map
