# Sourced by test-wine.sh (it sets $build, $out, $wine, fail, winpath and
# run_window): orvane.msi in a Wine prefix of its own, as a planner meets it.
#   - an older package, then the new one over it: one product remains;
#   - the Start-menu shortcut (its .lnk and the package's Shortcut table)
#     starts orvane.exe in Documents\Orvane, which the install made;
#   - there, the installed orvane-batch.exe imports CLIN through the
#     COM-registered simulator and exports; the installed orvane.exe shows
#     its window and Help starts the help viewer on orvane.chm, whose
#     contents list is read back;
#   - an older package refuses to install over the new one;
#   - the uninstall removes the programs and the shortcuts and keeps the
#     data folder with pdb.mdb.

installer_start=$(date +%s)
msi="$build/orvane.msi"
version=$(cat "$build/product-version.txt")
setup="$out/installer"
mkdir -p "$setup/home"
[ -f "$msi" ] || fail "no $msi"

# A fresh prefix, with a home of its own: Wine links the user's Documents
# into the home folder, and the test must not write into the real one.
wineserver -k >/dev/null 2>&1 || true
saved_prefix=$WINEPREFIX saved_home=$HOME
export WINEPREFIX="$setup/prefix" HOME="$setup/home"
env -u DISPLAY $wine wineboot --init >/dev/null 2>&1 || true
env -u DISPLAY wineserver -w || true
log "installer: prefix ready in $(( $(date +%s) - installer_start )) s"

msiexec() {  # LOG ARGS...: runs msiexec quietly, with a verbose log
    local name=$1; shift
    $wine msiexec "$@" /qn /l*v "$(winpath "$setup/$name.log")" >/dev/null 2>&1
}
# The installed products of this upgrade code, one "name|version" per line.
installed_products() {
    $wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ {name = ""; ver = ""} $1 == "DisplayName" {name = $3} $1 == "DisplayVersion" {ver = $3; if (name == "Orvane") print name "|" ver}'
}
# The real Unix path of a Windows path (Wine links Documents elsewhere).
unix_path() { realpath -m -- "$(winepath -u "$1" 2>/dev/null | tr -d '\r')" 2>/dev/null || true; }

