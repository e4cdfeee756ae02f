#!/usr/bin/env bash
# XT_About as a real window: runs a Windows program that calls it under Wine on an X server of
# its own (Xvfb), waits for a window titled "About", takes a screenshot, presses Enter in the
# window and checks that the program ended with 0 (and printed EXPECTED, when given).
# Every wait is bounded; Xvfb and the program are ended on every path.
# Usage: about_window.sh RUN_UNDER_WINE PREFIX SCREENSHOT EXPECTED PROGRAM [ARGUMENT...]
set -uo pipefail
runner=$1
prefix=$2
screenshot=$3
expected=$4
shift 4

work=$(mktemp -d)
xvfb_pid=""
program_pid=""

cleanup() {
  if [ -n "$program_pid" ]; then
    kill -KILL "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    # The prefix's Wine session outlives the program briefly: let it end on this display, or
    # end it (no other test uses the prefix while this one runs).
    if ! WINEPREFIX=$prefix timeout 30 wineserver -w 2>/dev/null; then
      WINEPREFIX=$prefix wineserver -k 2>/dev/null
      WINEPREFIX=$prefix timeout 10 wineserver -w 2>/dev/null
    fi
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
  echo "about_window: $*" >&2
  if [ -s "$work/output" ]; then
    sed 's/^/  program: /' "$work/output" >&2
  fi
  exit 1
}

# Runs COMMAND every 0.2 s until it succeeds; fails after SECONDS.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

for tool in Xvfb:xvfb xdotool:xdotool import:imagemagick convert:imagemagick wineserver:wine; do
  command -v "${tool%%:*}" >/dev/null || fail "${tool%%:*} is missing (Debian's ${tool##*:})"
done

# A Wine session draws on the display of the process that started it: one still running without
# a display would keep the box off this screen. CTest runs this test alone; wait for the last
# test's session to end.
WINEPREFIX=$prefix timeout 60 wineserver -w ||
  fail "the Wine session in $prefix did not end within 60 s"

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_until 20 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"

"$runner" "$prefix" "$@" >"$work/output" 2>&1 &
program_pid=$!

window=""
find_window() {
  window=$(xdotool search --name '^About$' 2>/dev/null | head -n 1)
  [ -n "$window" ]
}
wait_until 60 find_window || fail "no window titled About appeared within 60 s"

# The screenshot, once the box has been drawn: its area is light, the empty screen black.
box_is_drawn() {
  local WINDOW X Y WIDTH HEIGHT SCREEN mean
  eval "$(xdotool getwindowgeometry --shell "$window")" || return 1
  import -window root "$screenshot" 2>/dev/null || return 1
  mean=$(convert "$screenshot" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage \
           -format '%[fx:mean]' info: 2>/dev/null) || return 1
  awk -v mean="$mean" 'BEGIN { exit !(mean > 0.5) }'
}
wait_until 20 box_is_drawn ||
  fail "the About window was not drawn within 20 s (screenshot: $screenshot)"
echo "about_window: screenshot of the box in $screenshot"

# Enter in the box presses its OK button, and the call returns.
xdotool windowfocus --sync "$window" || fail "cannot give the About window the keyboard focus"
xdotool key --window "$window" Return || fail "cannot press Enter in the About window"
program_exited() { ! kill -0 "$program_pid" 2>/dev/null; }
wait_until 30 program_exited || fail "the program did not end within 30 s of Enter"
wait "$program_pid"
status=$?
program_pid=""

[ "$status" -eq 0 ] || fail "the program ended with $status, not 0"
if [ -n "$expected" ] && ! tr -d '\r' <"$work/output" | grep -qxF "$expected"; then
  fail "the program did not print \"$expected\""
fi
! find_window || fail "a window titled About is still there"
echo "about_window: the box appeared, Enter closed it, and the program ended with 0"
