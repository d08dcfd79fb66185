#!/usr/bin/env bash
# Regenerates the shapefiles kept in the repository. Not run by CI: the
# outputs are committed. Needs npm, GDAL's ogr2ogr (Debian gdal-bin) and
# shapelib's command-line writers (Debian shapelib).
#
#   data/countries_110m.{shp,shx,dbf,prj}
#       Natural Earth 1:110m countries (public domain) from the npm package
#       world-atlas (ISC), TopoJSON turned into a polygon shapefile.
#   tests/shp/fixtures/shapelib_*.{shp,shx}
#       Small files written by shapelib's shpcreate/shpadd, read back by the
#       shapelib cross-check test.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- data/countries_110m ---------------------------------------------------
world_atlas=world-atlas@2.0.2
(cd "$work" && npm pack --silent "$world_atlas" >/dev/null && tar xzf world-atlas-*.tgz)
rm -f data/countries_110m.*
ogr2ogr -f "ESRI Shapefile" -nlt MULTIPOLYGON -a_srs EPSG:4326 \
  data/countries_110m.shp "$work/package/countries-110m.json" countries
rm -f data/countries_110m.cpg   # only .shp, .shx, .dbf and .prj are kept

# --- tests/shp/fixtures ----------------------------------------------------
fx=tests/shp/fixtures
rm -f "$fx"/shapelib_*
make() {  # make <name> <shpcreate type> then one shpadd argument list per line on stdin
  local name=$1 type=$2
  shpcreate "$fx/$name" $type
  while read -r args; do
    # shellcheck disable=SC2086
    shpadd "$fx/$name" $args
  done
}

# Two polygons, the first with a hole, the second of two rings; then a
# polygon without vertices.
make shapelib_polygon polygon <<'SHAPES'
0 0 0 10 10 10 10 0 0 0 + 2 2 8 2 8 8 2 8 2 2
20 20 20 25 25 25 20 20 + 30 30 30 31 31 31 30 30

SHAPES
make shapelib_arcz arcz <<'SHAPES'
-z 0 0 1 1 1 2 2 0 3 + 5 5 0 6 6 1
-z -1.5 2.25 7 3.125 -4.5 8
SHAPES
make shapelib_pointm pointm <<'SHAPES'
-m 1.5 -2.5 9
-m 180 -90 0
SHAPES
make shapelib_multipoint multipoint <<'SHAPES'
1 1 2 2 3 3
4 4
SHAPES
make shapelib_polygonm polygonm <<'SHAPES'
-m 0 0 1 0 1 2 1 1 3 0 0 4
SHAPES
rm -f "$fx"/shapelib_*.dbf
ls -l data/countries_110m.* "$fx"
