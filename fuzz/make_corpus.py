#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into fuzz/corpus/<target>/.

Tiny files, each a different path through its target: valid inputs in both
modes and the first faults. Run it again after changing an input layout.
"""
import pathlib
import shutil
import struct
import subprocess
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"
NO_FAILURE = b"\xff\xff"

HEAD = "V0000123456\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\n"
ROWS = "127.0\t37.5\t1\t60\t0\t90\n126.9876\t37.4321\t2\t80\t1\t180\n127.0\t37.5\t3\t30\t0\t0\n"
TEXTS = {
    "valid": HEAD + ROWS,
    "crlf_last_line_open": (HEAD + ROWS).replace("\n", "\r\n").rstrip("\r\n"),
    "empty_row": HEAD + ROWS + "\n" + ROWS,
    "five_fields": HEAD + "127.0\t37.5\t1\t60\t0\n",
    "short_version": "V0001\nX\tY\tTYPE\n",
    "bad_version_char": "V0000/23456\nX\tY\tTYPE\n",
    "no_type": "V0000123456\nX\tY\tSPEED\n",
    "nul_in_row": HEAD + "127.0\t37.5\t1\t60\t0\t90\x00junk\n",
    "odd_numbers": HEAD + " -1e3\t0x1.8p6\t256\t-1\t+7\t70000\nnan\tinf\t1\t2\t3\t4\n",
}


def write(target, name, data):
    folder = ROOT / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def parser_input(flags, line_count, fail_units, text):
    head = bytes([flags, line_count]) + (
        NO_FAILURE if fail_units is None else struct.pack("<H", fail_units))
    return head + text.encode("latin-1")


def cell_id(x, y):
    return (((y // 200) << 16) & 0xFFFFFFFF) | ((x // 200) & 0xFFFF)


def database(version, points):
    """The device database of `points` (x, y, type, speed, flag, angle)."""
    records = sorted(((cell_id(x, y), x, y, *rest) for x, y, *rest in points),
                     key=lambda p: (p[0], p[2], p[1]))
    cells = []
    for record in records:
        if cells and cells[-1][0] == record[0]:
            cells[-1][1] += 1
        else:
            cells.append([record[0], 1])
    out = struct.pack("<III", 200, max(len(cells) - 1, 0), len(records)) + version
    offset = 23 + 10 * len(cells)
    for cid, count in cells:
        out += struct.pack("<IHI", cid, count, offset)
        offset += 18 * count
    for cid, x, y, type_, speed, flag, angle in records:
        out += struct.pack("<IIIBBBHB", cid, x, y, type_, speed, flag, angle, 0)
    return out


def main():
    for name, text in TEXTS.items():
        line_count = text.count("\n") + 1
        write("fuzz_parser", name, parser_input(0, line_count, None, text))
        write("fuzz_roundtrip", name, b"\x00" + text.encode("latin-1"))
    write("fuzz_parser", "k93_valid", parser_input(1, 5, None, TEXTS["valid"]))
    write("fuzz_roundtrip", "k93_valid", b"\x01" + TEXTS["valid"].encode("latin-1"))
    # Rows repeated across reader chunks, reading failing past the first one.
    write("fuzz_parser", "stretched_read_fails", parser_input(2, 0, 0x4100, TEXTS["valid"]))
    write("fuzz_parser", "read_fails_at_once", parser_input(0, 5, 0, TEXTS["valid"]))

    for name, text in {
        "decimal": "126.9876", "hex": " -0x1.8p3", "overflow": "1e400",
        "underflow": "4.9e-325", "nan_payload": "nan(123)", "inf": "-INFINITY",
        "hex_prefix_only": "0x", "exponent_without_digits": "1e+",
        "atoi_overflow": "  +2147483648", "atoi_underflow": "-99999999999",
        "nul_inside": "12\x00" "34",
    }.items():
        write("fuzz_number", name, text.encode("latin-1"))

    version = b"V0000123456"
    write("fuzz_reader", "empty", database(version, []))
    write("fuzz_reader", "one_point", database(version, [(1270000, 375000, 1, 60, 0, 90)]))
    write("fuzz_reader", "two_cells_same_key", database(version, [
        (1270000, 375000, 1, 60, 0, 90), (1269876, 374321, 2, 80, 1, 180),
        (1270000, 375000, 3, 30, 0, 0), (0, 0, 0, 0, 0, 0)]))
    write("fuzz_reader", "truncated", database(version, [(1270000, 375000, 1, 60, 0, 90)])[:-1])

    for name, text in {
        "comma_quotes_bom": "\ufeffname,lat,lon,type,speed\n\"a, \"\"b\"\"\",37.5,127,1,60\n",
        "semicolon_decimal_comma": "lat;lon;maxspeed;heading\n37,5;127,25;30 mph;NNE\n",
        "tab_open_quote": "x\ty\tdirection\n127\t37\t\"90\n",
        "bad_rows": "lon,lat,type\n-127,37,1\n,37,1\n127,37,300\n0,0,1\n",
    }.items():
        write("fuzz_import_csv", name, text.encode("utf-8"))
    write("fuzz_import_csv", "cp949_header", b"\xc0\xa7\xb5\xb5,\xb0\xe6\xb5\xb5\n37.5,127\n")
    for name, (fmt, text) in {
        "geojson": (0, '{"type":"FeatureCollection","version":"V1.0 123456 x","features":['
                       '{"type":"Feature","geometry":{"type":"MultiPoint","coordinates":'
                       '[[127,37],[128,36]]},"properties":{"type":3,"speed":"50 mph",'
                       '"direction":"SW","sample":false}}]}'),
        "geojson_broken": (0, '{"type":"FeatureCollection","features":[{"type":'),
        "gpx": (1, '<gpx xmlns:k="urn:k"><metadata><name>V1.0 123456 x</name></metadata>'
                   '<wpt lat="37.5" lon="127"><extensions><k:speed>60</k:speed>'
                   '</extensions></wpt></gpx>'),
        "kml": (2, '<kml><Document><Placemark><ExtendedData><Data name="type"><value>2'
                   '</value></Data></ExtendedData><MultiGeometry><Point><coordinates>127,37 '
                   '128,36,0</coordinates></Point></MultiGeometry></Placemark></Document></kml>'),
    }.items():
        write("fuzz_import_doc", name, bytes([fmt]) + text.encode("utf-8"))
    write_osm_seeds()


OSM_CAMERA = ('<node id="{id}" lat="37.5" lon="127.0"><tag k="highway" v="speed_camera"/>'
              '<tag k="maxspeed" v="{speed}"/>{direction}</node>')
OSM_XML = {
    "osm_cameras": (ROOT.parent.parent / "tests" / "data" / "cameras.osm").read_text(),
    "osm_one_camera": '<osm version="0.6">' + OSM_CAMERA.format(
        id=1, speed="30 mph", direction='<tag k="direction" v="NNE"/>') + "</osm>",
    "osm_relation_first": '<osm version="0.6"><relation id="1"><member type="node" ref="2" '
        'role="device"/><member type="node" ref="3" role="from"/><tag k="type" '
        'v="enforcement"/></relation>' + OSM_CAMERA.format(id=2, speed="x", direction="")
        + '<node id="3" lat="37.5" lon="127.0"/></osm>',
    "osm_not_osm": '<?xml version="1.0"?><gpx version="1.1"></gpx>',
}


def write_osm_seeds():
    """OSM XML seeds, and the cameras' XML as PBF when osmium-tool is there."""
    for name, text in OSM_XML.items():
        write("fuzz_osm", name, text.encode())
    if shutil.which("osmium"):
        with tempfile.TemporaryDirectory() as scratch:
            pbf = pathlib.Path(scratch) / "cameras.osm.pbf"
            subprocess.run(["osmium", "cat", "--no-progress", "-o", str(pbf),
                            str(ROOT.parent.parent / "tests" / "data" / "cameras.osm")],
                           check=True)
            write("fuzz_osm", "osm_cameras_pbf", pbf.read_bytes())


if __name__ == "__main__":
    main()
