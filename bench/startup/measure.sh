#!/usr/bin/env bash
# Start-up figures of the real launcher, each run in a fresh private test
# session (scripts/test-session: Xvfb, openbox, D-Bus, empty XDG folders):
#   - start to tray: the launcher's "Tray ready in N ms" (from process start)
#   - start to ready: "Launcher started in N ms" (database, window, hotkeys)
#   - hotkey to window: "Window shown in N ms" after `xdotool key alt+space`
#     (from the hotkey event reaching the launcher to the window being exposed),
#     several presses per run
#   - idle RSS: VmRSS of the launcher 5 s after its start, hidden again
# Prints min / median / max of each.
#   bench/startup/measure.sh [-n RUNS] [-p PRESSES] [BINARY]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
runs=5
presses=5
while getopts "n:p:" option; do
  case "$option" in
    n) runs="$OPTARG" ;;
    p) presses="$OPTARG" ;;
    *) echo "usage: $0 [-n RUNS] [-p PRESSES] [BINARY]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
binary="${1:-$root/build/bin/vantrel}"
[ -x "$binary" ] || { echo "no launcher at $binary (build it first, or pass its path)" >&2; exit 2; }
binary="$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")"

results="$(mktemp /tmp/vantrel-startup.XXXXXX)"
trap 'rm -f "$results"' EXIT

# One run, inside the session.
inner() {
  set -euo pipefail
  local binary="$1" presses="$2" out="$3"
  # openbox binds Alt+Space to its window menu: give it a configuration without it.
  mkdir -p "$XDG_CONFIG_HOME/openbox"
  perl -0pe 's{<keybind key="A-space">.*?</keybind>}{}s' /etc/xdg/openbox/rc.xml > "$XDG_CONFIG_HOME/openbox/rc.xml"
  openbox --reconfigure
  local log="$XDG_STATE_HOME/vantrel/vantrel.log"
  VANTREL_KEYRING=file "$binary" --background >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 1 600); do grep -q "Launcher started in" "$log" 2>/dev/null && break; sleep 0.05; done
  # Let the data sources load and the start settle before pressing keys.
  sleep 1
  for _ in $(seq 1 "$presses"); do
    local before
    before="$(grep -c "Window shown in" "$log" || true)"
    xdotool key alt+space
    for _ in $(seq 1 100); do
      [ "$(grep -c "Window shown in" "$log" || true)" -gt "$before" ] && break
      sleep 0.02
    done
    sleep 0.2
    xdotool key Escape
    sleep 0.3
  done
  sleep 5
  local rss
  rss="$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")"
  "$binary" quit >/dev/null 2>&1 || kill "$pid"
  wait "$pid" 2>/dev/null || true
  {
    sed -n 's/.*Tray ready in \([0-9-]*\) ms.*/tray \1/p' "$log"
    sed -n 's/.*Launcher started in \([0-9-]*\) ms.*/ready \1/p' "$log"
    sed -n 's/.*Window shown in \([0-9-]*\) ms.*/window \1/p' "$log"
    echo "rss $((rss / 1024))"
  } >> "$out"
}

if [ "${VANTREL_MEASURE_INNER:-}" = 1 ]; then
  inner "$@"
  exit 0
fi

for i in $(seq 1 "$runs"); do
  VANTREL_MEASURE_INNER=1 "$root/scripts/test-session" --run "$0" "$binary" "$presses" "$results" >/dev/null 2>&1 ||
    echo "run $i failed" >&2
done

summary() {
  local name="$1" label="$2" unit="$3" target="$4"
  local values
  values="$(awk -v n="$name" '$1 == n {print $2}' "$results" | sort -n)"
  local count
  count="$(printf '%s\n' "$values" | grep -c . || true)"
  if [ "$count" -eq 0 ]; then
    printf '%-18s no figures\n' "$label"
    return
  fi
  local min max median
  min="$(printf '%s\n' "$values" | head -1)"
  max="$(printf '%s\n' "$values" | tail -1)"
  median="$(printf '%s\n' "$values" | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : int((a[NR/2] + a[NR/2+1]) / 2)}')"
  printf '%-18s n=%-3s min=%s%s median=%s%s max=%s%s (target %s)\n' "$label" "$count" "$min" "$unit" "$median" "$unit" "$max" "$unit" "$target"
}

echo "launcher: $binary ($runs runs, $presses hotkey presses each)"
summary tray "start to tray" " ms" "< 300 ms"
summary ready "start to ready" " ms" "-"
summary window "hotkey to window" " ms" "< 50 ms"
summary rss "idle RSS" " MB" "< 80 MB"
