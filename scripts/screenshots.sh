#!/usr/bin/env bash
# Renders Torvane's window under a virtual X display (Xvfb) into build/screenshots/*.png: the
# home screen, a running scan of the demo backup, the report, every data-type screen with its
# existing and deleted records and the detail of a deleted one, a search, the photo page with
# only deleted photos, the export dialog and the reports of an export of everything, of the
# current tab and of the photo page's copy with a file in its way, the refusal of the backup
# folder as the export's location, the messages when no browser opens an address and when a
# link's address is a placeholder, the send-to-device wizard, the screens the demo backup leaves empty, the
# menu and every dialog, the stand-alone picture browser; a scan of one data type, a stopped
# scan, the calls screen's group list with an address chosen, and the window at its smallest
# size in English and German (home screen, a scan in progress, report, results, the scan bar,
# Qt's own file panels, dialogs with a focused button); a long chat's newest and next older block
# on the messages and WhatsApp tabs, and a fast scan's report and results. Builds the release
# configuration first.
#
#   SHOTS_BUILD_DIR  build folder (default build/release)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${SHOTS_BUILD_DIR:-$root/build/release}
out=$root/build/screenshots

bash "$root/scripts/setup.sh"
(cd "$root" && cmake --preset release -B "$build" >/dev/null)
cmake --build "$build" -j "$(nproc)" --target torvane-screenshots torvane-demo-backup

"$build/tools/torvane-demo-backup" "$build/demo-backup" >/dev/null
# A private home for the run: settings, caches and the time of use stay out of the user's own.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$out"
rm -f "$out"/*.png
XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache XDG_DATA_HOME=$home/data \
XDG_STATE_HOME=$home/state TORVANE_NO_ANALYTICS=1 QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x900x24" \
  "$build/src/ui/torvane-screenshots" "$build/demo-backup" "$out"
echo "Screenshots in $out"
