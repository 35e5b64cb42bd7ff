#!/usr/bin/env bash
# Builds the program and runs it over a demo installation: a CRM-like
# database of a few tables with a data dictionary, index definition files
# and a page-size file, laid out as a real installation tree.
#
#   scripts/demo.sh              build, make build/demo, start the window
#   DEMO_ROWS=200000 scripts/demo.sh   a bigger Contacts table
#   DEMO_NO_GUI=1 scripts/demo.sh      make the installation only
#   DEMO_PRESET=default scripts/demo.sh   use another build preset
#   DEMO_SERVER=1 scripts/demo.sh      a server installation, served by dbserver
#                                      on loopback (scripts/demo-server.sh)
#
# Without a display the program runs on a virtual X server (Xvfb) and shows
# itself working: Start is pressed (xdotool) and the screen is written to
#   build/demo/screenshot.png   the idle main window
#   build/demo/progress.png     during the run: the progress window
#   build/demo/outcome.png      the outcome box at the end of the run
# A few contacts have no record id, so the run repairs the table's primary
# index (three waits of two seconds) while the progress window shows it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvfb.sh

bash scripts/install-deps.sh
PRESET=${DEMO_PRESET:-release}
cmake --preset "$PRESET"
cmake --build --preset "$PRESET" -j "$(nproc 2>/dev/null || echo 2)"

BIN=build/$PRESET/bin
DEMO=${DEMO_DIR:-build/demo}
ROWS=${DEMO_ROWS:-20000}
rm -rf "$DEMO"
mkdir -p "$DEMO/App" "$DEMO/DB" "$DEMO/DBSys" "$DEMO/Logs"
cp "$BIN/RebuildIndexes" "$BIN/dbtool" "$BIN/ace32.dll" "$BIN/adsloc32.dll" "$BIN/axcws32.dll" \
   "$BIN/adslocal.cfg" "$BIN/Ansi.chr" "$BIN"/libriplatform.so "$DEMO/App/"

# Tables, made with the engine's own tool from generated rows.
python3 - "$DEMO" "$ROWS" <<'PY'
import random, sys
demo, rows = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
syll = ["ka", "lo", "mi", "ren", "dor", "sa", "vi", "tan", "bel", "gro", "nu", "pe"]
def word(n):
    return "".join(rnd.choice(syll) for _ in range(n)).capitalize()
with open(f"{demo}/contacts.csv", "w") as f:
    f.write("RECID:C:16,LASTNAME:C:20,FIRSTNAME:C:20,CITY:C:24,ZIP:C:5,BIRTHDATE:D,SCORE:I\n")
    for i in range(rows):
        # Every 5000th contact has no record id: the run repairs them away.
        recid = "" if i % 5000 == 17 else "%016x" % (i * 2654435761 % (1 << 64))
        f.write(f"{recid},{word(3)},{word(2)},{word(2)},{rnd.randrange(100000):05d},"
                f"19{rnd.randrange(30, 99)}-{rnd.randrange(1, 13):02d}-{rnd.randrange(1, 29):02d},{rnd.randrange(1000000)}\n")
