#!/usr/bin/env bash
# The engine through dbserver against the local path, in one run on the same
# data: an index build and a full scan (records sent to the client), then a
# load of 64 clients opening, scanning and closing a table for 30 seconds.
#
#   bench/server/server-bench.sh [N] [RUNS] [LOAD_SECONDS] [LOAD_CLIENTS]
#
# Environment: BIN (the program folder, default build/h-server-release/bin),
# WORK (data and tables, default /tmp/ri-server-bench), GEN (the row
# generator, default ../shared/bench/gen.py beside the repository).
#
# The server listens on 127.0.0.1 on a port the system picks and is stopped
# at the end. Per case the median of RUNS runs, each a fresh dbtool process
# (wall clock), local and remote runs alternating:
#   index  dbtool index TABLE NAME "LASTNAME;FIRSTNAME" (the tag replaced each run)
#   scan   dbtool dump TABLE > /dev/null (every record as CSV)
#   count  dbtool count TABLE --filter ... (evaluated where the files are)
set -euo pipefail

N=${1:-1000000}
RUNS=${2:-3}
LOAD_SECONDS=${3:-30}
LOAD_CLIENTS=${4:-64}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=${BIN:-$ROOT/build/h-server-release/bin}
WORK=${WORK:-/tmp/ri-server-bench}
GEN=${GEN:-$ROOT/../shared/bench/gen.py}
mkdir -p "$WORK/share"

for tool in "$BIN/dbtool" "$BIN/dbserver" "$BIN/server_load" python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

PLAIN=$WORK/crm_$N.csv
TYPED=$WORK/crm_${N}_typed.csv
if [[ ! -s $PLAIN ]]; then python3 "$GEN" "$N" --out "$PLAIN.tmp" && mv "$PLAIN.tmp" "$PLAIN"; fi
if [[ ! -s $TYPED || $TYPED -ot $PLAIN ]]; then
  { echo "RECID:C:16,LASTNAME:C:16,FIRSTNAME:C:16,CITY:C:24,ZIP:C:5,BIRTHDATE:D,SCORE:I,NOTES:C:400"
    tail -n +2 "$PLAIN"; } > "$TYPED"
fi
"$BIN/dbtool" import --replace "$WORK/share/Crm.ADT" "$TYPED" >/dev/null
head -n 2001 "$TYPED" > "$WORK/small.csv"
"$BIN/dbtool" import --replace "$WORK/share/Small.ADT" "$WORK/small.csv" >/dev/null

"$BIN/dbserver" --init --state-dir "$WORK/state" >/dev/null
"$BIN/dbserver" --state-dir "$WORK/state" --listen 127.0.0.1 --port 0 --share "data=$WORK/share" \
  > "$WORK/server.out" 2> "$WORK/server.log" &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true; wait $SERVER 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q listening "$WORK/server.out" 2>/dev/null && break; sleep 0.1; done
PORT=$(sed -n 's/.*:\([0-9]*\)$/\1/p' "$WORK/server.out")
[[ -n $PORT ]] || { echo "dbserver did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }
export ENGINE_PINNED_CERTIFICATES=$WORK/pins
rm -f "$ENGINE_PINNED_CERTIFICATES"
LOCAL=$WORK/share/Crm.ADT
REMOTE="\\\\127.0.0.1:$PORT\\data\\Crm.ADT"
FILTER="SCORE > 990000 OR CITY = 'Eistas'"

now() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() { local t0; t0=$(now); "$@" >/dev/null; echo "$(( $(now) - t0 ))" | awk '{ printf "%.3f\n", $1 / 1e9 }'; }

declare -A times
for ((run = 1; run <= RUNS; run++)); do
  for where in local remote; do
    [[ $where == local ]] && T=$LOCAL || T=$REMOTE
    times[index_$where]+="$(seconds "$BIN/dbtool" index "$T" NAME "LASTNAME;FIRSTNAME") "
    times[scan_$where]+="$(seconds "$BIN/dbtool" dump "$T") "
    times[count_$where]+="$(seconds "$BIN/dbtool" count "$T" --filter "$FILTER") "
  done
done
[[ $("$BIN/dbtool" dump "$LOCAL" | md5sum) == $("$BIN/dbtool" dump "$REMOTE" | md5sum) ]] \
  || { echo "the dumps differ" >&2; exit 1; }
"$BIN/dbtool" verify "$REMOTE"

printf '\n%d rows, median of %d runs\n' "$N" "$RUNS"
printf '| case | local | through the server | server / local (time) | local rows/s | server rows/s |\n|---|---:|---:|---:|---:|---:|\n'
for c in index scan count; do
  l=$(echo ${times[${c}_local]} | tr ' ' '\n' | median)
  r=$(echo ${times[${c}_remote]} | tr ' ' '\n' | median)
  awk -v c="$c" -v l="$l" -v r="$r" -v n="$N" \
    'BEGIN { printf "| %s | %.3f s | %.3f s | %.2f | %d | %d |\n", c, l, r, r / l, n / l, n / r }'
done

printf '\nload: %d clients for %d s on Small.ADT (2,000 records)\n' "$LOAD_CLIENTS" "$LOAD_SECONDS"
"$BIN/server_load" "\\\\127.0.0.1:$PORT\\data" Small.ADT "$LOAD_CLIENTS" "$LOAD_SECONDS" "$SERVER"
{ grep -c "refused" "$WORK/server.log" || true; } | awk '{ print "server log: " $1 " refused requests" }'
