#!/usr/bin/env bash
# Index builds of our engine against SQLite's CREATE INDEX on the same rows,
# in one run:
#
#   bench/index/compare-sqlite.sh [ROWS] [BUILD_DIR]   (default build/release,
#                                                      brought up to date)
#
# Generates ROWS rows (default 1000000) with ../shared/bench/gen.py (kept in
# /tmp between runs), loads them into an SQLite table once, then times each
# CREATE INDEX in a fresh sqlite3 process on a fresh copy of that database
# (median of 3), and times index_bench's builds of the same tags on the same
# rows (median of 3). Our figures start from rows already in memory: the
# table scan is not in them (SQLite's include reading its table).
set -euo pipefail

ROWS=${1:-1000000}
BUILD=${2:-build/release}
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
GEN=${GEN:-$ROOT/../shared/bench/gen.py}
WORK=${RI_BENCH_DIR:-/tmp}
CSV=$WORK/crm_$ROWS.csv
DB=$WORK/crm_$ROWS.sqlite
BENCH=$ROOT/$BUILD/bin/index_bench

if [[ $BUILD == build/release ]]; then
  source "$ROOT/bench/release-build.sh"
  ri_release_build "$ROOT" index_bench
fi
[[ -x $BENCH ]] || { echo "index_bench not built in $BUILD" >&2; exit 2; }
[[ -f $CSV ]] || python3 "$GEN" "$ROWS" --out "$CSV"
if [[ ! -f $DB ]]; then
  sqlite3 "$DB" "CREATE TABLE t(recid TEXT, lastname TEXT, firstname TEXT, city TEXT, zip TEXT, birthdate TEXT, score INTEGER, notes TEXT);"
  tail -n +2 "$CSV" > "$WORK/crm_$ROWS.rows.csv"
  sqlite3 "$DB" ".import --csv $WORK/crm_$ROWS.rows.csv t"
  rm -f "$WORK/crm_$ROWS.rows.csv"
fi

# Seconds of one SQL script on a fresh copy: the sum of its statements' real times.
sqlite_time() {
  cp "$DB" "$WORK/ri_copy.sqlite"
  sync "$WORK/ri_copy.sqlite"  # the copy's write-back must not land in SQLite's time
  printf '.timer on\n%s\n' "$1" | sqlite3 "$WORK/ri_copy.sqlite" | awk '/^Run Time/ { s += $4 } END { printf "%.3f\n", s }'
  rm -f "$WORK/ri_copy.sqlite"
}
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

declare -A SQL=(
  [recid]="CREATE UNIQUE INDEX i_recid ON t(recid);"
  [name]="CREATE INDEX i_name ON t(lastname, firstname);"
  [zip_score]="CREATE INDEX i_zip ON t(zip, score);"
  [all_three]="BEGIN; CREATE UNIQUE INDEX i_recid ON t(recid); CREATE INDEX i_name ON t(lastname, firstname); CREATE INDEX i_zip ON t(zip, score); COMMIT;"
)
declare -A SQLITE
for case in recid name zip_score all_three; do
  SQLITE[$case]=$(median3 "$(sqlite_time "${SQL[$case]}")" "$(sqlite_time "${SQL[$case]}")" "$(sqlite_time "${SQL[$case]}")")
done

JSON=$(RI_BENCH_CSV=$CSV RI_BENCH_DIR=$WORK "$BENCH" \
  --benchmark_filter='BM_StdSortFloor|BM_BuildTag/(recid|name|zip_score)/64|BM_BuildAllThree' \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true --benchmark_format=json 2>/dev/null)

python3 - "$ROWS" "${SQLITE[recid]}" "${SQLITE[name]}" "${SQLITE[zip_score]}" "${SQLITE[all_three]}" <<PY
import json, sys
rows, recid, name, zip_score, all_three = sys.argv[1], *map(float, sys.argv[2:])
ours = {}
for b in json.loads('''$JSON''')["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    ours[b["run_name"]] = b["real_time"] / 1000.0  # ms -> s
def find(prefix):
    return next(v for k, v in ours.items() if k.startswith(prefix))
print(f"index builds, {int(rows):,} rows (median of 3; ours without the table scan)")
print(f"{'case':<12}{'ours s':>9}{'SQLite s':>10}{'ours/SQLite':>13}")
for label, prefix, reference in [("recid", "BM_BuildTag/recid/64", recid), ("name", "BM_BuildTag/name/64", name),
                                 ("zip_score", "BM_BuildTag/zip_score/64", zip_score),
                                 ("all three", "BM_BuildAllThree/64", all_three)]:
    t = find(prefix)
    print(f"{label:<12}{t:>9.3f}{reference:>10.3f}{t / reference:>13.2f}")
print(f"std::sort of {int(rows):,} 24-byte keys: {find('BM_StdSortFloor'):.3f} s")
PY
