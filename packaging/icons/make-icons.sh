#!/bin/sh
# SPDX-License-Identifier: MIT
# Makes the hicolor PNG icons from the one SVG source, with rsvg-convert
# (Debian package librsvg2-bin). Run from this folder after changing the SVG,
# and commit the PNGs with it.
set -e
id=org.example.brimsel_tool
for s in 16 22 24 32 48 64 128 256; do
    mkdir -p "hicolor/${s}x${s}/apps"
    rsvg-convert -w "$s" -h "$s" "hicolor/scalable/apps/$id.svg" -o "hicolor/${s}x${s}/apps/$id.png"
done
