# shellcheck shell=bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the vyx-cfg window with the keyboard alone, as a user without a mouse
# would, through xdotool. Source this file, then
#   drive_window PORT DEVICE
# with DISPLAY (and XAUTHORITY) set and a vyx-cfg window just started (it may
# still be coming up): no device loaded, so the register tree has the focus.
# It waits up to DRIVE_WINDOW_WAIT seconds (default 60) for the window, then
#   1. types PORT into the port field and Enter: the port opens;
#   2. types DEVICE (a name of the device list, e.g. VXT-20F.dat) into the device
#      field and Enter: its registers fill the tree;
#   3. clicks into the tree below its rows, goes to its first row and down to
#      the first register of the first group (an expanded group, as Pomiar of
#      VXT-20F.dat) and presses F5: it is read.
# The result line appears in the upper pane (and the window's journal) once the
# reply is in; checking it is the caller's part. Returns 1 when no window came.
#
# The way through the controls is the window's focus chain (the order the
# controls are made in, ui/WindowLayout.cpp): the tree, the two panes, the
# panel, then Port, Szybkość, Parzystość, Adres, Czas odp., Przerwa, Echo, Powrót, Reset,
# the device field, Okres, Monitorowanie, Wykres and, for a calibratable device,
# the calibration group. Shift+Tab goes backwards and never types into the result pane, which
# takes Tab as a character. A control added to the panel changes the counts
# below.

_drive_keys() {  # _drive_keys KEY...: pressed one after another
  xdotool key --delay 80 "$@"
}

_drive_type() {  # _drive_type TEXT: replaces the text of the focused field
  xdotool key --delay 80 ctrl+a
  xdotool type --delay 40 -- "$1"
}

drive_window() {
  local port=$1 device=$2 id="" waited=0
  while [ -z "$id" ]; do
    id=$(xdotool search --onlyvisible --name '^vyx-cfg$' 2>/dev/null | head -1 || true)
    if [ -z "$id" ]; then
      if [ "$waited" -ge "$((${DRIVE_WINDOW_WAIT:-60} * 10))" ]; then
        echo "drive_window: no window titled vyx-cfg on $DISPLAY" >&2
        return 1
      fi
      sleep 0.1
      waited=$((waited + 1))
    fi
  done
  xdotool windowfocus --sync "$id"
  sleep 1  # the window's first layout and activation
  # The tree takes the focus (a click in it, below where rows would be).
  xdotool mousemove --window "$id" 100 650 click 1
  sleep 0.5

  # From the tree back over Wykres, Monitorowanie, Okres, the device field,
  # Reset, Powrót, Echo, Przerwa, Czas odp., Adres, Parzystość and Szybkość to
  # the port field.
  _drive_keys shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab \
    shift+Tab shift+Tab shift+Tab
  _drive_type "$port"
  _drive_keys Return
  # On over Szybkość, Parzystość, Adres, Czas odp., Przerwa, Echo, Powrót and
  # Reset to the device field.
  _drive_keys Tab Tab Tab Tab Tab Tab Tab Tab Tab
  _drive_type "$device"
  _drive_keys Return
  # Into the tree with a click below its rows (the way back by Shift+Tab
  # passes the panel's scroll area where it has scroll bars, as under wine),
  # to its first row, the first group; down to its first register, and read it.
  xdotool mousemove --window "$id" 100 650 click 1
  sleep 0.5
  _drive_keys Home Down F5
}
