// The build found no Leaflet: the HTML map is refused.
#include "exchange/map/leaflet_assets.h"

namespace korvel::map {

const LeafletAssets* Leaflet() {
  return nullptr;
}

}  // namespace korvel::map
