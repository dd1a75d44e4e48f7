#!/bin/sh
# Renders the PNG sizes of the icon from data/icons/korrin.svg; run after
# changing the SVG and commit the PNGs with it (needs librsvg2-bin).
set -eu
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" korrin.svg -o "korrin-$size.png"
done
