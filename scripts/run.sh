#!/usr/bin/env bash
# Installs whatever Debian packages are missing, builds Torvane's release configuration and
# writes the demo backup (a generated iOS 9 backup with existing and deleted records of every
# data type). With a display (DISPLAY or WAYLAND_DISPLAY set) it opens the Torvane window on
# the demo backup; without one it scans the backup with the headless front end and exports
# everything it finds.
#
#   RUN_BUILD_DIR  build folder (default build/release, the preset's)
#
# The backup is written to $RUN_BUILD_DIR/demo-backup, the headless export to
# $RUN_BUILD_DIR/demo-export.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${RUN_BUILD_DIR:-$root/build/release}

bash "$root/scripts/setup.sh"

(cd "$root" && cmake --preset release -B "$build" >/dev/null)
cmake --build "$build" -j "$(nproc)"

"$build/tools/torvane-demo-backup" "$build/demo-backup"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/src/ui/torvane" "$build/demo-backup"
fi
"$build/src/app/torvane-scan" "$build/demo-backup" --export "$build/demo-export"
