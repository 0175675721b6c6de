#!/usr/bin/env bash
# Starts the program from a build folder: start.sh BUILD_DIR [DATA_DIR]
#
# When the window program is not built, the database is prepared and
# checked with vantrell-db instead, in DATA_DIR or in the folder the
# program would use.
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
  echo "usage: $0 BUILD_DIR [DATA_DIR]" >&2
  exit 2
fi
bin="$1/bin"
data="${2:-}"

if [[ -x "$bin/vantrell" ]]; then
  if [[ -n "$data" ]]; then
    exec "$bin/vantrell" --data-dir "$data"
  fi
  exec "$bin/vantrell"
fi

db="$bin/vantrell-db"
if [[ ! -x "$db" ]]; then
  echo "$0: neither $bin/vantrell nor $db is built" >&2
  exit 1
fi
if [[ -z "$data" ]]; then
  data="$("$db" default-data-dir)"
fi
echo "The program window is not built; preparing the database in $data"
"$db" create "$data"
"$db" check "$data"
