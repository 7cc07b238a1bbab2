#!/usr/bin/env bash
# The Preferences window against the virtual Kestrune through a private JACK
# server, driven by clicks: the MIDI ports, the audio driver, the audio input
# "Kestrune Jack 1" and its channel; the level meter lights with the machine's
# signal and goes dark when it is muted; Cancel restores what was there; OK
# with "Fine Tune" makes the next calibration a Fine Tune run, which completes.
# Also captures the About window.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
e2e_init preferences_ui
e2e_start_jack
e2e_start_xvfb

TITLE="Kestrune Tuning Utility"   # the main, Preferences and knob windows share it
APP_AUDIO="Kestrune Tuning Utility"
SYNTH_OUT="Kestrune Jack 1:synth_out"
CAPTURE="system:capture_1"

# List rows of the Preferences window: centre of row i is at y 112 + 35 i.
LIST_X=290
row_y() { echo $(( 112 + 35 * $1 )); }
MIDI_IN_ROW=0; MIDI_OUT_ROW=1; DRIVER_ROW=2; INPUT_ROW=3; CHANNEL_ROW=6; ALGORITHM_ROW=7
OK_X=337; OK_Y=468            # Apply Button (280, 440, 115 x 56)
CANCEL_X=40; CANCEL_Y=468     # Cancel Button (5, 440, 115 x 56), left of the meter
CONTINUE_X=300; CONTINUE_Y=278

