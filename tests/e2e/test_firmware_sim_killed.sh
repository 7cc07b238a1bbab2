#!/usr/bin/env bash
# The machine loses power in the middle of a firmware update, against the
# virtual Kestrune on 1.04 on a private JACK server under Xvfb: kestrune-sim is
# killed (SIGKILL) half-way through the stream. The update window ends the
# attempt with "Firmware Update Timed Out" about half a second after the
# machine's port vanished. The machine is switched on again; the user closes
# the window, chooses File > Update Firmware, and the update in the new window
# completes and is accepted by the machine, which reports 1.05 from then on.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
E2E_TIMEOUT=150
e2e_init firmware_sim_killed

FW="Kestrune Firmware Update"
TIMED_OUT="Firmware Update Timed Out"
COMPLETE="Firmware Update Complete"
UPDATE_X=286   # centre of the UPDATE FIRMWARE button (180, 215, 212 x 56)
UPDATE_Y=243

window_gone() { [ "$(e2e_count_windows "$1")" -eq 0 ]; }
port_gone() { ! e2e_jack_has_port "Kestrune Jack 1:midi_in"; }
midi_ports_open() {
    e2e_jack_connected "Kestrune Jack 1:midi_out" "Kestrune Tuning Utility MIDI:in_1" \
        && e2e_jack_connected "Kestrune Tuning Utility MIDI:out_1" "Kestrune Jack 1:midi_in"
}
# Received events since the (last) firmware request: the slices.
slices_received() { awk '/ FIRMWARE request/ { n = 0; f = 1; next } f && / RX / { n++ } END { print n + 0 }' "$E2E_SIM_LOG"; }
streamed_at_least() { [ "$(slices_received)" -ge "$1" ]; }

e2e_start_jack
e2e_start_xvfb
e2e_start_sim --version 1.04
e2e_start_app
e2e_wait 10 e2e_window_id "$FW" || e2e_fail "the firmware update window did not open for a machine on 1.04"
sleep 1

# 1. Half-way through the stream the machine loses power.
e2e_click "$FW" "$UPDATE_X" "$UPDATE_Y"
e2e_wait 3 grep -q " FIRMWARE request" "$E2E_SIM_LOG" || e2e_fail "no firmware update request reached the machine"
e2e_wait 25 streamed_at_least 884 || e2e_fail "the stream did not reach half-way"
e2e_shot firmware-streaming "$(e2e_window_id "$FW")"
at_slice=$(slices_received)
e2e_kill_sim
e2e_wait 5 port_gone || e2e_fail "the machine's ports did not vanish"
vanished=$(e2e_now_ms)
e2e_wait 5 e2e_window_id "$TIMED_OUT" || e2e_fail "no time-out box after the machine died"
timeout_ms=$(( $(e2e_now_ms) - vanished ))
e2e_shot firmware-timed-out "$(e2e_window_id "$TIMED_OUT")"
kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "the utility died with the machine"
[ "$timeout_ms" -ge 250 ] && [ "$timeout_ms" -le 1500 ] \
    || e2e_fail "the time-out box came ${timeout_ms} ms after the port vanished, not about half a second"
grep -q ' FIRMWARE accepted' "$E2E_SIM_LOG" && e2e_fail "the machine accepted a stream cut short"
e2e_pass "\"$TIMED_OUT\" ${timeout_ms} ms after the machine's port vanished (killed at slice $at_slice)"

e2e_click_box_ok "$TIMED_OUT"
e2e_close_window "$FW"
e2e_wait 5 window_gone "$FW" || e2e_fail "the timed-out firmware window did not close"
window_gone "Firmware Update In Process" || e2e_fail "closing asked about an update in process"

# 2. Switched on again, the machine still runs 1.04. A new window, a new update.
mv "$E2E_SIM_LOG" "$E2E_DIR/sim-killed.log"
e2e_start_sim --version 1.04
e2e_wait 10 midi_ports_open || e2e_fail "the utility did not reopen the machine's ports"
sleep 1
window_gone "$FW" || e2e_fail "a firmware window opened by itself"
e2e_file_menu 2 file-menu   # Update Firmware
e2e_wait 5 e2e_window_id "$FW" || e2e_fail "File > Update Firmware opened no window"
e2e_wait 5 grep -qE ' TX F0 7E 00 06 02 47 2A 00 00 00 01 00 04 ' "$E2E_SIM_LOG" \
    || e2e_fail "the new window did not ask the machine for its version"
e2e_shot firmware-window-again "$(e2e_window_id "$FW")"
started=$(e2e_now_ms)
e2e_click "$FW" "$UPDATE_X" "$UPDATE_Y"
e2e_wait 3 grep -q " FIRMWARE request" "$E2E_SIM_LOG" || e2e_fail "no firmware update request reached the machine again"
e2e_wait 45 e2e_window_id "$COMPLETE" || { e2e_shot firmware-stuck; e2e_fail "the second update did not complete"; }
update_ms=$(( $(e2e_now_ms) - started ))
e2e_shot firmware-complete "$(e2e_window_id "$COMPLETE")"
e2e_wait 5 grep -qE " FIRMWARE accepted bytes=113134 records=2572 version=1\.05" "$E2E_SIM_LOG" \
    || e2e_fail "the machine did not accept the image: $(grep ' FIRMWARE ' "$E2E_SIM_LOG" | tail -n 1)"
e2e_pass "the update in the new window completed after ${update_ms} ms and the machine accepted the whole image"

e2e_click_box_ok "$COMPLETE"
e2e_wait 5 window_gone "$FW" || e2e_fail "OK in the completion box did not close the firmware window"
e2e_wait 5 grep -qE ' TX F0 7E 00 06 02 47 2A 00 00 00 01 00 05 ' "$E2E_SIM_LOG" \
    || e2e_fail "the machine was not asked for its version after the update"
e2e_pass "the machine reports 1.05 after the update"

e2e_close_window "$E2E_MAIN_TITLE"
e2e_wait 15 bash -c "! kill -0 $E2E_APP_PID 2>/dev/null" || e2e_fail "the utility did not quit"
e2e_pass "the utility quit"
