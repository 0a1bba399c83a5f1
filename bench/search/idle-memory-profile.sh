#!/usr/bin/env bash
# Where the launcher's idle resident memory goes with many applications
# installed. One run in a fresh private test session (as idle-rss-apps.sh):
# writes one .desktop file per line of the names file, starts
# `vantrel --background` under heaptrack, waits until the applications are
# indexed and written, lets it settle, then records
#   - VmRSS and the resident size of every mapping grouped as heap/anonymous,
#     libraries (file-backed, by library) and the rest (from /proc/PID/smaps);
#   - glibc's own view of its arenas (malloc_stats through gdb): bytes in use
#     against bytes taken from the system, and the resident size once
#     malloc_trim has given the free pages back;
# and stops the launcher with SIGKILL, so that heaptrack's "leaked" figures are
# what was allocated and not freed at that idle moment (its data file is
# written as the program runs). Prints the three reports and keeps the files
# in OUTPUT_DIR.
#   bench/search/idle-memory-profile.sh [-f NAMES] [-o OUTPUT_DIR] [BINARY]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
names="$root/../shared/data/names-10k.txt"
[ -f "$names" ] || names=/work/shared/data/names-10k.txt
output="$(pwd)/idle-memory-profile"
while getopts "f:o:" option; do
  case "$option" in
    f) names="$OPTARG" ;;
    o) output="$OPTARG" ;;
    *) echo "usage: $0 [-f NAMES] [-o OUTPUT_DIR] [BINARY]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
# shellcheck source=bench/search/apps-session.sh
. "$root/bench/search/apps-session.sh"
resolve_launcher_inputs "${1:-$root/build/bin/vantrel}" "$names"
for tool in heaptrack heaptrack_print gdb; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps installs it)" >&2; exit 2; }
done
if [ "${VANTREL_MEASURE_INNER:-}" != 1 ]; then
  mkdir -p "$output"
  output="$(cd "$output" && pwd)"
fi

inner() {
  set -euo pipefail
  local binary="$1" names="$2" out="$3"
  write_desktop_entries "$names"
  rm -f "$out"/heaptrack.*
  VANTREL_KEYRING=file heaptrack -o "$out/heaptrack.vantrel" "$binary" --background >"$out/heaptrack.out" 2>&1 &
  local wrapper=$!
  local pid=""
  local ok=0
  # heaptrack starts the launcher as its child; indexing under it is slower.
  for _ in $(seq 1 3000); do
    [ -n "$pid" ] || pid="$(pgrep -P "$wrapper" -x "$(basename "$binary" | cut -c1-15)" || true)"
    if [ -n "$pid" ] && applications_indexed; then
      ok=1
      break
    fi
    sleep 0.1
  done
  if [ "$ok" != 1 ]; then
    echo "the launcher did not index the applications in time" >&2
    kill "$wrapper" 2>/dev/null || true
    return 1
  fi
  # Let the start settle (deferred work, allocator trims) before reading.
  sleep 5
  grep -E '^(VmRSS|RssAnon|RssFile|RssShmem):' "/proc/$pid/status" > "$out/status.txt"
  cp "/proc/$pid/smaps" "$out/smaps.txt"
  # malloc_stats writes to the launcher's own stderr, which heaptrack.out holds.
  gdb -p "$pid" -batch -ex 'call (void) malloc_stats()' >/dev/null 2>&1 || true
  # What the allocator holds free: the resident size once it gives it back.
  gdb -p "$pid" -batch -ex 'call (int) malloc_trim(0)' >/dev/null 2>&1 || true
  grep -E '^(VmRSS|RssAnon|RssFile):' "/proc/$pid/status" | sed 's/^/after malloc_trim /' >> "$out/status.txt"
  kill -KILL "$pid"
  wait "$wrapper" 2>/dev/null || true
}

if [ "${VANTREL_MEASURE_INNER:-}" = 1 ]; then
  inner "$@"
  exit 0
fi

VANTREL_MEASURE_INNER=1 "$root/scripts/test-session" --run "$0" "$binary" "$names" "$output"

echo "== process"
cat "$output/status.txt"
echo "== resident kB by mapping (smaps)"
awk '
  /^[0-9a-f]+-[0-9a-f]+ / { name = (NF >= 6) ? $6 : "[anonymous]"; next }
  /^Rss:/ { rss[name] += $2 }
  END { for (n in rss) if (rss[n] >= 256) printf "%8d %s\n", rss[n], n }' "$output/smaps.txt" | sort -rn | head -30
echo "== glibc arenas (malloc_stats)"
grep -E "^Arena|^Total|system bytes|in use bytes" "$output/heaptrack.out" | paste - - - || true
echo "== heap live at the idle moment (heaptrack, leaked = not freed when stopped)"
data="$(ls "$output"/heaptrack.vantrel.* 2>/dev/null | head -1)"
[ -n "$data" ] && heaptrack_print -f "$data" --print-leaks 1 --print-peaks 0 --print-allocators 0 \
    --print-temporary 0 --disable-builtin-suppressions --peak-limit 30 2>/dev/null > "$output/heaptrack.txt"
# Each call site: its size, then the first frame of ours below the allocator.
awk '
  /^[0-9.]+[KMG]?B? leaked over [0-9]+ calls from$/ { if (site) print site; site = $0; found = 0; next }
  site && !found && /vantrel::/ && !/^ *(at|in) / { sub(/^ +/, ""); site = site "  " substr($0, 1, 110); found = 1 }
  END { if (site) print site }' "$output/heaptrack.txt" | head -25
tail -6 "$output/heaptrack.txt"
