#!/usr/bin/env bash
# The Preferences window driven by clicks, against the virtual Kestrune
# started after the utility and routing its audio to no one; then the Fine
# Tune run chosen there, through a MIDI line flooded with noise.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
E2E_TIMEOUT=285
e2e_init preferences_ui

SEED=1
KNOB=0
APP="$E2E_MAIN_TITLE"
SYNTH_OUT="Kestrune Jack 1:synth_out"
NOISE_BYTES_PER_SECOND=40000
system_connected() { jack_lsp -c system:capture_ 2>/dev/null | grep -qF "$APP:in_"; }
system_gone() { ! system_connected; }
# JACK's audio input "devices": clients with output ports, ours left out.
index_of_device() {
    jack_lsp -p 2>/dev/null | awk -v self="$APP" '/^[^ \t]/ { port = $0; next }
        /properties:.*output/ { c = port; sub(/:.*/, "", c); if (c != self && !(c in seen)) { seen[c] = 1; print c } }' \
        | awk -v n="$1" '$0 == n { print NR - 1; found = 1; exit } END { exit !found }'
}

e2e_start_jack
e2e_start_xvfb
e2e_start_app   # before the machine: no MIDI port is open
e2e_start_sim --seed "$SEED" --knob "$KNOB" --connect-to "No Such Client"
e2e_wait 5 e2e_jack_connected system:capture_1 "$APP:in_1" || e2e_fail "the utility did not start on JACK's system input"

# 1. MIDI ports and the driver.
e2e_open_preferences
e2e_shot preferences "$(e2e_prefs_window)"
e2e_file_menu 1
sleep 1
[ "$(e2e_list_windows | awk '$2 == 400 && $3 == 500' | wc -l)" -eq 1 ] || e2e_fail "a second Preferences command opened a second window"
e2e_choose_from_list $E2E_MIDI_IN_ROW 0
e2e_choose_from_list $E2E_MIDI_OUT_ROW 0
e2e_wait 5 e2e_midi_ports_open || e2e_fail "choosing MIDI IN and OUT did not open the machine's ports"
e2e_wait 5 e2e_identity_answered || e2e_fail "the machine was not asked for its version"
e2e_choose_from_list $E2E_DRIVER_ROW 0 preferences-list-open   # ALSA: no device here
e2e_wait 8 bash -c "! jack_lsp 2>/dev/null | grep -qF '$APP:in_1'" || e2e_fail "choosing ALSA did not close the JACK input"
sleep 2   # the device manager pauses 1.5 s after closing a driver's device
e2e_choose_from_list $E2E_DRIVER_ROW 1   # JACK again
e2e_wait 8 e2e_jack_connected system:capture_1 "$APP:in_1" || e2e_fail "choosing JACK did not reopen its input"
e2e_prefs_button ok
e2e_pass "one Preferences window; MIDI IN and OUT chosen; the driver switches ALSA and JACK"

# 2. Noise on the MIDI line from here to the end of the run. While the note
#    sounds, the machine's input and channel are chosen: the meter follows.
e2e_sim_cmd garbage "$NOISE_BYTES_PER_SECOND"
e2e_wait 5 grep -q ' GARBAGE rate=' "$E2E_SIM_LOG" || e2e_fail "the machine did not start the noise"
mark=$(e2e_log_mark)
e2e_click_at "$(e2e_main_window)" 140 442   # CALIBRATE TUNING
e2e_wait 5 e2e_knob_window || e2e_fail "the calibration did not start (no knob window)"
e2e_wait 5 grep -q " NOTE on 24 " "$E2E_SIM_LOG" || e2e_fail "the reference note does not sound"
e2e_open_preferences
e2e_wait 3 e2e_meter_is off off off || e2e_fail "the meter is lit on the silent system input: $(e2e_meter)"
e2e_choose_from_list $E2E_INPUT_ROW "$(index_of_device "Kestrune Jack 1")"
e2e_wait 8 system_gone || e2e_fail "choosing the audio input did not leave the system input"
sleep 1
e2e_meter_is off off off || e2e_fail "the meter lit before the machine's channel was chosen: $(e2e_meter)"
channel=$(jack_lsp -p "Kestrune Jack 1:" | awk '/^[^ \t]/ { p = $0; next } /output/ { n++; if (p == "'"$SYNTH_OUT"'") print n }')
e2e_choose_from_list $E2E_CHANNEL_ROW $(( channel - 1 ))
e2e_wait 5 e2e_jack_connected "$SYNTH_OUT" "$APP:in_$channel" || e2e_fail "the channel choice did not connect synth_out"
e2e_wait 5 e2e_meter_is red green off || e2e_fail "the meter does not show the machine's -8 dBFS signal: $(e2e_meter)"
e2e_shot preferences-meter-lit "$(e2e_prefs_window)"
e2e_sim_cmd mute
e2e_wait 8 e2e_meter_is off off off || e2e_fail "the meter did not go dark on mute: $(e2e_meter)"
e2e_shot preferences-muted "$(e2e_prefs_window)"
e2e_sim_cmd unmute
e2e_wait 5 e2e_meter_is red green off || e2e_fail "the meter did not light again after unmute"
e2e_choose_from_list $E2E_ALGORITHM_ROW 1   # Fine Tune
e2e_prefs_button ok
e2e_jack_connected "$SYNTH_OUT" "$APP:in_$channel" || e2e_fail "OK undid the input choice"
e2e_pass "audio input and channel chosen by clicking; the meter lights with the machine and goes dark on mute"

