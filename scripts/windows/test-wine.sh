#!/usr/bin/env bash
# Runs the Windows build of Orvane under Wine:
#   1. the Windows test programs (store, export, filter, p3link, COM backend);
#   2. the round trip through COM: the simulated P3 registered as "P3Session"
#      with regsvr32, then orvane-batch.exe makedb, projects, import, copy,
#      save and export, compared byte for byte with the Linux build's run;
#   3. faults through COM: a server error and an unregistered "P3Session";
#   4. orvane.exe under Xvfb: a screenshot of the main window, and the
#      "P3User" registry value read back with `wine reg query`;
#   5. the installer in a prefix of its own: an older orvane.msi, then the
#      new one over it, the installed programs run from the Start-menu
#      shortcut's folder (import through COM, export, the window, Help),
#      the help file read back, a refused downgrade, the uninstall.
# Usage: scripts/windows/test-wine.sh [BUILD_DIR]   (default build/windows)
set -euo pipefail
. "$(dirname "$0")/common.sh"

build=$(cd "${1:-$ORVANE_ROOT/build/windows}" && pwd)
out="$build/wine-test"
rm -rf "$out"; mkdir -p "$out"

export WINEPREFIX="$out/prefix"
export WINEDEBUG=-all
# No downloads of Wine's Mono and Gecko add-ons: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY
wine=wine64
command -v wine64 >/dev/null || wine=wine
failures=0
fail() { log "FAIL: $*"; failures=$((failures + 1)); }
winpath() { printf 'Z:%s' "$(echo "$1" | sed 's#/#\\#g')"; }

start=$(date +%s)
$wine wineboot --init >/dev/null 2>&1 || true
wineserver -w || true
log "Wine prefix ready in $(( $(date +%s) - start )) s"

# Xvfb for the programs that open windows.
xvfb_display=:97
Xvfb $xvfb_display -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb_pid=$!
# Every Wine program from here on sees this display: the first one that
# starts Wine's desktop process decides where all later windows go, so a
# command without a display (reg, regsvr32) would leave the windows of
# orvane.exe nowhere to appear.
export DISPLAY=$xvfb_display
trap 'wineserver -k >/dev/null 2>&1 || true; kill $xvfb_pid 2>/dev/null || true' EXIT
sleep 1

# ---------------------------------------------------------------- 1. tests
# The export cases that hand the workbook to Linux readers (Python, LibreOffice)
# cannot start them from a Windows process; the workbook written under Wine is
# read back by xlrd in step 2 instead.
export_filter='-CompoundDocument.OlefileReadsTheStream:GridExport.HeaderRowsBackgroundsAndLines:GridExport.TwoHeaderRowsPerRecord:GridExport.TextsKeepEveryCharacter:GridExport.WhatDoesNotFitIsReported:GridExport.EmptyViewsAndErrors:GridExport.ActivityGridAsShownReadByXlrdAndLibreOffice:XlsWriter.TextRouting:XlsWriter.SharedStringsSplitIntoContinueRecords:XlsWriter.MergedCellsInRecordsOf1024:XlsWriter.PaletteAllocationOrder:XlsWriter.DateTimeAndCurrencyFormats:XlsWriter.UnicodeSheetName:GridExport.LongTextsAreCutAndReported:GridExport.ActivityGridAsShownReadByEveryReader:XlsWriter.SharedStringHeaderTravelsWithItsCharacters:XlsWriter.LongTextsAreCutAndCounted:XlsWriter.FileFillsItsLastSector:GridExport.ExportRightAfterOpeningHasEveryRow:GridExport.XlsxShowsTheSheetOfTheXls'
start=$(date +%s)
for t in store_tests export_tests workbook_tests grid_model_tests filter_tests filter_grid_tests \
         logedit_bulk_tests p3sim_tests p3link_signin_tests p3link_operation_tests p3link_com_tests; do
    exe=$(built "$build" "$t.exe")
    if [ -z "$exe" ]; then fail "$t.exe not built"; continue; fi
    t0=$(date +%s)
    args=()
    [ "$t" = export_tests ] && args=("--gtest_filter=$export_filter")
    [ "$t" = workbook_tests ] && args=("--gtest_filter=-XlsRoundTrip.XlrdReadsTheSameLongTexts")
    if (cd "$(dirname "$exe")" && DISPLAY=$xvfb_display timeout 900 $wine "$exe" "${args[@]}" >"$out/$t.log" 2>&1); then
        log "ok   $t ($(( $(date +%s) - t0 )) s, $(grep -c '^\[       OK \]' "$out/$t.log" || true) cases)"
    else
        fail "$t, see $out/$t.log"; tail -30 "$out/$t.log" >&2
    fi
