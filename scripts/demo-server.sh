# Sourced by scripts/demo.sh when DEMO_SERVER=1: makes the demo installation
# a server installation. dbserver (beside the program, state in Server/)
# serves the installation folder as the share "data" on 127.0.0.1, on a port
# the system picks; a mount table of the demo's own (ENGINE_MOUNT_TABLE)
# says that the folder is that share, as a mounted network share would, so
# the program's connections go through the server. The server is stopped
# when the demo ends (with DEMO_NO_GUI=1 it keeps running; its pid is
# printed).
cp "$BIN/dbserver" "$DEMO/App/"
DEMO_ABS=$(cd "$DEMO" && pwd -P)
mkdir -p "$DEMO/Server"
"$DEMO/App/dbserver" --init --state-dir "$DEMO/Server/state" >/dev/null
: > "$DEMO/DBSys/VorlexServer.sr1"
"$DEMO/App/dbserver" --state-dir "$DEMO/Server/state" --listen 127.0.0.1 --port 0 \
  --share "data=$DEMO_ABS" > "$DEMO/Server/listening.txt" 2> "$DEMO/Server/dbserver.log" &
DEMO_SERVER_PID=$!
for _ in $(seq 100); do grep -q listening "$DEMO/Server/listening.txt" 2>/dev/null && break; sleep 0.1; done
DEMO_PORT=$(sed -n 's/.*:\([0-9]*\)$/\1/p' "$DEMO/Server/listening.txt")
[ -n "$DEMO_PORT" ] || { cat "$DEMO/Server/dbserver.log" >&2; exit 1; }
echo "1 1 0:1 / $DEMO_ABS rw - cifs //127.0.0.1:$DEMO_PORT/data rw" > "$DEMO/Server/mountinfo"
export ENGINE_MOUNT_TABLE="$DEMO_ABS/Server/mountinfo"
echo "dbserver (pid $DEMO_SERVER_PID) serves $DEMO_ABS as \\\\127.0.0.1:$DEMO_PORT\\data; log: $DEMO/Server/dbserver.log"
echo "Contacts through the server: $("$DEMO/App/dbtool" count "\\\\127.0.0.1:$DEMO_PORT\\data\\DB\\Contacts.ADT") records"
if [ -z "${DEMO_NO_GUI:-}" ]; then
  trap 'kill $DEMO_SERVER_PID 2>/dev/null || true' EXIT
fi
