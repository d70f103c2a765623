# Helpers for driving the windowed client on an X display with xdotool, as
# a user would with the keyboard. Source it.

# wait_window PATTERN [SECONDS] [ID_TO_SKIP...]: prints the id of the first
# visible window whose name matches PATTERN (a regular expression) and is
# not one of the ids given; fails after SECONDS (default 30).
wait_window() {
  local pattern=$1
  local limit=${2:-30}
  shift $(($# < 2 ? $# : 2))
  local end=$((SECONDS + limit))
  local id skip found
  while [ "$SECONDS" -lt "$end" ]; do
    for id in $(xdotool search --onlyvisible --name "$pattern" 2>/dev/null); do
      found=$id
      for skip in "$@"; do
        [ "$id" = "$skip" ] && found=
      done
      if [ -n "$found" ]; then
        echo "$found"
        return 0
      fi
    done
    sleep 0.1
  done
  echo "no window named '$pattern' appeared within ${limit}s" >&2
  return 1
}

# wait_gone ID [SECONDS]: waits until the window is no longer visible.
wait_gone() {
  local id=$1
  local end=$((SECONDS + ${2:-30}))
  while [ "$SECONDS" -lt "$end" ]; do
    if ! xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qx "$id"; then
      return 0
    fi
    sleep 0.1
  done
  echo "window $id did not close" >&2
  return 1
}

# press ID KEY...: gives the window the keyboard focus and presses the keys.
press() {
  local id=$1
  shift
  xdotool windowfocus --sync "$id"
  xdotool key --clearmodifiers --delay 50 "$@"
}

# type_text ID TEXT: types TEXT into the window's focused field.
type_text() {
  xdotool windowfocus --sync "$1"
  xdotool type --delay 10 "$2"
}
