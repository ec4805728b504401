#!/bin/sh
# update-from of a 65,534-row workbook that LibreOffice has re-saved as .xlsx,
# and undo of a bulk command over 100,000 rows.
# Usage: run_bench.sh BUILD_DIR   (a build with -DORVANE_BUILD_BENCH=ON)
set -e
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/workbook/bench_workbook" fill "$work" 65534
(cd "$work" && "$build/tools/orvane-batch" export grid.xls)
soffice -env:UserInstallation="file://$work/lo-profile" --headless --convert-to xlsx --outdir "$work" "$work/grid.xls" >/dev/null
"$build/bench/workbook/bench_workbook" update-from "$work" "$work/grid.xlsx"
"$build/bench/workbook/bench_workbook" update-from "$work" "$work/grid.xls"
"$build/bench/workbook/bench_workbook" undo 100000
