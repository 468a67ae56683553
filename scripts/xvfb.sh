# Sourced: makes sure a display is there. Uses $DISPLAY when it is set (and QUORLEX_OWN_DISPLAY
# is not), otherwise starts an Xvfb on a free display number and stops it on exit.
start_xvfb() {
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    QUORLEX_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
    kill "$QUORLEX_XVFB_PID" 2>/dev/null
  done
  echo "cannot start Xvfb" >&2
  return 1
}
stop_xvfb() { [ -n "${QUORLEX_XVFB_PID:-}" ] && kill "$QUORLEX_XVFB_PID" 2>/dev/null; true; }
if [ -z "${DISPLAY:-}" ] || [ -n "${QUORLEX_OWN_DISPLAY:-}" ]; then
  start_xvfb
fi
