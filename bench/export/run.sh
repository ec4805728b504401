#!/usr/bin/env bash
# Times Orvane's .xls export beside the peer spreadsheet writers, in one run,
# on the same generated grid (the peers' gen.py), and checks every output
# with the peers' validate.py.
#
# usage: bench/export/run.sh [ROWS]      (default 65534)
# env:   RUNS=3             timed runs per writer (median reported)
#        BUILD=DIR          build folder holding bench/export/export_bench
#        PEERS=DIR          the peer scripts (default: ../shared/bench/peers beside the clone)
#        KEEP=1             keep the output folder ($BUILD/bench/export/out)
# Needs the Debian packages named in the peers' README (python3-xlwt,
# libspreadsheet-writeexcel-perl, libxlsxwriter-dev, time).
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
ROWS=${1:-65534}
RUNS=${RUNS:-3}
BUILD=${BUILD:-$ROOT/build/bench}
PEERS=${PEERS:-}
if [ -z "$PEERS" ] && [ -f "$ROOT/../shared/bench/peers/gen.py" ]; then
  PEERS=$(cd "$ROOT/../shared/bench/peers" && pwd)
fi
[ -n "$PEERS" ] || { echo "peer scripts not found; set PEERS" >&2; exit 1; }
ORV=$BUILD/bench/export/export_bench
if [ ! -x "$ORV" ]; then
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_BUILD_BENCH=ON >/dev/null
  cmake --build "$BUILD" --target export_bench -j 2 >/dev/null
fi
PY=/usr/bin/python3
OUT=$(cd "$BUILD" && pwd)/bench/export/out
mkdir -p "$OUT"
cc -O2 -o "$OUT/xlsxwriter_write" "$PEERS/xlsxwriter_write.c" $(pkg-config --cflags --libs xlsxwriter)
TSV=$OUT/grid-$ROWS.tsv
"$PY" "$PEERS/gen.py" "$ROWS" "$TSV"      # not timed

echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -sr), ROWS=$ROWS, $RUNS runs each, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "# TSV $(stat -c %s "$TSV") bytes, sha256 $(sha256sum "$TSV" | cut -c1-16)"

RESULTS=()   # name|median|runs|peakMiB|bytes|file|cpu
bench() {
  local name=$1 file=$2; shift 2
  local walls=() cpus=() peak=0 wall user sys kib
  for _ in $(seq "$RUNS"); do
    [ "$file" = - ] || rm -f "$file"
    sync
    if ! /usr/bin/time -f '%e %U %S %M' -o "$OUT/time.txt" "$@" >"$OUT/cmd.log" 2>&1; then
      RESULTS+=("$name|FAIL|-|-|-|-|-"); sed 's/^/  /' "$OUT/cmd.log" >&2; return 0
    fi
    read -r wall user sys kib < <(tail -n1 "$OUT/time.txt")
    walls+=("$wall"); cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN{printf "%.2f", u+s}')")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  local mid=$(( (RUNS + 1) / 2 )) med cpu bytes=-
  med=$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "${mid}p")
  cpu=$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "${mid}p")
  [ "$file" = - ] || bytes=$(stat -c %s "$file")
  RESULTS+=("$name|$med|$(IFS=/; echo "${walls[*]}")|$(awk -v k="$peak" 'BEGIN{printf "%.1f", k/1024}')|$bytes|$file|$cpu")
}

bench "Orvane export (.xls)"             "$OUT/orvane.xls"      "$ORV" "$TSV" "$OUT/orvane.xls"
bench "Orvane export (.xlsx)"            "$OUT/orvane.xlsx"     "$ORV" "$TSV" "$OUT/orvane.xlsx"
bench "xlwt (.xls)"                      "$OUT/xlwt.xls"        "$PY" "$PEERS/xlwt_write.py" "$TSV" "$OUT/xlwt.xls"
bench "Spreadsheet::WriteExcel (.xls)"   "$OUT/writeexcel.xls"  perl "$PEERS/writeexcel_write.pl" "$TSV" "$OUT/writeexcel.xls"
bench "libxlsxwriter (.xlsx)"            "$OUT/xlsxwriter.xlsx" "$OUT/xlsxwriter_write" "$TSV" "$OUT/xlsxwriter.xlsx"
bench "libxlsxwriter const_mem (.xlsx)"  "$OUT/xlsxwriter_cm.xlsx" "$OUT/xlsxwriter_write" -c "$TSV" "$OUT/xlsxwriter_cm.xlsx"
bench "read TSV only: Orvane"            -  "$ORV" -n "$TSV" -
bench "read TSV only: python3"           -  "$PY" "$PEERS/xlwt_write.py" -n "$TSV" -
bench "read TSV only: C"                 -  "$OUT/xlsxwriter_write" -n "$TSV" -

printf '\n%-32s %9s %-17s %8s %9s %11s  %s\n' writer "median s" "runs s" "cpu s" "peak MiB" "out bytes" check
declare -A MED PEAK SIZE CPU
for row in "${RESULTS[@]}"; do
  IFS='|' read -r name med runs peak bytes file cpu <<<"$row"
  check=-
  case $file in
    */orvane.xls*) check=$("$PY" "$HERE/validate_export.py" "$PEERS" "$TSV" "$file" 2>/dev/null | tail -n1 | cut -d' ' -f1-3) || true ;;
    *.xls|*.xlsx) check=$("$PY" "$PEERS/validate.py" "$TSV" "$file" 2>/dev/null | tail -n1 | cut -d' ' -f1-3) || true ;;
  esac
  printf '%-32s %9s %-17s %8s %9s %11s  %s\n' "$name" "$med" "$runs" "$cpu" "$peak" "$bytes" "$check"
  MED[$name]=$med; PEAK[$name]=$peak; SIZE[$name]=$bytes; CPU[$name]=$cpu
done
o="Orvane export (.xls)"
echo
ox="Orvane export (.xlsx)"
awk -v o="${MED[$o]}" -v x="${MED[xlwt (.xls)]}" -v l="${MED[libxlsxwriter (.xlsx)]}" \
    -v ox="${MED[$ox]}" -v oxc="${CPU[$ox]}" -v oxp="${PEAK[$ox]}" -v cc="${CPU[libxlsxwriter const_mem (.xlsx)]}" \
    -v c="${MED[libxlsxwriter const_mem (.xlsx)]}" -v p="${PEAK[$o]}" -v b="${SIZE[$o]}" \
    -v oc="${CPU[$o]}" -v xc="${CPU[xlwt (.xls)]}" -v lc="${CPU[libxlsxwriter (.xlsx)]}" 'BEGIN {
  if (o <= 0) o = 0.01
  if (oc <= 0) oc = 0.01
  printf "                                  wall    cpu\n"
  printf "xlwt / Orvane:                    %5.1fx %5.1fx (target >= 20)\n", x / o, xc / oc
  printf "libxlsxwriter / Orvane:           %5.1fx %5.1fx (target > 1)\n", l / o, lc / oc
  printf "libxlsxwriter const_mem / Orvane: %5.1fx\n", c / o
  printf "Orvane peak memory / file size:   %.2f (target < 3)\n", p * 1048576 / b
  printf "Orvane .xlsx / libxlsxwriter const_mem: %5.2fx %5.2fx (target <= 1.2)\n", ox / c, oxc / cc
  printf "Orvane .xlsx peak memory:         %.1f MiB (target < 100)\n", oxp
}'
[ "${KEEP:-0}" = 1 ] || rm -rf "$OUT"