done
log "Windows test programs: $(( $(date +%s) - start )) s"

# ------------------------------------------------- 2. round trip through COM
start=$(date +%s)
batch_exe=$(built "$build" orvane-batch.exe)
linux_batch="$ORVANE_ROOT/build/test/tools/orvane-batch"
# The Linux side is brought up to date from the same sources.
[ -f "$ORVANE_ROOT/build/test/CMakeCache.txt" ] ||
    cmake -S "$ORVANE_ROOT" -B "$ORVANE_ROOT/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_BUILD_TESTS=ON >/dev/null
cmake --build "$ORVANE_ROOT/build/test" --parallel "$WIN_JOBS" --target orvane-batch >/dev/null
dll=$(built "$build" p3sim-com.dll)
$wine regsvr32 /s "$(winpath "$dll")" || fail "regsvr32 of the COM server"

# The same script on both sides: Windows through COM, Linux on the simulator.
round_trip() {  # SIDE DIR RUNNER...
    local side=$1 dir=$2; shift 2
    mkdir -p "$dir"; cp -r "$ORVANE_ROOT/samples/projects" "$dir/projects"
    local p3path="$dir/projects"
    [ "$side" = windows ] && p3path=$(winpath "$dir/projects")
    (
        # Chained: a failing step ends the run with its status.
        cd "$dir" &&
        export P3SIM_PROJECTS="$p3path" &&
        # One locale on both sides: dates and numbers in the sheet follow it.
        export LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 &&
        "$@" makedb &&
        "$@" projects --p3-path "$p3path" --user planner --password schedule > projects.txt &&
        "$@" import --p3-path "$p3path" --project CLIN --user planner --password schedule > import.txt &&
        "$@" copy desc2log 7 &&
        "$@" copy log2log 1 9 &&
        "$@" save --p3-path "$p3path" --project CLIN --user planner --password schedule > save.txt &&
        "$@" export grid.xls &&
        "$@" export grid.xlsx
    ) > "$dir/run.log" 2>&1
}
round_trip windows "$out/windows-run" $wine "$batch_exe" || { fail "round trip through COM"; cat "$out/windows-run/run.log" >&2; }
round_trip linux "$out/linux-run" "$linux_batch" || { fail "round trip on Linux"; cat "$out/linux-run/run.log" >&2; }
for f in projects.txt import.txt save.txt grid.xls; do
    if tr -d '\r' < "$out/windows-run/$f" | cmp -s - <(tr -d '\r' < "$out/linux-run/$f"); then :; else fail "$f differs"; fi
done
cmp -s "$out/windows-run/grid.xls" "$out/linux-run/grid.xls" || fail "the workbooks are not byte-identical"
diff -r "$out/windows-run/projects" "$out/linux-run/projects" >/dev/null || fail "the P3 files after the save differ"
# The .xlsx packages hold the same parts byte for byte; only the creation
# time in the document properties is the export's own.
/usr/bin/python3 - "$out/windows-run/grid.xlsx" "$out/linux-run/grid.xlsx" <<'PY' || fail "the .xlsx workbooks differ"
import re, sys, zipfile
def parts(path):
    with zipfile.ZipFile(path) as z:
        return {n: re.sub(rb"<dcterms:(created|modified)[^<]*</dcterms:\w+>", b"", z.read(n)) if n == "docProps/core.xml"
                else z.read(n) for n in z.namelist()}
