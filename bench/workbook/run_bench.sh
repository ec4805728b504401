#!/bin/sh
# update-from of a 65,534-row workbook exported by Orvane, re-saved by
# LibreOffice as .xlsx and as .xls, and undo of a bulk command over 100,000
# rows; each RUNS times (default 3).
# Usage: run_bench.sh BUILD_DIR [RUNS]   (a build with -DORVANE_BUILD_BENCH=ON)
set -e
build=$(cd "$1" && pwd)
runs=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/workbook/bench_workbook" fill "$work" 65534
(cd "$work" && "$build/tools/orvane-batch" export grid.xls)
profile="file://$work/lo-profile"
soffice -env:UserInstallation="$profile" --headless --convert-to xlsx --outdir "$work" "$work/grid.xls" >/dev/null
mkdir "$work/resaved"
soffice -env:UserInstallation="$profile" --headless --convert-to 'xls:MS Excel 97' --outdir "$work/resaved" \
  "$work/grid.xlsx" >/dev/null
for file in grid.xlsx resaved/grid.xls grid.xls; do
  i=0
  while [ $i -lt "$runs" ]; do
    "$build/bench/workbook/bench_workbook" update-from "$work" "$work/$file"
    i=$((i + 1))
  done
done
i=0
while [ $i -lt "$runs" ]; do
  "$build/bench/workbook/bench_workbook" undo 100000
  i=$((i + 1))
done
