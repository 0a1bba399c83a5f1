#!/usr/bin/env bash
# The running launcher's wake-ups while nothing happens: context switches of
# all its threads over SECONDS (default 10), after it settled, with clipboard
# history on. Run inside the test session:
#   scripts/test-session --run bench/clipboard/idle-wakeups.sh [SECONDS] [BINARY]
set -euo pipefail
seconds="${1:-10}"
binary="${2:-$(cd "$(dirname "$0")/../.." && pwd)/build/bin/vantrel}"
export VANTREL_KEYRING=file
"$binary" --background >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do "$binary" status >/dev/null 2>&1 && break; sleep 0.1; done
sleep 5
switches() { cat /proc/"$pid"/task/*/status | awk '/ctxt_switches/ {s += $2} END {print s}'; }
before=$(switches)
sleep "$seconds"
after=$(switches)
echo "launcher wake-ups in ${seconds} s idle: $((after - before))"
grep -c "Clipboard history started" "${XDG_STATE_HOME}/vantrel/vantrel.log" | sed 's/^/clipboard history started: /'