windows, linux = parts(sys.argv[1]), parts(sys.argv[2])
assert sorted(windows) == sorted(linux), (sorted(windows), sorted(linux))
differ = [n for n in linux if windows[n] != linux[n]]
assert not differ, differ
PY
/usr/bin/python3 - "$out/windows-run/grid.xls" <<'PY' || fail "the workbook from Windows does not read back"
import sys, xlrd
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
assert sheet.nrows > 300, sheet.nrows
PY
log "round trip through COM: $(( $(date +%s) - start )) s"

# ------------------------------------- 2b. logs back from re-saved workbooks
# LibreOffice re-saves the exported sheet as .xlsx, openpyxl edits two cells,
# LibreOffice turns the edited file into .xls: both are read back on both
# sides (libzip as built for Windows), with the same outcome.
start=$(date +%s)
books="$out/books"; mkdir -p "$books"
(
    cd "$books" &&
    soffice --headless --convert-to xlsx --outdir . "$out/linux-run/grid.xls" >/dev/null 2>&1 &&
    /usr/bin/python3 - grid.xlsx edited.xlsx <<'PY' &&
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
sheet = book.active
captions = {c.value: c.column for row in sheet.iter_rows(max_row=5) for c in row if c.value}
header = next(r for r in range(1, 6) if sheet.cell(r, captions["ActivityID"]).value == "ActivityID")
sheet.cell(header + 2, captions["Log#1"]).value = "Crane booked for Monday (é, ü, ŝ)"
sheet.cell(header + 5, captions["Log#3"]).value = "Checked on site"
book.save(sys.argv[2])
PY
    soffice --headless --convert-to xls --outdir . edited.xlsx >/dev/null 2>&1
) || fail "making the edited workbooks"
update_from() {  # SIDE RUNNER...
    local side=$1; shift
    local dir="$out/$side-run" file
    for file in edited.xlsx edited.xls; do
        cp "$books/$file" "$dir/"
        (cd "$dir" && LC_ALL=en_US.UTF-8 "$@" update-from "$file" --dry-run) > "$dir/$file.preview" 2>&1 ||
            fail "$side: update-from $file --dry-run"
    done
    (cd "$dir" && LC_ALL=en_US.UTF-8 "$@" update-from edited.xlsx && LC_ALL=en_US.UTF-8 "$@" export updated.xls) \
        > "$dir/update.log" 2>&1 || fail "$side: update-from edited.xlsx"
}
update_from windows $wine "$batch_exe"
update_from linux "$linux_batch"
for f in edited.xlsx.preview edited.xls.preview; do
    tr -d '\r' < "$out/windows-run/$f" | cmp -s - <(tr -d '\r' < "$out/linux-run/$f") || fail "$f differs"
done
grep -q "^Log lines that will change: 2$" "$out/linux-run/edited.xlsx.preview" || fail "the preview does not count the 2 edited logs: $(cat "$out/linux-run/edited.xlsx.preview")"
cmp -s "$out/windows-run/updated.xls" "$out/linux-run/updated.xls" || fail "the workbooks after update-from differ"
log "logs back from workbooks: $(( $(date +%s) - start )) s"

# ----------------------------------------------------- 3. faults through COM
dir="$out/windows-run"
p3path=$(winpath "$dir/projects")
set +e
(cd "$dir" && P3SIM_FAULTS="fail:Activity.Description:5:The project file is locked by another user" \
    $wine "$batch_exe" import --discard-changes --p3-path "$p3path" --project CLIN --user planner --password schedule) \
    > "$out/fault.out" 2> "$out/fault.err"
