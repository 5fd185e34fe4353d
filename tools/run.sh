#!/usr/bin/env bash
# Starts Lystrel2 from the build folder, with the bundled sample recording when no file is given.
set -euo pipefail
build=${1:-build}
file=${2:-}
here=$(cd "$(dirname "$0")/.." && pwd)
[ -n "$file" ] || file="$here/data/sample.ogg"

# No sound card (a server or a container): play silently rather than fail to start.
if [ -z "${SDL_AUDIODRIVER:-}" ] && [ ! -e /dev/snd ] && [ -z "${PULSE_SERVER:-}" ] &&
   [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ] && [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pipewire-0" ]; then
  echo "No sound device found: playing without sound."
  export SDL_AUDIODRIVER=dummy
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting on a virtual X display (xvfb-run); nothing will be visible."
  echo "Press Ctrl+C to stop it (it saves its settings as it closes)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$here/$build/lystrel2" "$file"
fi
exec "$here/$build/lystrel2" "$file"
