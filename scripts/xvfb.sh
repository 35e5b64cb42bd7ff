# Sourced by test.sh and demo.sh: start_xvfb starts a virtual X server on a
# free display, exports DISPLAY for it and stops it when the script ends.
start_xvfb() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  # The server writes the display number it chose to file descriptor 3.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local number
  if ! read -r -t 20 number <"$fifo"; then
    rm -f "$fifo"
    echo "xvfb: the virtual X server did not start" >&2
    return 1
  fi
  rm -f "$fifo"
  export DISPLAY=":${number}"
  trap 'kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true' EXIT
  echo "xvfb: virtual X server on display ${DISPLAY}"
}