# A folder as the install resolved it, from its log.
installer_folder() { unix_path "$(tr -d '\r' < "$setup/install.log" | sed -n "s/^Property(S): $1 = //p" | tail -n1)"; }

# An older build of the same files, then the new one over it.
older="$setup/orvane-0.0.1.msi"
"$ORVANE_ROOT/scripts/windows/make-msi.sh" "$build/package/Orvane" 0.0.1 "$older" || fail "packing an older installer"
msiexec install-older /i "$(winpath "$older")" || fail "msiexec /i of the older package, see $setup/install-older.log"
[ "$(installed_products)" = "Orvane|0.0.1" ] || fail "after the older package: '$(installed_products)'"
msiexec install /i "$(winpath "$msi")" || fail "msiexec /i orvane.msi, see $setup/install.log"
[ "$(installed_products)" = "Orvane|$version" ] ||
    fail "after the upgrade, expected the one product 'Orvane|$version': '$(installed_products)'"
program_dir="$WINEPREFIX/drive_c/Program Files/Orvane"
# Wine puts a machine-wide install's shortcuts into the user's Start menu.
start_menu=$(installer_folder ProgramMenuFolder)
data_dir="$(unix_path "$($wine cmd /c 'echo %USERPROFILE%\Documents' 2>/dev/null | tr -d '\r')")/Orvane"
for f in orvane.exe orvane-batch.exe orvane.chm README.txt; do
    [ -f "$program_dir/$f" ] || fail "not installed: Program Files\\Orvane\\$f"
done
[ -d "$data_dir" ] || fail "the install did not make the data folder $data_dir"

# The shortcut as the package declares it and as the install wrote it.
msiinfo export "$msi" Shortcut | tr -d '\r' | awk -F'\t' '$3 == "Orvane" {print $5 "|" $12}' > "$setup/shortcut.txt"
[ "$(cat "$setup/shortcut.txt")" = "[INSTALLDIR]orvane.exe|DATAFOLDER" ] ||
    fail "the Shortcut table's Orvane row: $(cat "$setup/shortcut.txt")"
msiinfo export "$msi" Directory | tr -d '\r' | grep -qx $'DATAFOLDER\tPersonalFolder\tOrvane' ||
    fail "DATAFOLDER is not Documents\\Orvane"
if [ -f "$start_menu/Orvane.lnk" ]; then
    /usr/bin/python3 - "$start_menu/Orvane.lnk" > "$setup/lnk.txt" <<'PY' || fail "Orvane.lnk does not read"
# The shell link format: a 76-byte header, then by its flags an item-ID
# list, a link-info block (holding the target's local path) and counted
# strings (name, relative path, working folder, arguments, icon).
import struct, sys
data = open(sys.argv[1], "rb").read()
assert struct.unpack_from("<I", data, 0)[0] == 0x4C, "not a shell link"
flags = struct.unpack_from("<I", data, 20)[0]
pos = 76
if flags & 0x01:
    pos += 2 + struct.unpack_from("<H", data, pos)[0]
target = ""
if flags & 0x02:
    size, _, link_flags, _, base = struct.unpack_from("<IIIII", data, pos)
    if link_flags & 0x01:
        target = data[pos + base:data.index(b"\0", pos + base)].decode("cp1252")
    pos += size
strings = {}
for bit, name in ((0x04, "name"), (0x08, "relative"), (0x10, "workdir"), (0x20, "args"), (0x40, "icon")):
    if flags & bit:
        count = struct.unpack_from("<H", data, pos)[0]
        width = 2 if flags & 0x80 else 1
        text = data[pos + 2:pos + 2 + count * width].decode("utf-16-le" if width == 2 else "cp1252")
        strings[name] = text.rstrip("\0")
        pos += 2 + count * width
print(target)
print(strings.get("workdir", ""))
PY
    [ "$(unix_path "$(sed -n 1p "$setup/lnk.txt")")" = "$program_dir/orvane.exe" ] ||
        fail "Orvane.lnk leads to '$(sed -n 1p "$setup/lnk.txt")'"
    [ "$(unix_path "$(sed -n 2p "$setup/lnk.txt")")" = "$data_dir" ] ||
        fail "Orvane.lnk starts in '$(sed -n 2p "$setup/lnk.txt")', not in $data_dir"
else
    fail "no Start-menu shortcut Orvane.lnk in $start_menu"
fi
[ -f "$start_menu/Orvane command line.lnk" ] || fail "no Start-menu shortcut for orvane-batch"
log "installer: upgrade install and shortcuts checked after $(( $(date +%s) - installer_start )) s"

# The installed programs in the data folder, against the simulated P3.
$wine regsvr32 /s "$(winpath "$(built "$build" p3sim-com.dll)")" || fail "regsvr32 of the COM server"
cp -r "$ORVANE_ROOT/samples/projects" "$setup/projects"
installed_batch="$program_dir/orvane-batch.exe"
(
    cd "$data_dir" &&
    export P3SIM_PROJECTS="$(winpath "$setup/projects")" LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 &&
    $wine "$installed_batch" --version > "$setup/version.txt" &&
    $wine "$installed_batch" makedb &&
    $wine "$installed_batch" import --p3-path "$P3SIM_PROJECTS" --project CLIN --user planner --password schedule \
        > "$setup/import.txt" &&
    $wine "$installed_batch" export grid.xls
) > "$setup/batch.log" 2>&1 || { fail "the installed orvane-batch in the data folder"; cat "$setup/batch.log" >&2; }
[ "$(tr -d '\r' < "$setup/version.txt")" = "orvane-batch $version" ] ||
    fail "installed orvane-batch --version: '$(cat "$setup/version.txt")', the package is $version"
tr -d '\r' < "$setup/import.txt" | cmp -s - <(tr -d '\r' < "$out/linux-run/import.txt") ||
    fail "the installed import reports otherwise than the Linux build"
/usr/bin/python3 - "$data_dir/grid.xls" <<'PY' || fail "the workbook exported in the data folder does not read back"
import sys, xlrd
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
assert sheet.nrows > 300, sheet.nrows
PY

# Help, with the window open: F1 ("Orvane Help") has the shell open the
# installed orvane.chm with its default verb, which starts Wine's help
# viewer; its window carries the help file's title. (Without Wine's HTML
# engine the viewer shows the contents list and leaves the pages blank.)
help_viewer_started() {
    DISPLAY=$xvfb_display xdotool search --name '^Orvane' windowfocus --sync >/dev/null 2>&1 || true
    DISPLAY=$xvfb_display xdotool key F1
    local waited=0
    until DISPLAY=$xvfb_display xdotool search --name "^Orvane user's guide\$" >/dev/null 2>&1; do
        if [ $waited -ge 60 ]; then fail "F1 opened no help viewer"; return; fi
        sleep 1; waited=$((waited + 1))
    done
    sleep 2
    DISPLAY=$xvfb_display import -window root "$setup/help-viewer.png"
    ps -eo args | grep -i '^C:\\windows\\hh\.exe ' > "$setup/help-viewer.txt" || true
    grep -qiF 'C:\Program Files\Orvane\orvane.chm' "$setup/help-viewer.txt" ||
        fail "the help viewer is not showing the installed orvane.chm: $(cat "$setup/help-viewer.txt")"
    $wine taskkill /f /im hh.exe >/dev/null 2>&1 || true
}
run_window "$program_dir/orvane.exe" "$data_dir" "$setup/installed-window.png" help_viewer_started
[ -s "$setup/installed-window.png" ] || fail "no screenshot of the installed orvane.exe"

# The installed help file's contents list, read back by libchm.
rm -rf "$setup/chm"
extract_chmLib "$program_dir/orvane.chm" "$setup/chm" >/dev/null || fail "orvane.chm does not read back"
for page in "$build/package/Orvane/guide/"*.html; do
    grep -qF "value=\"$(basename "$page")\"" "$setup/chm/toc.hhc" 2>/dev/null ||
        fail "the help file's contents list lacks $(basename "$page")"
done
log "installer: the installed programs ran after $(( $(date +%s) - installer_start )) s"

# An older package over the new one is refused and changes nothing.
if msiexec downgrade /i "$(winpath "$older")"; then fail "the older package installed over the new one"; fi
[ "$(installed_products)" = "Orvane|$version" ] || fail "after the refused downgrade: '$(installed_products)'"

# The uninstall keeps the planner's data.
data_sum=$(sha256sum "$data_dir/pdb.mdb" 2>/dev/null | cut -d' ' -f1) || fail "no pdb.mdb in the data folder"
msiexec uninstall /x "$(winpath "$msi")" || fail "msiexec /x, see $setup/uninstall.log"
[ -z "$(installed_products)" ] || fail "still installed after msiexec /x: $(installed_products)"
for f in orvane.exe orvane-batch.exe orvane.chm README.txt; do
    [ ! -e "$program_dir/$f" ] || fail "left behind by the uninstall: Program Files\\Orvane\\$f"
done
[ ! -e "$start_menu/Orvane.lnk" ] || fail "the Start-menu shortcut outlived the uninstall"
[ "$(sha256sum "$data_dir/pdb.mdb" 2>/dev/null | cut -d' ' -f1)" = "$data_sum" ] ||
    fail "the uninstall changed or removed $data_dir/pdb.mdb"

wineserver -k >/dev/null 2>&1 || true
export WINEPREFIX=$saved_prefix HOME=$saved_home
log "the installer: $(( $(date +%s) - installer_start )) s"
