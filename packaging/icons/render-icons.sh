#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Renders quillon.svg into the hicolor PNG sizes that are installed and packaged.
# Run after changing the SVG, and commit the PNGs (needs rsvg-convert from librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio --format png \
    --output "hicolor/${size}x${size}/apps/quillon.png" quillon.svg
done
