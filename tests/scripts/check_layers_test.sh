#!/usr/bin/env bash
# scripts/check-layers on small trees of its own, each a real git checkout:
# a tree that keeps to the rooms passes; a forbidden include in an engine room,
# in a feature or in the UI toolkit fails and is named by file and line; files
# git ignores are not read, untracked ones are.
#   tests/scripts/check_layers_test.sh [path/to/check-layers]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
check="${1:-$here/../../scripts/check-layers}"

work="$(mktemp -d /tmp/vantrel-check-layers.XXXXXX)"
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# write PATH LINE… : a source file of the tree, one include (or line) per argument.
write() {
  local path="$work/tree/$1"; shift
  mkdir -p "$(dirname "$path")"
  printf '%s\n' "$@" > "$path"
}

# run: check-layers on the tree; sets $output and $status.
run() {
  status=0
  output="$("$check" "$work/tree" 2>&1)" || status=$?
}

expect_line() {
  grep -qF -- "$1" <<< "$output" || fail "the output does not name '$1':"$'\n'"$output"
}

expect_no_line() {
  if grep -qF -- "$1" <<< "$output"; then fail "the output names '$1':"$'\n'"$output"; fi
}

# A tree that keeps to the rules, every room of it used the way it may be.
mkdir -p "$work/tree"
git -C "$work/tree" init -q
write src/kit/Logger.h '#pragma once' '#include <QString>'
write src/kit/Logger.cpp '#include "kit/Logger.h"' '#include "Logger.h"'
write src/rax/rax.cpp '#include "rax/rax.h"'
write src/rax/rax.h '#pragma once' '#include <cstddef>'
write src/data/Database.cpp '#include "data/Database.h"' '#include "kit/Logger.h"' '#include <sqlite3.h>'
write src/data/Database.h '#pragma once'
write src/search/Search.cpp '#include "search/Search.h"' '#include "data/Database.h"' '#include "rax/rax.h"'
write src/search/Search.h '#pragma once' '#include "kit/Logger.h"'
write src/platform/DesktopServices.h '#pragma once' '#include "search/Search.h"'
write src/platform/x11/X11Hotkeys.cpp '#include "platform/DesktopServices.h"' '#include <xcb/xcb.h>' '#include <X11/keysym.h>'
write src/platform/x11/X11Hotkeys.h '#pragma once'
write src/platform/freedesktop/Apps.cpp '#include "platform/x11/X11Hotkeys.h"' '#include <gio/gio.h>' '#include <QDBusConnection>'
write src/platform/qalculate/Calculator.cpp '#include <libqalculate/qalculate.h>'
write src/core/commands/CommandModel.h '#pragma once' '#include "platform/DesktopServices.h"'
write src/core/rootsearch/RootSearch.cpp '#include "core/commands/CommandModel.h"'
write src/features/clipboard/ClipboardApi.h '#pragma once'
write src/features/clipboard/ClipboardStore.h '#pragma once'
write src/features/scripts/Runner.cpp \
  '#include "features/scripts/Runner.h"' \
  '#include "features/clipboard/ClipboardApi.h"' \
  '#include "core/rootsearch/RootSearch.h"' \
  '#include "ui/toolkit/View.h"'
write src/features/scripts/Runner.h '#pragma once'
write src/features/scripts/ui/OutputView.cpp '#include "features/scripts/Runner.h"'
write src/ui/toolkit/View.h '#pragma once' '#include "core/commands/CommandModel.h"'
write src/ui/window/MainWindow.cpp '#include "ui/toolkit/View.h"' '#include "features/scripts/Runner.h"'
write src/main/vantrel/main.cpp \
  '#include "ui/window/MainWindow.h"' \
  '#include "platform/x11/X11Hotkeys.h"' \
  '#include "platform/freedesktop/Apps.h"' \
  '#include "platform/qalculate/Calculator.h"' \
  '#include <xcb/xcb.h>'
# Most of it tracked, the feature left untracked: both are read.
git -C "$work/tree" add src/kit src/rax src/data src/search src/platform src/core src/ui src/main

run
[ "$status" -eq 0 ] || fail "a tree that keeps to the rooms failed (exit $status):"$'\n'"$output"
expect_line "check-layers:"
[ "$(wc -l <<< "$output")" -eq 1 ] || fail "a passing run prints more than its summary:"$'\n'"$output"

# An engine room reaching up, and a feature reaching into another one's files.
write src/search/Search.cpp '#include "search/Search.h"' '#include "data/Database.h"' \
  '#include "core/commands/CommandModel.h"'
write src/features/scripts/Runner.cpp \
  '#include "features/scripts/Runner.h"' \
  '#include "features/clipboard/ClipboardStore.h"' \
  '#include "core/rootsearch/RootSearch.h"' \
  '#include "ui/toolkit/View.h"'

run
[ "$status" -eq 1 ] || fail "forbidden includes did not fail the check (exit $status):"$'\n'"$output"
expect_line "src/search/Search.cpp:3: includes core/commands/CommandModel.h"
expect_line "src/features/scripts/Runner.cpp:2: includes features/clipboard/ClipboardStore.h"
expect_no_line "src/search/Search.cpp:2:"
expect_no_line "src/features/scripts/Runner.cpp:3:"
expect_no_line "src/main/"
expect_line "check-layers: 2 forbidden include(s) in 2 file(s)"

# Desktop headers and platform implementations above the platform; a file git
# ignores is not read.
write src/search/Search.cpp '#include "search/Search.h"'
write src/features/scripts/Runner.cpp '#include "features/scripts/Runner.h"'
write src/ui/toolkit/Toast.cpp '#include "ui/toolkit/View.h"' '' '#include <xcb/xcb.h>'
write src/core/shell/Startup.cpp '#include "kit/Logger.h"' '#include "platform/freedesktop/Apps.h"' \
  '#include "features/scripts/Runner.h"'
write src/kit/Paths.cpp '#include "kit/Logger.h"' '#include <gio/gio.h>' '#include "data/Database.h"'
printf 'src/generated/\n' > "$work/tree/.gitignore"
write src/generated/Ignored.cpp '#include <xcb/xcb.h>'

run
[ "$status" -eq 1 ] || fail "desktop headers above the platform did not fail the check (exit $status):"$'\n'"$output"
expect_line "src/ui/toolkit/Toast.cpp:3: includes <xcb/xcb.h>"
expect_line "src/core/shell/Startup.cpp:2: includes platform/freedesktop/Apps.h"
expect_line "src/core/shell/Startup.cpp:3: includes features/scripts/Runner.h"
expect_line "src/kit/Paths.cpp:2: includes <gio/gio.h>"
expect_line "src/kit/Paths.cpp:3: includes data/Database.h"
expect_no_line "src/generated/"
expect_no_line "src/platform/"

# Mended, the tree passes again.
rm "$work/tree/src/ui/toolkit/Toast.cpp" "$work/tree/src/core/shell/Startup.cpp" "$work/tree/src/kit/Paths.cpp"
run
[ "$status" -eq 0 ] || fail "the mended tree still fails (exit $status):"$'\n'"$output"

if [ "$failures" -gt 0 ]; then
  echo "check_layers_test: $failures failure(s)"
  exit 1
fi
echo "check_layers_test: passed"
