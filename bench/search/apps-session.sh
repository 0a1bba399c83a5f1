# Shared by the scripts that measure the launcher with many applications
# installed (sourced, not run).

# Checks the launcher binary and the names file and makes both paths absolute
# (the measuring part runs from another folder inside the test session).
# Sets $binary and $names.
resolve_launcher_inputs() {
  binary="$1"
  names="$2"
  [ -x "$binary" ] || { echo "no launcher at $binary (build it first, or pass its path)" >&2; exit 2; }
  [ -f "$names" ] || { echo "no names file at $names" >&2; exit 2; }
  binary="$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")"
  names="$(cd "$(dirname "$names")" && pwd)/$(basename "$names")"
}

# Writes one .desktop file per line of the names file into
# $XDG_DATA_HOME/applications.
write_desktop_entries() {
  local apps="$XDG_DATA_HOME/applications"
  mkdir -p "$apps"
  awk -v dir="$apps" '{
      file = sprintf("%s/bench-%05d.desktop", dir, NR)
      printf "[Desktop Entry]\nType=Application\nName=%s\nExec=true\n", $0 > file
      close(file)
    }' "$1"
}

# Whether the launcher's log says the applications were indexed and written
# (the index logs "Indexed N keys" just before the loader reports the write).
applications_indexed() {
  local log="$XDG_STATE_HOME/vantrel/vantrel.log"
  grep -q "Data source(s) updated" "$log" 2>/dev/null && grep -q "Indexed [0-9]* keys" "$log"
}
