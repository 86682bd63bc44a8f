// The Windows build reads no OpenStreetMap XML (libosmium reads it with
// expat, which the cross build lacks): such a file is refused with the
// command that turns it into PBF, which this build reads.

#include <string>

#include "exchange/formats/osm_xml.h"

namespace korvel {
namespace {

// `path` without a compression suffix, then ".pbf"; quoted when it holds a space.
std::string PbfName(const std::string& path) {
  std::string name = path;
  for (const std::string_view suffix : {".gz", ".bz2"}) {
    if (name.ends_with(suffix)) name.resize(name.size() - suffix.size());
  }
  return name + ".pbf";
}

std::string Quoted(const std::string& path) {
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

void ReadOsmXmlPass(SourceFile& source, std::string_view head, const std::string& format,
                    osmium::osm_entity_bits::type, const OsmBufferHandler&) {
  // Other XML, such as GPX, is no OpenStreetMap file; compressed XML is
  // taken for OSM data.
  if (format == "osm" && head.find("<osm") == std::string_view::npos) {
    throw OsmSourceFailure{FileProblem(source.path(), std::string(kNotOsmFile))};
  }
  // Standard input has no name to give osmium.
  const std::string path = source.path() == "-" ? "cameras.osm" : source.path();
  throw OsmSourceFailure{
      FileProblem(source.path(),
                  "the Windows build reads OpenStreetMap PBF, not XML: convert the file, "
                  "e.g. osmium cat " +
                      Quoted(path) + " -o " + Quoted(PbfName(path)))};
}

}  // namespace korvel
