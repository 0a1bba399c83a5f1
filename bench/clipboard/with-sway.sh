#!/usr/bin/env bash
# Runs a command with WAYLAND_DISPLAY pointing at a headless sway (which
# offers zwlr_data_control_manager_v1). sway refuses to run as root, so under
# root it runs as "nobody". Example, inside the test session:
#   scripts/test-session --run bench/clipboard/with-sway.sh build/bench/vantrel_clipboard_bench
set -euo pipefail
runtime="$(mktemp -d)"
printf 'output HEADLESS-1 resolution 640x480\nxwayland disable\n' > "$runtime/config"
as=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R 65534:65534 "$runtime"
  as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
env -u WAYLAND_DISPLAY -u DISPLAY XDG_RUNTIME_DIR="$runtime" HOME="$runtime" WLR_BACKENDS=headless \
  WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman "${as[@]}" sway -c "$runtime/config" > "$runtime/sway.log" 2>&1 &
sway_pid=$!
trap 'kill $sway_pid 2>/dev/null; wait $sway_pid 2>/dev/null; rm -rf "$runtime"' EXIT
for _ in $(seq 1 150); do
  socket="$(find "$runtime" -maxdepth 1 -type s -name 'wayland-*' | head -n1)"
  [ -n "$socket" ] && break
  sleep 0.1
done
[ -n "${socket:-}" ] || { echo "with-sway: sway did not start" >&2; cat "$runtime/sway.log" >&2; exit 1; }
WAYLAND_DISPLAY="$socket" "$@"
