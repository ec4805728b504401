#!/bin/sh
# update-from of a 65,534-row workbook exported by Orvane, re-saved by
# LibreOffice as .xlsx and as .xls: once after Log#1 was emptied in the
# table (kept: edits made in the table since the export), once after Log#1
# was edited in the workbook in every row (written); and undo of a bulk
# command over 100,000 rows; each RUNS times (default 3), each update on the
# database as exported.
# Usage: run_bench.sh BUILD_DIR [RUNS]   (a build with -DORVANE_BUILD_BENCH=ON)
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
runs=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/workbook/bench_workbook" fill "$work" 65534
(cd "$work" && "$build/tools/orvane-batch" export grid.xls)
cp "$work/pdb.mdb" "$work/exported.mdb"
profile="file://$work/lo-profile"
soffice -env:UserInstallation="$profile" --headless --convert-to xlsx --outdir "$work" "$work/grid.xls" >/dev/null
mkdir "$work/resaved" "$work/edited"
soffice -env:UserInstallation="$profile" --headless --convert-to 'xls:MS Excel 97' --outdir "$work/resaved" \
  "$work/grid.xlsx" >/dev/null
/usr/bin/python3 "$here/edit_every_row.py" "$work/grid.xlsx" "$work/edited/grid.xlsx"
soffice -env:UserInstallation="$profile" --headless --convert-to 'xls:MS Excel 97' --outdir "$work/edited" \
  "$work/edited/grid.xlsx" >/dev/null
update() {
  i=0
  while [ $i -lt "$runs" ]; do
    rm -f "$work/pdb.mdb-wal" "$work/pdb.mdb-shm"
    cp "$work/exported.mdb" "$work/pdb.mdb"
    "$build/bench/workbook/bench_workbook" "$1" "$work" "$work/$2"
    i=$((i + 1))
  done
}
for file in grid.xlsx resaved/grid.xls grid.xls; do
  update update-from "$file"
done
for file in edited/grid.xlsx edited/grid.xls; do
  update update-from-edited "$file"
done
i=0
while [ $i -lt "$runs" ]; do
  "$build/bench/workbook/bench_workbook" undo 100000
  i=$((i + 1))
done