# The windows titled $TITLE, told apart by size.
window_sized() {   # window_sized MIN_W MAX_W MIN_H MAX_H
    local w
    for w in $(xdotool search --onlyvisible --name "^$TITLE\$" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        if [ "$WIDTH" -ge "$1" ] && [ "$WIDTH" -le "$2" ] && [ "$HEIGHT" -ge "$3" ] && [ "$HEIGHT" -le "$4" ]; then
            echo "$w"; return 0
        fi
    done
    return 1
}
main_window() { window_sized 650 800 480 600; }
prefs_window() { window_sized 390 420 480 600; }
knob_window() { window_sized 390 420 300 400; }
prefs_gone() { ! prefs_window >/dev/null; }
knob_gone() { ! knob_window >/dev/null; }


# open_popup WINDOW X Y: a click that opens a menu or a list's pop-up. A window
# still busy with the previous choice may drop the click: it is repeated.
open_popup() {
    local attempt
    for attempt in 1 2 3; do
        e2e_click_at "$1" "$2" "$3"
        e2e_wait 2 e2e_window_id menu && return 0
    done
    e2e_fail "no pop-up opened at $2,$3"
}

# choose_popup_item INDEX ITEM_HEIGHT: a click on an item of the pop-up just opened.
choose_popup_item() {
    e2e_wait 3 e2e_window_id menu || e2e_fail "no pop-up opened"
    sleep 0.5   # a click right after a pop-up opens counts as the end of the opening drag
    local wid; wid="$(e2e_window_id menu)"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    e2e_click_popup_item "$wid" $(( WIDTH / 2 )) $(( 2 + $2 * $1 + $2 / 2 )) || e2e_fail "the pop-up stayed open"
}
popup_items() {   # popup_items ITEM_HEIGHT: how many items the open pop-up has
    local wid; wid="$(e2e_window_id menu)" || return 1
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    echo $(( (HEIGHT - 4) / $1 ))
}
choose_from_list() {   # choose_from_list ROW INDEX
    local p; p="$(prefs_window)" || e2e_fail "no Preferences window"
    open_popup "$p" "$LIST_X" "$(row_y "$1")"
    choose_popup_item "$2" 23
}
open_preferences() {
    local m; m="$(main_window)" || e2e_fail "no main window"
    open_popup "$m" 23 11                   # File
    choose_popup_item 1 22                  # Preferences
    e2e_wait 5 prefs_window || e2e_fail "the Preferences window did not open"
    sleep 0.5
}

# Colour under the centre of LED i of the meter (100, 460) in the Preferences window.
led() {
    local p; p="$(prefs_window)" || e2e_fail "no Preferences window"
    eval "$(xdotool getwindowgeometry --shell "$p")"
    local rgb
    rgb=$(import -window root -crop "1x1+$(( X + 111 + 16 * $1 ))+$(( Y + 468 ))" +repage -depth 8 txt:- 2>/dev/null \
          | grep -oE '#[0-9A-Fa-f]{6}' | head -n 1)
    [ -n "$rgb" ] || { echo unknown; return; }
    set -- $(( 16#${rgb:1:2} )) $(( 16#${rgb:3:2} )) $(( 16#${rgb:5:2} ))
    if [ "$1" -gt $(( $2 + 50 )) ] && [ "$1" -gt $(( $3 + 50 )) ]; then echo red
    elif [ "$2" -gt $(( $1 + 40 )) ] && [ "$2" -gt $(( $3 + 40 )) ]; then echo green
    else echo off; fi
}
meter_is() { [ "$(led 0) $(led 1) $(led 2)" = "$*" ]; }

# Any of JACK's system capture ports feeds the utility.
system_connected() {
    local c i
    for c in 1 2; do
        for i in 1 2; do
            e2e_jack_connected "system:capture_$c" "$APP_AUDIO:in_$i" && return 0
        done
    done
    return 1
}

# JACK's list of audio input "devices": clients with output ports, ours left out.
jack_input_devices() {
    jack_lsp -p 2>/dev/null | awk -v self="$APP_AUDIO" '
        /^[^ \t]/ { port = $0; next }
        /properties:.*output/ { c = port; sub(/:.*/, "", c); if (c != self && !(c in seen)) { seen[c] = 1; print c } }'
}
index_of() { awk -v n="$1" '$0 == n { print NR - 1; found = 1; exit } END { exit !found }'; }

# ---------------------------------------------------------------------------
# The utility starts before the machine: no MIDI port is open. The machine
# connects its synth output to no one: only the utility's choice routes it.
e2e_start_app
e2e_start_sim --version 1.05 --connect-to "No Such Client"
e2e_wait 5 e2e_jack_connected "$CAPTURE" "$APP_AUDIO:in_1" || e2e_fail "the utility did not start on JACK's system input"

# About, from the File menu; a click closes it.
before="$(xdotool search --onlyvisible --name '.*' | sort)"
open_popup "$(main_window)" 23 11
choose_popup_item 0 22
about=""
for _ in $(seq 1 40); do
    about="$(comm -13 <(echo "$before") <(xdotool search --onlyvisible --name '.*' | sort) | head -n 1)"
    [ -n "$about" ] && break
    sleep 0.05
done
[ -n "$about" ] || e2e_fail "the About window did not open"
sleep 0.5
e2e_screenshot "about"
e2e_click_at "$about" 200 150
e2e_wait 3 bash -c "! xdotool search --onlyvisible --name '.*' | grep -qx '$about'" || e2e_fail "a click did not close the About window"
e2e_pass "About opened from the File menu and closed on a click"

# ---------------------------------------------------------------------------
# 1. MIDI ports and the driver, by clicking; OK.
open_preferences
e2e_screenshot "preferences"
# The windows are exactly their pictures: no band of window below them.
eval "$(xdotool getwindowgeometry --shell "$(prefs_window)")"
[ "${WIDTH}x${HEIGHT}" = "400x500" ] || e2e_fail "the Preferences window is ${WIDTH}x${HEIGHT}, its picture 400x500"
eval "$(xdotool getwindowgeometry --shell "$(main_window)")"
[ "${WIDTH}x${HEIGHT}" = "700x524" ] || e2e_fail "the main window is ${WIDTH}x${HEIGHT}, its picture 700x500 below a 24-pixel menu bar"
e2e_pass "the Preferences window is 400x500 and the main window 700x524, as their pictures and the menu bar"

choose_from_list $MIDI_IN_ROW 0
e2e_wait 5 e2e_jack_connected "Kestrune Jack 1:midi_out" "Kestrune Tuning Utility MIDI:in_1" \
    || e2e_fail "choosing MIDI IN did not open the machine's output"
choose_from_list $MIDI_OUT_ROW 0
e2e_wait 5 e2e_jack_connected "Kestrune Tuning Utility MIDI:out_1" "Kestrune Jack 1:midi_in" \
    || e2e_fail "choosing MIDI OUT did not open the machine's input"
e2e_wait 5 grep -q " TX F0 7E 00 06 02 " "$E2E_SIM_LOG" || e2e_fail "the machine was not asked for its version"
e2e_pass "MIDI IN and MIDI OUT chosen by clicking; the machine answers the version query"

open_popup "$(prefs_window)" "$LIST_X" "$(row_y $DRIVER_ROW)"
sleep 0.5
e2e_screenshot "preferences-list-open"
drivers="$(popup_items 23)"
[ "$drivers" -eq 2 ] || e2e_fail "expected ALSA and JACK in the driver list, got $drivers items"
choose_popup_item 0 23                                   # ALSA: no device here
e2e_wait 8 bash -c "! jack_lsp 2>/dev/null | grep -qF '$APP_AUDIO:in_1'" || e2e_fail "choosing ALSA did not close the JACK input"
sleep 2   # the device manager pauses 1.5 s after closing a driver's device
choose_from_list $DRIVER_ROW 1                           # JACK again
e2e_wait 8 e2e_jack_connected "$CAPTURE" "$APP_AUDIO:in_1" || e2e_fail "choosing JACK did not reopen its input"
e2e_pass "the driver list switches ALSA and JACK by clicking"

e2e_click_at "$(prefs_window)" "$OK_X" "$OK_Y"
e2e_wait 5 prefs_gone || e2e_fail "OK did not close the Preferences window"

# ---------------------------------------------------------------------------
# 2. A calibration sounds the reference note; choose the machine's input and
#    channel while it sounds: the meter follows at once.
e2e_click_at "$(main_window)" 140 442                        # CALIBRATE TUNING (left end)
e2e_wait 5 knob_window || e2e_fail "the calibration did not start (no knob window)"
e2e_wait 5 grep -q " NOTE on 24 " "$E2E_SIM_LOG" || e2e_fail "the reference note does not sound"

open_preferences
e2e_wait 3 meter_is off off off || e2e_fail "the meter is lit on the silent system input: $(led 0) $(led 1) $(led 2)"

devices="$(jack_input_devices)"
index="$(echo "$devices" | index_of "Kestrune Jack 1")" || e2e_fail "no input device Kestrune Jack 1 in: $(echo $devices)"
choose_from_list $INPUT_ROW "$index"
e2e_wait 8 bash -c "! jack_lsp -c 2>/dev/null | grep -A3 -xF '$CAPTURE' | grep -qF '$APP_AUDIO:'" \
    || e2e_fail "choosing the audio input did not leave the system input"
system_connected && e2e_fail "the system input still feeds the utility"
sleep 1
meter_is off off off || e2e_fail "the meter lit before the machine's channel was chosen: $(led 0) $(led 1) $(led 2)"

channels="$(jack_lsp -p 2>/dev/null | awk '/^Kestrune Jack 1:/ { p = $0; next } /^[^ \t]/ { p = ""; next } p != "" && /output/ { sub(/^Kestrune Jack 1:/, "", p); print p }')"
channel="$(echo "$channels" | index_of "synth_out")" || e2e_fail "no synth_out among the machine's outputs: $(echo $channels)"
choose_from_list $CHANNEL_ROW "$channel"
e2e_wait 5 e2e_jack_connected "$SYNTH_OUT" "$APP_AUDIO:in_$(( channel + 1 ))" || e2e_fail "the channel choice did not connect synth_out"
e2e_wait 5 meter_is red green off || e2e_fail "the meter does not show the machine's -8 dBFS signal: $(led 0) $(led 1) $(led 2)"
e2e_screenshot "preferences-meter-lit"
e2e_pass "audio input Kestrune Jack 1 and channel synth_out chosen by clicking; the meter lights (red, green)"

e2e_sim_cmd mute
e2e_wait 8 meter_is off off off || e2e_fail "the meter did not go dark on mute: $(led 0) $(led 1) $(led 2)"
e2e_screenshot "preferences-muted"
e2e_sim_cmd unmute
e2e_wait 5 meter_is red green off || e2e_fail "the meter did not light again after unmute"
e2e_pass "the meter goes dark when the machine is muted"

choose_from_list $ALGORITHM_ROW 1                        # Fine Tune
e2e_click_at "$(prefs_window)" "$OK_X" "$OK_Y"
e2e_wait 5 prefs_gone || e2e_fail "OK did not close the Preferences window"
e2e_jack_connected "$SYNTH_OUT" "$APP_AUDIO:in_$(( channel + 1 ))" || e2e_fail "OK undid the input choice"

# ---------------------------------------------------------------------------
# 3. Changes then Cancel: the machine's input and Fine Tune come back.
open_preferences
choose_from_list $INPUT_ROW "$(jack_input_devices | index_of system)"
e2e_wait 8 system_connected || e2e_fail "choosing the system input did not take effect"
choose_from_list $ALGORITHM_ROW 0                        # Sweep Tune
e2e_click_at "$(prefs_window)" "$CANCEL_X" "$CANCEL_Y"
e2e_wait 5 prefs_gone || e2e_fail "Cancel did not close the Preferences window"
e2e_wait 8 e2e_jack_connected "$SYNTH_OUT" "$APP_AUDIO:in_$(( channel + 1 ))" || e2e_fail "Cancel did not restore the machine's input"
system_connected && e2e_fail "Cancel left the system input connected"
e2e_pass "Cancel restored the audio input and channel"

# ---------------------------------------------------------------------------
# 4. Continue: the run is a Fine Tune run (it starts from the machine's stored
#    value of note 24, not from the lowest pitch), and it completes.
started=""
for _ in $(seq 1 20); do
    k="$(knob_window)" || { started=1; break; }
    e2e_click_at "$k" "$CONTINUE_X" "$CONTINUE_Y"
    sleep 1
done
[ -n "$started" ] || knob_gone || e2e_fail "Continue did not start the run"
e2e_wait 150 e2e_window_id "Calibration Complete" || e2e_fail "the Fine Tune run did not complete"
e2e_screenshot "calibration-complete"
grep -q " STATE commit" "$E2E_SIM_LOG" || e2e_fail "the calibration was not committed"
values="$(grep -oE ' VALUE 24 [0-9]+ ' "$E2E_SIM_LOG" | awk '{ print $3 }' | head -n 3 | tr '\n' ' ')"
set -- $values
[ "$#" -eq 3 ] && [ "$1" -eq 65535 ] && [ "$2" -eq 65535 ] && [ "$3" -ne 65535 ] \
    || e2e_fail "not a Fine Tune start: note 24 was given $values"
e2e_pass "OK with Fine Tune made the run a Fine Tune run (note 24: $values...), which completed"

e2e_log "screenshots: about, preferences, preferences-list-open, preferences-meter-lit, preferences-muted, calibration-complete (in $E2E_DIR)"
