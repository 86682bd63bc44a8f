// The maps' writers under any title, file name and version text: the SVG map
// must be well-formed XML (expat reads it whole) and the HTML page's data
// element valid JSON that no text closes early, giving back the title as
// XmlSafe makes it.
//
// Input: the title, a NUL, the file name, a NUL, the version text (parts
// missing are empty).

#include <expat.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "exchange/export.h"
#include "exchange/map/html_map.h"
#include "exchange/map/svg_map.h"
#include "exchange/map/xml_text.h"
#include "fuzz/fuzz_check.h"

namespace korvel::fuzz {
namespace {

struct ParserFree {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

void CheckSvg(const std::string& svg) {
  const std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
  if (XML_Parse(parser.get(), svg.data(), static_cast<int>(svg.size()), 1) != XML_STATUS_OK) {
    Fail(std::string("SVG map not well-formed: ") +
         XML_ErrorString(XML_GetErrorCode(parser.get())) + " at line " +
         std::to_string(XML_GetCurrentLineNumber(parser.get())));
  }
}

void CheckHtml(const std::string& html, const std::string& title) {
  const std::string open = "<script type=\"application/json\" id=\"korvel-data\">";
  const std::size_t start = html.find(open);
  Require(start != std::string::npos, "HTML map without its data");
  const std::size_t end = html.find("</script>", start);
  const std::string data = html.substr(start + open.size(), end - start - open.size());
  Require(data.find('<') == std::string::npos, "a '<' in the HTML map's data");
  const auto json = nlohmann::json::parse(data, nullptr, false);
  Require(!json.is_discarded(), "the HTML map's data is no JSON");
  Require(json.value("title", std::string()) == map::XmlSafe(title),
          "the HTML map's title is not the title given");
}

}  // namespace

int FuzzMap(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = input.find('\0');
  const std::size_t second = first == std::string::npos ? first : input.find('\0', first + 1);
  const std::string title = input.substr(0, first);
  const std::string name =
      first == std::string::npos ? "" : input.substr(first + 1, second - first - 1);
  const std::string version = second == std::string::npos ? "" : input.substr(second + 1);

  DecodedDb db;
  GPS_POINT camera;
  camera.x = 1270000, camera.y = 375000, camera.type = 3, camera.flag = 1, camera.angle = 90;
  db.points = {camera, SamplePoint(0), SamplePoint(1)};
  map::CameraMap camera_map;
  map::LeftOut left_out;
  map::AddCameras(db, {}, camera_map, left_out);
  camera_map.title = title;
  camera_map.versions = {map::FileNameText(name) + ": version " + version};
  camera_map.inputs = {{name, version, version, camera_map.cameras.size()}};

  std::ostringstream svg;
  map::DrawCameraMap(camera_map, std::nullopt, svg);
  CheckSvg(svg.str());
  if (map::HtmlMapAvailable()) {
    std::ostringstream html;
    map::WriteHtmlMap(camera_map, {std::nullopt, name, version}, html);
    CheckHtml(html.str(), title);
  }
  return 0;
}

}  // namespace korvel::fuzz

KORVEL_FUZZ_ENTRY(FuzzMap)
