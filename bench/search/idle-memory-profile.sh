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
binary="${1:-$root/build/bin/vantrel}"
[ -x "$binary" ] || { echo "no launcher at $binary (build it first, or pass its path)" >&2; exit 2; }
[ -f "$names" ] || { echo "no names file at $names" >&2; exit 2; }
for tool in heaptrack heaptrack_print gdb; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps installs it)" >&2; exit 2; }
done
binary="$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")"
names="$(cd "$(dirname "$names")" && pwd)/$(basename "$names")"
mkdir -p "$output"
output="$(cd "$output" && pwd)"

inner() {
  set -euo pipefail
  local binary="$1" names="$2" out="$3"
  local apps="$XDG_DATA_HOME/applications"
  mkdir -p "$apps"
  awk -v dir="$apps" '{
      file = sprintf("%s/bench-%05d.desktop", dir, NR)
      printf "[Desktop Entry]\nType=Application\nName=%s\nExec=true\n", $0 > file
      close(file)
    }' "$names"
  local log="$XDG_STATE_HOME/vantrel/vantrel.log"
  rm -f "$out"/heaptrack.*
  VANTREL_KEYRING=file heaptrack -o "$out/heaptrack.vantrel" "$binary" --background >"$out/heaptrack.out" 2>&1 &
  local wrapper=$!
  local pid=""
  local ok=0
  # heaptrack starts the launcher as its child; indexing under it is slower.
  for _ in $(seq 1 3000); do
    [ -n "$pid" ] || pid="$(pgrep -P "$wrapper" -x "$(basename "$binary" | cut -c1-15)" || true)"
    if [ -n "$pid" ] && grep -q "Data source(s) updated" "$log" 2>/dev/null && grep -q "Indexed [0-9]* keys" "$log"; then
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
sed -n '/MOST MEMORY LEAKED/,$p' "$output/heaptrack.txt" | grep -E "^[0-9.]+[KMG]?B? leaked|leaked over|^total" | head -40
tail -8 "$output/heaptrack.txt"
