#!/usr/bin/env bash
# Makes the pictures of the user's guide (docs/guide/images) again: builds
# Orvane, prepares a working folder with the sample projects and drives the
# windows under Xvfb with xdotool, taking each picture with ImageMagick. Run
# it whenever the windows change, look at the pictures, and commit them.
#
#   scripts/guide-screenshots.sh [OUTPUT_FOLDER]
#
# BUILD names the build folder (default build/release, as scripts/run.sh
# uses). Last, it chooses Help and saves a picture of the whole screen with
# the guide in the browser as work/help-in-browser.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--session" ]; then
  # Runs inside Xvfb: $2 the program, $3 the output folder, $4 the folder
  # for the picture of Help.
  orvane=$2 out=$3 helpshot=$4
  wait_for() {   # a visible window whose name matches $1
    local id
    for _ in $(seq 1 100); do
      id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
      [ -n "$id" ] && { echo "$id"; return 0; }
      sleep 0.2
    done
    echo "no window '$1' appeared" >&2
    return 1
  }
  click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep "${4:-0.5}"; }
  retype() { xdotool mousemove --window "$1" "$2" "$3" click 1 key ctrl+a type "$4"; }
  shot() { sleep 0.5; import -window "$1" "$out/$2.png"; echo "  $2.png"; }

  "$orvane" >/dev/null 2>&1 &
  app=$!
  trap 'kill $app 2>/dev/null || true' EXIT
  main=$(wait_for '^Orvane$')
  sleep 2
  # The coordinates below are relative to each window and follow its
  # layout (Fusion style, DejaVu fonts); adjust them when a window changes.

  # Import CLIN from the window: sign in, choose the project, look at the
  # filters, import all activities.
  click "$main" 22 52 1                       # tool button "Open project"
  login=$(wait_for '^P3 Login')
  xdotool mousemove --window "$login" 80 20 type --delay 20 PLANNER
  xdotool key Tab type --delay 20 SCHEDULE
  shot "$login" login
  xdotool key Return
  open=$(wait_for '^Open P3 project')
  sleep 1
  click "$open" 33 241                        # the row CLIN
  click "$open" 15 328                        # "Use filter"
  shot "$open" open-project
  click "$open" 189 333 1                     # Ok
  filters=$(wait_for '^Select filter')
  click "$filters" 64 79                      # "EL - Electrical trade"
  shot "$filters" select-filter
  click "$filters" 259 237 3                  # Cancel: import every activity
  main=$(wait_for '^Orvane - CLIN')
  xdotool mousemove --window "$main" 400 300
  shot "$main" main-window

  click "$main" 149 52 1                      # "Log# X => Log# Y"
  log2log=$(wait_for '^Log# X')
  retype "$log2log" 50 66 3
  retype "$log2log" 160 66 7
  xdotool mousemove --window "$log2log" 120 30
  shot "$log2log" log-to-log
  click "$log2log" 182 106                    # Cancel

  click "$main" 277 52 1                      # "Multy edit logs"
  multy=$(wait_for '^Edit multy')
  retype "$multy" 245 73 12                   # range 1 to 12
  xdotool mousemove --window "$multy" 200 250
  shot "$multy" multy-edit
  click "$multy" 384 438                      # Close

  xdotool mousemove --window "$main" 470 103 # pointer over the header "Log#1"
  sleep 0.3
  click "$main" 487 103                       # its filter button
  xdotool mousemove --window "$main" 273 156 click 1   # "(NonBlanks)"
  sleep 1
  xdotool mousemove --window "$main" 400 300
  shot "$main" filter-panel
  click "$main" 759 567 1                     # "Customize..."
  builder=$(wait_for '^Filter builder')
  shot "$builder" filter-builder
  click "$builder" 482 298                    # Cancel

  # Help opens the guide in the browser.
  click "$main" 120 14                        # "Help"
  click "$main" 157 35 6                      # "Orvane Help"
  browser=$(wait_for "Orvane user's guide")
  sleep 2
  import -window root "$helpshot/help-in-browser.png"
  kill "$(xdotool getwindowpid "$browser" 2>/dev/null)" 2>/dev/null || true
  exit 0
fi

out=$(mkdir -p "${1:-$root/docs/guide/images}" && cd "${1:-$root/docs/guide/images}" && pwd)
build=$(realpath -m "${BUILD:-$root/build/release}")
"$root/scripts/setup.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target orvane orvane-batch

# A working folder of its own in the build folder (the project picker shows
# its neighbours), with a copy of the samples and its own user
# settings, so the pictures never depend on (or change) the user's.
tmp="$build/guide-screenshots"
rm -rf "$tmp"
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/work/projects" "$tmp/home"
cp "$root"/samples/projects/* "$tmp/work/projects/"
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config"
export P3SIM_PROJECTS="$tmp/work/projects"
cd "$tmp/work"
"$build/tools/orvane-batch" makedb pdb.mdb >/dev/null

echo "Pictures of the guide, in $out:"
mkdir -p "$root/work"
xvfb-run -a -s "-screen 0 1280x900x24" "$root/scripts/guide-screenshots.sh" --session "$build/src/shell/orvane" "$out" "$root/work"
echo "Help with the guide in the browser: $root/work/help-in-browser.png"
