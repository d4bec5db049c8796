#!/usr/bin/env bash
# Takes docs/window.png: the real update program under Xvfb after a finished first-phase run,
# with the details log open. Usage: scripts/window-screenshot.sh [build-dir]
set -euo pipefail

src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$src/build-app}" && pwd)"
work="$(mktemp -d)"
trap 'kill $server_pid 2>/dev/null || true; rm -rf "$work"' EXIT

mkdir -p "$work/install" "$work/config" "$work/home" "$work/tmp" "$work/www"
cp "$build/src/update" "$work/install/update"
protoc --encode=com.morvane.update.Versions -I "$src/deps/updateserver_client" UpdateMessage.proto \
  > "$work/www/mv3-client-2" <<'MSG'
licenseAgreementId: 3
channels { name: "stable" version_number: 310 version_string: "3.1.0" }
channels { name: "beta" version_number: 311 version_string: "3.1.1 beta" }
MSG
"$build/tests/support/testhttpserver" --port 18380 --root "$work/www" > "$work/server.out" &
server_pid=$!
sleep 1

# The pilot opens the details log and keeps the window up after the run; then the screen is taken.
export QT_QPA_GENERIC_PLUGINS=dialogpilot QT_PLUGIN_PATH="$build/tests/src/dialogpilot/plugins"
export MV3_CONFIG_DIR="$work/config" HOME="$work/home" TMPDIR="$work/tmp" LANG=C
mkfifo "$work/commands"
cat > "$work/run.sh" <<RUN
"$work/install/update" < "$work/commands" > /dev/null &
exec 3> "$work/commands"
echo hold-close >&3
echo "click detailsButton" >&3
sleep 4
import -window root "$work/screen.png"
kill \$! || true
RUN
xvfb-run -a -s "-screen 0 800x500x24" sh "$work/run.sh"
convert "$work/screen.png" -trim +repage "$src/docs/window.png"
echo "wrote $src/docs/window.png"
