#!/usr/bin/env bash
# Photographs the message dialog with a help link and the remote-control
# notice on a virtual X server, each over the main window, from a small
# installation laid out in build/screens/ (English resources beside the
# program, a help link file in DBSys, the product name in the settings file).
#
#   scripts/message-screens.sh     writes build/screens/message-with-link.png
#                                  and build/screens/notice.png (the windows),
#                                  plus *-screen.png (the whole screen)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" --target message_screens

BIN=build/default/bin
OUT=build/screens
rm -rf "$OUT"
mkdir -p "$OUT/App" "$OUT/DB" "$OUT/DBSys" "$OUT/Logs"
cp "$BIN/message_screens" "$BIN/libriplatform.so" "$OUT/App/"
cp src/app/RebuildIndexes.ENU "$OUT/App/message_screens.ENU"
printf '[GENERAL]\r\nProductName=VorlexCRM\r\n' > "$OUT/App/VorlexCRM.ini"
printf '; support pages\r\n203000000="https://support.example.com/search?q=*VlxToken*","How to update","Opens the support page about this message","","1"\r\n900000016="https://support.example.com/remote-control","Learn More","Allowing remote control use","",""\r\n' \
  > "$OUT/DBSys/vlxlnks.vlx"

shoot() {  # shoot <mode> <window title> <name>
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c "
    '$OUT/App/message_screens' $1 &
    app=\$!
    sleep 3
    import -window root '$OUT/$3-screen.png'
    id=\$(xwininfo -root -tree | awk -v t='\"$2\"' 'index(\$0, t) { print \$1; exit }')
    [ -n \"\$id\" ] && import -window \"\$id\" '$OUT/$3.png'
    kill \$app
  "
  echo "screenshot: $OUT/$3.png"
}

shoot message RebuildIndexes message-with-link
shoot notice Message notice