with open(f"{demo}/notes.csv", "w") as f:
    f.write("RECID:C:16,CONTACT:C:16,SUBJECT:C:60\n")
    for i in range(rows // 2):
        f.write("n%015x,%016x,%s %s\n" % (i, (i * 7) % rows, word(2), word(3)))
with open(f"{demo}/dictables.csv", "w") as f:
    f.write("Type:C:1,Table_Name:C:40\n")
    f.write("U,Contacts.ADT\nU,Notes.ADT\nS,SysLock.adt\n")
with open(f"{demo}/syslock.csv", "w") as f:
    f.write("LOCKID:I\n1\n")
PY
"$DEMO/App/dbtool" import "$DEMO/DB/Contacts.ADT" "$DEMO/contacts.csv"
"$DEMO/App/dbtool" import "$DEMO/DB/Notes.ADT" "$DEMO/notes.csv"
"$DEMO/App/dbtool" import "$DEMO/DB/DicTables.ADT" "$DEMO/dictables.csv"
"$DEMO/App/dbtool" import "$DEMO/DB/SysLock.adt" "$DEMO/syslock.csv"
rm -f "$DEMO"/*.csv

printf '[*Not4Rmv]\r\nNotes.ADT=N\r\n[VlxInxVxx!!!###_1800_DicTables.ADT]\r\nTABLE_NAME=Table_Name*ixCaseInsensitive\r\n[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=LASTNAME;FIRSTNAME*ixCaseInsensitive\r\nZIP=ZIP;SCORE\r\n[Notes.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nCONTACT=CONTACT\r\n' > "$DEMO/DBSys/VorlexInx.ini"
printf '[Contacts.ADT]\r\nCITY=CITY*ixDescending\r\n' > "$DEMO/DBSys/VorlexInx2.ini"
printf '[Contacts.ADT]\r\nInxPageSize=4096\r\n' > "$DEMO/DBSys/VorlexInx3.ini"

# English language resources beside the program (help links are offered
# only in English) and the help link file they point into.
cp src/app/RebuildIndexes.ENU "$DEMO/App/"
printf '; support pages\r\n203000000="https://support.example.com/search?q=*VlxToken*","How to update","Opens the support page about this message","","1"\r\n900000016="https://support.example.com/remote-control","Learn More","Allowing remote control use","",""\r\n' \
  > "$DEMO/DBSys/vlxlnks.vlx"

echo "demo installation: $DEMO"
if [ -n "${DEMO_SERVER:-}" ]; then source scripts/demo-server.sh; fi
[ -n "${DEMO_NO_GUI:-}" ] && exit 0

if [ -n "${DISPLAY:-}" ]; then
  if [ -n "${DEMO_SERVER:-}" ]; then "$DEMO/App/RebuildIndexes"; exit; fi
  exec "$DEMO/App/RebuildIndexes"
fi
# No display: run the program on a virtual screen and take its pictures.
start_xvfb
if [ -n "${DEMO_SERVER_PID:-}" ]; then
  # start_xvfb's trap replaced the one that stops the server: stop both.
  trap 'kill $DEMO_SERVER_PID 2>/dev/null || true; kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true' EXIT
fi
rm -f "$DEMO"/*.png
QT_QPA_PLATFORM=xcb "$DEMO/App/RebuildIndexes" &
app=$!

# Waits (at most about 30 s) for a window whose title matches $1; its id.
window_of() {
  local id=""
  for _ in $(seq 1 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}

main=$(window_of '^Rebuild Indexes $')
[ -n "$main" ] || { echo "demo: the main window did not appear" >&2; kill "$app"; exit 1; }
sleep 0.5
import -window root "$DEMO/screenshot.png"

# Press Start (the button sits at 108,70 and is 75 x 25 in the window).
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 108 + 37)) $((Y + 70 + 12)) click 1

progress=$(window_of '^Index Building Status$')
if [ -n "$progress" ]; then
  sleep 0.5
  import -window root "$DEMO/progress.png"
else
  echo "demo: the progress window was not seen" >&2
fi

# The outcome box carries the program's name as its title.
outcome=$(window_of '^RebuildIndexes$')
if [ -n "$outcome" ]; then
  sleep 0.5
  import -window root "$DEMO/outcome.png"
  # No window manager gives the box the keyboard: give it, then press OK.
  xdotool windowfocus "$outcome" key Return || echo "demo: the outcome box could not be answered" >&2
else
  echo "demo: the outcome box was not seen" >&2
fi
sleep 0.5
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
echo "screenshots: $DEMO/screenshot.png $DEMO/progress.png $DEMO/outcome.png"
echo "activity log: $DEMO/Logs/UserLog_RebuildIndexes.TXT"
