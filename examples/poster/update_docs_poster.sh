#!/bin/sh
# Draws docs/poster.png again, with the command the README's quick start
# shows: quillon-poster without options (the bundled sample, 1600 x 1000).
# It must be a build against the real Blend2D, the one production links
# (the test poster.docs_image holds every build's poster to this picture).
#
#   bash examples/poster/update_docs_poster.sh [BUILD_DIR]   (default: build)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$root/$build ;; esac
program=$build/examples/poster/quillon-poster
[ -x "$program" ] || { echo "update_docs_poster: no $program; build first" >&2; exit 1; }
if "$program" --version | grep -q "stand-in"; then
  echo "update_docs_poster: $program is built with the Blend2D stand-in; use a build with the real Blend2D" >&2
  exit 1
fi

# From the repository root, as the README runs it, but into a scratch folder
# so that an out/poster.png of the user's stays as it is.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/data"
for f in "$root"/data/countries_110m.*; do ln -s "$f" "$work/data/"; done
(cd "$work" && "$program")
cp "$work/out/poster.png" "$root/docs/poster.png"
echo "updated $root/docs/poster.png"
