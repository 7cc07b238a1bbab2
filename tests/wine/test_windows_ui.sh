#!/usr/bin/env bash
# The Windows build under Wine on a private Xvfb display, with no MIDI or
# audio device: the utility starts and draws its main window as the Linux
# build does, File > Preferences lists Windows' audio drivers, the firmware
# update and About windows open, and the main window's close button quits
# with exit status 0 and no crash.
set -euo pipefail
source "$(dirname "$0")/../e2e/lib.sh"
E2E_TIMEOUT=240
E2E_APP="$E2E_BUILD/KestruneTuningUtility_artefacts/Release/Kestrune Tuning Utility.exe"
# No window-manager atoms to prepare: Wine frames and closes its windows itself.
E2E_CLOSE=true
e2e_init windows_ui
trap 'e2e_cleanup; WINEPREFIX="$E2E_BUILD/wine" wineserver -k 2> /dev/null || true' EXIT
# A command that fails outside a check still names itself.
trap 'e2e_log "FAIL: line $LINENO: $BASH_COMMAND"' ERR

# Wine draws each window's frame (border and title bar) around the content
# the Linux tests know: sizes and clicks are the content's, offset by it.
FRAME_X=0; FRAME_Y=0
framed() { e2e_window_sized "$1" $(( $2 + 2 * FRAME_X )) $(( $3 + FRAME_Y + FRAME_X )); }
main_window() { framed "$E2E_MAIN_TITLE" 700 524; }
prefs_window() { framed "$E2E_MAIN_TITLE" 400 500; }
prefs_gone() { ! prefs_window > /dev/null; }
# Wine reads the mouse buttons' state when it polls: the button is held a moment.
press_at() {
    xdotool mousemove --window "$1" "$2" "$3"
    sleep 0.3
    xdotool mousedown 1
    sleep 0.15
    xdotool mouseup 1
}
# A click in a framed window's content; without a window manager a window
# is brought forward by hand.
click_in() {
    xdotool windowraise "$1"
    press_at "$1" $(( $2 + FRAME_X )) $(( $3 + FRAME_Y ))
}
# content_shot NAME WINDOW: the window's content alone, as the Linux tests picture it.
content_shot() {
    e2e_capture "$2" "$E2E_DIR/$1.png" "$3x$4+$FRAME_X+$FRAME_Y"
    e2e_log "screenshot $E2E_DIR/$1.png"
}

# choose WINDOW X Y INDEX ITEM_HEIGHT [SHOT]: opens the pop-up at X,Y of the
# window's content (a menu or a list), pictures it as SHOT, and chooses item INDEX.
choose() {
    local attempt menu
    for attempt in 1 2 3; do
        click_in "$1" "$2" "$3"
        e2e_wait 3 e2e_popup_open || continue
        sleep 0.3
        menu="$(e2e_window_id menu)"
        [ -n "${6:-}" ] && e2e_shot "$6" "$menu"
        press_at "$menu" 60 $(( 2 + $5 * $4 + $5 / 2 ))
        e2e_wait 3 e2e_popup_closed && return 0
        xdotool key Escape
    done
    e2e_fail "item $4 of the pop-up at $2,$3 was not chosen"
}
file_menu() { choose "$(main_window)" 20 12 "$1" 22 "${2:-}"; }
# The close button at the right end of Wine's title bar.
close_window() {
    [ -n "$1" ] || e2e_fail "no window to close"
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool windowraise "$1"
    press_at "$1" $(( WIDTH - FRAME_X - 10 )) $(( FRAME_Y / 2 + 1 ))
}

