#!/usr/bin/env bash
# Sets up, builds Orvane in Release, prepares a working folder with a
# database and starts Orvane there. Without a display it runs Orvane under
# Xvfb, saves a screenshot of the main window and says where it is.
#
# The working folder gets its own copy of the sample P3 projects, which the
# simulated P3 server serves (P3SIM_PROJECTS); a new database is filled with
# the sample project CLIN, so the grid shows activities at once. Sign in to
# P3 as PLANNER with the password SCHEDULE.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target orvane orvane-batch

work="$root/work"
mkdir -p "$work"
cd "$work"
fresh=0
if [ ! -d projects ]; then
  mkdir -p projects
  cp "$root"/samples/projects/* projects/
  fresh=1
fi
export P3SIM_PROJECTS="$work/projects"
if [ ! -f pdb.mdb ]; then
  "$build/tools/orvane-batch" makedb pdb.mdb
  fresh=1
fi
if [ "$fresh" = 1 ]; then
  "$build/tools/orvane-batch" import --p3-path "$P3SIM_PROJECTS" --project CLIN --user PLANNER --password SCHEDULE
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$build/src/shell/orvane"
fi

shot="$work/orvane-main-window.png"
echo "No display: running Orvane under Xvfb to take a screenshot."
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" &
  app=$!
  sleep 4
  import -window root "$2"
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
' _ "$build/src/shell/orvane" "$shot"
echo "Screenshot of the main window: $shot"