status=$?
set -e
[ $status = 1 ] || fail "a server error gives exit status $status"
grep -q "The project file is locked by another user" "$out/fault.err" || fail "the server's description does not reach the user: $(cat "$out/fault.err")"

$wine regsvr32 /s /u "$(winpath "$dll")" || fail "regsvr32 /u"
set +e
(cd "$dir" && $wine "$batch_exe" projects --p3-path "$p3path") > "$out/unregistered.out" 2> "$out/unregistered.err"
status=$?
set -e
[ $status = 1 ] || fail "an unregistered P3Session gives exit status $status"
grep -q "^P3 cannot be reached: ." "$out/unregistered.err" || fail "unregistered P3Session: $(cat "$out/unregistered.err")"
$wine regsvr32 /s "$(winpath "$dll")"

# -------------------------------------------- 4. the window and the registry
start=$(date +%s)
orvane_exe=$(built "$build" orvane.exe)
key='HKCU\Software\Marbolt\Orvane'
# EXE DIR SHOT [ACTION]: runs orvane.exe in DIR, shoots the screen into SHOT
# (none when empty), runs ACTION while the window is open, closes it.
run_window() {
    local exe=$1 folder=$2 shot=$3 action=${4:-}
    (cd "$folder" && DISPLAY=$xvfb_display exec $wine "$exe" >"$out/orvane.log" 2>&1) &
    local pid=$!
    # The main window is waited for (Wine starts slowly on a busy machine),
    # then given a moment to paint.
    local waited=0
    until DISPLAY=$xvfb_display xdotool search --name '^Orvane' >/dev/null 2>&1; do
        if [ $waited -ge 180 ] || ! kill -0 $pid 2>/dev/null; then fail "no main window after $waited s"; break; fi
        sleep 2; waited=$((waited + 2))
    done
    sleep 5
    if [ -n "$shot" ]; then DISPLAY=$xvfb_display import -window root "$shot"; fi
    if [ -n "$action" ]; then $action; fi
    # taskkill without /f asks the window to close, so its close handler runs.
    $wine taskkill /im orvane.exe >/dev/null 2>&1 || true
    for _ in $(seq 1 30); do
        kill -0 $pid 2>/dev/null || break
        sleep 1
    done
    if kill -0 $pid 2>/dev/null; then
        fail "orvane.exe did not close"
        $wine taskkill /f /im orvane.exe >/dev/null 2>&1 || true
    fi
    wait $pid 2>/dev/null || true
}
p3user() { $wine reg query "$key" /v P3User 2>/dev/null | tr -d '\r' | awk '$1 == "P3User" {print $2 "|" $3}'; }

$wine reg delete "$key" /f >/dev/null 2>&1 || true
run_window "$orvane_exe" "$dir" "$out/orvane-window.png"
[ -s "$out/orvane-window.png" ] || fail "no screenshot"
[ "$(p3user)" = "REG_SZ|" ] || fail "first run: P3User is '$(p3user)', expected an empty REG_SZ"
$wine reg add "$key" /v P3User /t REG_SZ /d PLANNER /f >/dev/null
run_window "$orvane_exe" "$dir" ""
[ "$(p3user)" = "REG_SZ|PLANNER" ] || fail "P3User PLANNER came back as '$(p3user)'"
$wine reg add "$key" /v P3User /t REG_DWORD /d 7 /f >/dev/null
run_window "$orvane_exe" "$dir" ""
[ "$(p3user)" = "REG_SZ|" ] || fail "a numeric P3User came back as '$(p3user)', expected an empty REG_SZ"
log "the window and the registry: $(( $(date +%s) - start )) s"

# ------------------------------------------------------------ 5. the installer
. "$ORVANE_ROOT/scripts/windows/test-installer.sh"

if [ $failures -gt 0 ]; then
    log "$failures failure(s) under Wine"
    exit 1
fi
log "all Windows tests passed under Wine; screenshot: $out/orvane-window.png"