e2e_start_xvfb
"$E2E_ROOT/scripts/wine/run" "$E2E_APP" > "$E2E_DIR/app.out" 2>&1 &
APP_PID=$!
E2E_PIDS+=($APP_PID)
e2e_wait 60 e2e_window_id "$E2E_MAIN_TITLE" || e2e_fail "the main window did not appear"
eval "$(xdotool getwindowgeometry --shell "$(e2e_window_id "$E2E_MAIN_TITLE")")"
FRAME_X=$(( (WIDTH - 700) / 2 )); FRAME_Y=$(( HEIGHT - 524 - FRAME_X ))
e2e_log "the main window with Wine's frame: ${WIDTH}x$HEIGHT, content at $FRAME_X,$FRAME_Y"
MAIN=$(main_window) || e2e_fail "the main window's content is not 700 x 524"
sleep 2
e2e_shot main-window-framed "$MAIN"
content_shot main-window "$MAIN" 700 524

# The Linux build's picture of the same idle window (docs/): the pictures
# (logo, Bass Synth panel) match it pixel for pixel, and the whole window
# differs only where Wine's fonts set the text.
differing() {
    convert "$E2E_DIR/main-window.png" -crop "$1" +repage "$E2E_DIR/crop-windows.png"
    convert "$E2E_ROOT/docs/main-window.png" -crop "$1" +repage "$E2E_DIR/crop-linux.png"
    compare -metric AE -fuzz 10% "$E2E_DIR/crop-windows.png" "$E2E_DIR/crop-linux.png" null: 2>&1 || true
}
for row in "240x40+10+28 0" "210x390+480+80 400" "700x524+0+0 55000"; do
    set -- $row
    count=$(differing "$1")
    e2e_log "pixels of $1 differing from the Linux build's main window: $count (at most $2)"
    [ "${count%%.*}" -le "$2" ] 2>/dev/null || e2e_fail "the main window is not drawn as on Linux ($count pixels of $1 differ)"
done
e2e_pass "the main window is drawn as on Linux"

# Preferences: Windows' audio drivers. There is no MIDI port or audio device here.
file_menu 1 file-menu
e2e_wait 10 prefs_window || e2e_fail "the Preferences window did not open"
PREFS=$(prefs_window)
sleep 1
content_shot preferences "$PREFS" 400 500
choose "$PREFS" 290 $(( 112 + 35 * E2E_DRIVER_ROW )) 0 23 audio-drivers
drivers=$(tesseract "$E2E_DIR/audio-drivers.window.png" - 2> /dev/null | grep . | tr '\n' '|')
e2e_log "audio drivers: $drivers"
for driver in "Windows Audio" "DirectSound"; do
    [[ "$drivers" == *"$driver"* ]] || e2e_fail "the audio drivers do not name $driver: $drivers"
done
click_in "$PREFS" 40 468   # CANCEL
e2e_wait 5 prefs_gone || e2e_fail "Cancel did not close the Preferences window"
e2e_pass "Preferences lists Windows' audio drivers"

FW="Kestrune Firmware Update"
file_menu 2   # Update Firmware
e2e_wait 10 e2e_window_id "$FW" || e2e_fail "File > Update Firmware opened no window"
sleep 1
e2e_shot firmware-window "$(e2e_window_id "$FW")"
close_window "$(e2e_window_id "$FW")"
e2e_wait 5 e2e_window_gone "$FW" || e2e_fail "the firmware update window did not close"

# The About window has no frame.
about() { e2e_list_windows | awk '$2 == 402 && $3 == 313 { print $1 }' | grep .; }
about_gone() { ! about > /dev/null; }
file_menu 0   # About
e2e_wait 10 about || e2e_fail "File > About opened no window: $(e2e_list_windows | tr '\n' '|')"
sleep 1
e2e_shot about "$(about)"
press_at "$(about)" 200 163
e2e_wait 5 about_gone || e2e_fail "a click did not close the About window"
e2e_pass "the firmware update and About windows open and close"

close_window "$MAIN"
e2e_wait 20 bash -c "! kill -0 $APP_PID 2> /dev/null" || e2e_fail "the close button did not quit the utility"
status=0
wait "$APP_PID" || status=$?
e2e_forget_pid "$APP_PID"
e2e_screenshot after-quit
e2e_window_gone "Program Error" || e2e_fail "Wine reports a crash"
[ "$status" -eq 0 ] || e2e_fail "the utility quit with status $status"
e2e_pass "the main window's close button quits with status 0"
