#!/usr/bin/env bash
# Renders a recording (the bundled sample by default) the way the player would sound it.
set -euo pipefail
build=${1:-build}
file=${2:-}
here=$(cd "$(dirname "$0")/.." && pwd)
[ -n "$file" ] || file="$here/data/sample.ogg"
out="$here/$build/rendered.wav"
"$here/$build/lyt2-render" "$file" "$out"
echo "Rendered $file to $out"
