// GPX waypoints and KML Placemark points.

#include "exchange/import/readers.h"

namespace korvel {
namespace {

class XmlSource : public CameraSource {
 public:
  SourceOutcome Read(const std::string& path, std::uint32_t, CameraSink&,
                     std::string& failure) override {
    failure = path + ": GPX and KML are not read yet";
    return SourceOutcome::kMalformed;
  }
};

}  // namespace

std::unique_ptr<CameraSource> MakeXmlSource(bool) {
  return std::make_unique<XmlSource>();
}

}  // namespace korvel
