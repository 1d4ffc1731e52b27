#!/bin/sh
# SPDX-License-Identifier: MIT
# Draws the window icon (an RGB LED ring) with ImageMagick. Run from this folder.
# The desktop icons are drawn from the same design in
# packaging/icons/hicolor/scalable/apps/org.example.brimsel_tool.svg.
set -e
tmp=$(mktemp -d)
convert -size 192x192 xc:none -fill '#1d2430' -draw 'roundrectangle 4,4 187,187 36,36' -fill '#ff453a' -draw "path 'M 96,96 L 101.2,22.2 A 74,74 0 0,1 162.5,128.4 Z'" -fill '#30d158' -draw "path 'M 96,96 L 157.3,137.4 A 74,74 0 0,1 34.7,137.4 Z'" -fill '#0a84ff' -draw "path 'M 96,96 L 29.5,128.4 A 74,74 0 0,1 90.8,22.2 Z'" -fill '#1d2430' -draw 'circle 96,96 96,50' -fill '#f5f5f7' -draw 'circle 96,96 96,74' "$tmp/big.png"
for s in 16 32 48; do convert "$tmp/big.png" -filter Lanczos -resize ${s}x${s} "$tmp/logo$s.png"; done
convert "$tmp/logo16.png" "$tmp/logo32.png" "$tmp/logo48.png" logo_app_48.ico
rm -r "$tmp"
