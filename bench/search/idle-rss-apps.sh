#!/usr/bin/env bash
# Idle resident memory of the real launcher with many applications installed.
# Each run starts a fresh private test session (scripts/test-session: Xvfb,
# openbox, D-Bus, empty XDG folders), writes one .desktop file per line of the
# names file into $XDG_DATA_HOME/applications, starts `vantrel --background`,
# waits until the log says the data sources were indexed and written, lets it
# settle, and reads VmRSS. Prints every run and the median.
#   bench/search/idle-rss-apps.sh [-n RUNS] [-f NAMES] [BINARY]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
runs=3
names="$root/../shared/data/names-10k.txt"
[ -f "$names" ] || names=/work/shared/data/names-10k.txt
while getopts "n:f:" option; do
  case "$option" in
    n) runs="$OPTARG" ;;
    f) names="$OPTARG" ;;
    *) echo "usage: $0 [-n RUNS] [-f NAMES] [BINARY]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
# shellcheck source=bench/search/apps-session.sh
. "$root/bench/search/apps-session.sh"
resolve_launcher_inputs "${1:-$root/build/bin/vantrel}" "$names"

results="$(mktemp /tmp/vantrel-idle-rss.XXXXXX)"
trap 'rm -f "$results"' EXIT

inner() {
  set -euo pipefail
  local binary="$1" names="$2" out="$3"
  write_desktop_entries "$names"
  VANTREL_KEYRING=file "$binary" --background >/dev/null 2>&1 &
  local pid=$!
  # Wait (up to 120 s) for the applications to be written and indexed.
  local ok=0
  for _ in $(seq 1 1200); do
    if applications_indexed; then
      ok=1
      break
    fi
    sleep 0.1
  done
  if [ "$ok" = 1 ]; then
    # Let the start settle (deferred work, allocator trims) before reading.
    sleep 5
    local rss
    rss="$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")"
    local split
    split="$(awk '/^RssAnon:/ {a=$2} /^RssFile:/ {f=$2} END {printf "anon_kb %d file_kb %d", a, f}' "/proc/$pid/status")"
    local keys
    keys="$(sed -n 's/.*Indexed \([0-9]*\) keys.*/\1/p' "$XDG_STATE_HOME/vantrel/vantrel.log" | tail -1)"
    echo "rss_kb $rss keys $keys $split" >> "$out"
  fi
  "$binary" quit >/dev/null 2>&1 || kill "$pid"
  wait "$pid" 2>/dev/null || true
}

if [ "${VANTREL_MEASURE_INNER:-}" = 1 ]; then
  inner "$@"
  exit 0
fi

for i in $(seq 1 "$runs"); do
  VANTREL_MEASURE_INNER=1 "$root/scripts/test-session" --run "$0" "$binary" "$names" "$results" >/dev/null 2>&1 ||
    echo "run $i failed" >&2
done
cat "$results"
awk '{print $2}' "$results" | sort -n |
  awk '{a[NR]=$1} END {if (NR) printf "idle RSS with %s: median %d MB over %d runs (target 60 MB)\n", "'"$(wc -l < "$names")"' applications", a[int((NR+1)/2)] / 1024, NR; else print "no figures"}'
