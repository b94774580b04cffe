# shellcheck shell=bash
# SPDX-License-Identifier: GPL-3.0-or-later
# An X server of its own for a window without a display (sourced by scripts).
#   start_xvfb DIR    starts Xvfb on a free display, with its cookie in DIR/auth;
#                     exports DISPLAY and XAUTHORITY, sets XVFB_PID
#   stop_xvfb         ends it
# Xvfb picks a free display and writes its number once it takes clients. Its
# cookie holds for any display number, as the number is not known beforehand.
# (xauth's numeric form: any family and address, no number, MIT-MAGIC-COOKIE-1.)
# Xvfb runs in a session of its own, so a Ctrl-C in the terminal does not reach it.
start_xvfb() {
  local dir=$1
  : >"$dir/auth"
  echo "ffff 0000  0000  0012 4d49542d4d414749432d434f4f4b49452d31 0010 $(mcookie)" |
    xauth -q -f "$dir/auth" nmerge -
  setsid Xvfb -displayfd 3 -auth "$dir/auth" -screen 0 1280x1024x24 -nolisten tcp \
    3>"$dir/display" 2>"$dir/xvfb.log" &
  XVFB_PID=$!
  while [ ! -s "$dir/display" ] && kill -0 "$XVFB_PID" 2>/dev/null; do sleep 0.1; done
  if [ ! -s "$dir/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    return 1
  fi
  DISPLAY=":$(cat "$dir/display")"
  export DISPLAY XAUTHORITY="$dir/auth"
}

stop_xvfb() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill -TERM "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}