# 3. Changes, then Cancel: the machine's input and Fine Tune come back.
e2e_open_preferences
e2e_choose_from_list $E2E_INPUT_ROW "$(index_of_device system)"
e2e_wait 8 system_connected || e2e_fail "choosing the system input did not take effect"
e2e_choose_from_list $E2E_ALGORITHM_ROW 0   # Sweep Tune
e2e_prefs_button cancel
e2e_wait 8 e2e_jack_connected "$SYNTH_OUT" "$APP:in_$channel" || e2e_fail "Cancel did not restore the machine's input"
system_connected && e2e_fail "Cancel left the system input connected"
e2e_pass "Cancel restored the audio input and channel"

# 4. Continue: a Fine Tune run (from the stored value of note 24, not the
#    lowest pitch) through the noise; the progress bar moves.
e2e_continue_calibration
run_start=$(e2e_now_ms)
shares=()
while ! e2e_window_id "Calibration Complete" > /dev/null; do
    [ $(( $(e2e_now_ms) - run_start )) -lt 150000 ] || { e2e_shot fine-timeout; e2e_fail "the Fine Tune run did not complete"; }
    e2e_window_id "$E2E_FAILURE_TITLE" > /dev/null && { e2e_shot fine-failed; e2e_fail "the Fine Tune run failed"; }
    shares+=("$(e2e_progress_share)")
    [ "${#shares[@]}" -ne 3 ] || e2e_shot fine-running "$(e2e_main_window)"
    sleep 4
done
run_ms=$(( $(e2e_now_ms) - run_start ))
e2e_shot calibration-complete "$(e2e_window_id "Calibration Complete")"
e2e_sim_cmd garbage 0
e2e_wait 5 grep -q ' GARBAGE rate=0 ' "$E2E_SIM_LOG" || e2e_fail "the machine did not stop the noise"
noise=$(awk '$2 == "GARBAGE" && $3 == "rate=0" { sub("sent-bytes=", "", $4); print $4 }' "$E2E_SIM_LOG" | tail -n 1)
[ "${noise:-0}" -ge $(( NOISE_BYTES_PER_SECOND * run_ms / 1000 / 2 )) ] || e2e_fail "only ${noise:-0} bytes of noise went out in ${run_ms} ms"
printf '%s\n' "${shares[@]}" | awk 'NR > 1 && $1 > prev + 0.001 { moves++ } NR > 1 && $1 < prev - 0.001 { back++ } { prev = $1 }
    END { exit !(moves >= 3 && back == 0) }' || e2e_fail "the progress bar did not keep moving: ${shares[*]}"
set -- $(e2e_log_since "$mark" | grep -oE ' VALUE 24 [0-9]+ ' | awk '{ print $3 }' | head -n 3)
[ "$#" -eq 3 ] && [ "$1" -eq 65535 ] && [ "$2" -eq 65535 ] && [ "$3" -ne 65535 ] || e2e_fail "not a Fine Tune start: note 24 was given $*"
e2e_click_box_ok "Calibration Complete"
e2e_wait 5 grep -q 'STATE saved' "$E2E_SIM_LOG" || e2e_fail "the machine stored nothing"
[ "$(e2e_log_since "$mark" | grep -c ' STATE commit')" -eq 1 ] || e2e_fail "expected one commit, at the end of the run"
# Fine Tune accepts within 0.1 Hz of a fresh estimate.
checked=$(e2e_check_stored_table "$SEED" "$KNOB" 15.0 0.1)
e2e_pass "a Fine Tune run in ${run_ms} ms through ${noise} bytes of noise, its progress painted: $checked"
e2e_quit
