#!/usr/bin/env bash
# The firmware update window against the virtual Kestrune on 1.04: the
# machine loses power half-way through the stream; switched on again, the
# update from the File menu is accepted; the same version again, with the
# connection pulled mid-stream, is never reported complete. Needs tesseract
# (version labels).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
E2E_TIMEOUT=280
e2e_init firmware_ui
command -v tesseract >/dev/null || e2e_fail "tesseract is not installed (apt-get install tesseract-ocr)"

FW="Kestrune Firmware Update"
TIMED_OUT="Firmware Update Timed Out"
COMPLETE="Firmware Update Complete"
port_gone() { ! e2e_jack_has_port "Kestrune Jack 1:midi_in"; }
slices_received() { awk '/ FIRMWARE request/ { n = 0; f = 1; next } f && / RX / { n++ } END { print n + 0 }' "$E2E_SIM_LOG"; }
streamed_at_least() { [ "$(slices_received)" -ge "$1" ]; }
reads() { [ "$(e2e_ocr "$(e2e_window_id "$FW")" 18 "$1" 220 24 -negate)" = "$2" ]; }
update() {   # UPDATE FIRMWARE: a request reaches the machine
    e2e_click "$FW" 286 243
    e2e_wait 3 grep -q " FIRMWARE request" "$E2E_SIM_LOG" || e2e_fail "no firmware update request reached the machine"
}

e2e_start_jack
e2e_start_xvfb
e2e_start_sim --version 1.04
e2e_start_app
e2e_wait 10 e2e_window_id "$FW" || e2e_fail "the firmware update window did not open for a machine on 1.04"
sleep 2   # further version replies must not open a second one
[ "$(e2e_count_windows "$FW")" -eq 1 ] || e2e_fail "more than one firmware update window"
e2e_wait 4 reads 128 "Current Version: 1.04" || e2e_fail "the current version reads '$(e2e_ocr "$(e2e_window_id "$FW")" 18 128 220 24 -negate)'"
reads 150 "Latest Version: 1.05" || e2e_fail "the latest version label reads otherwise"
e2e_shot firmware-window "$(e2e_window_id "$FW")"
e2e_pass "the firmware update window opened by itself, once, reading 1.04 and 1.05"

# Half-way through the stream the machine loses power.
update
sleep 1
e2e_shot firmware-waiting
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
[ "$timeout_ms" -ge 250 ] && [ "$timeout_ms" -le 1500 ] || e2e_fail "the time-out box came ${timeout_ms} ms after the port vanished"
grep -q ' FIRMWARE accepted' "$E2E_SIM_LOG" && e2e_fail "the machine accepted a stream cut short"
e2e_click_box_ok "$TIMED_OUT"
e2e_wait 3 e2e_window_id "$FW" || e2e_fail "the firmware window closed with the time-out box"
e2e_close_window "$FW"
e2e_wait 5 e2e_window_gone "$FW" || e2e_fail "the timed-out firmware window did not close"
e2e_window_gone "Firmware Update In Process" || e2e_fail "closing asked about an update in process"
e2e_pass "\"$TIMED_OUT\" ${timeout_ms} ms after the port vanished (killed at slice $at_slice); no update runs after it"

# Switched on again, still on 1.04: a new window from the File menu, a new update.
mv "$E2E_SIM_LOG" "$E2E_DIR/sim-killed.log"
e2e_start_sim --version 1.04
e2e_wait 10 e2e_midi_ports_open || e2e_fail "the utility did not reopen the machine's ports"
sleep 1
e2e_window_gone "$FW" || e2e_fail "a firmware window opened by itself again"
e2e_file_menu 2 file-menu   # Update Firmware
e2e_wait 5 e2e_window_id "$FW" || e2e_fail "File > Update Firmware opened no window"
e2e_wait 5 grep -qE ' TX F0 7E 00 06 02 47 2A 00 00 00 01 00 04 ' "$E2E_SIM_LOG" || e2e_fail "the new window did not ask the version"
started=$(e2e_now_ms)
update
e2e_wait 45 e2e_window_id "$COMPLETE" || { e2e_shot firmware-stuck; e2e_fail "the update did not complete"; }
e2e_shot firmware-complete "$(e2e_window_id "$COMPLETE")"
e2e_wait 5 grep -qE " FIRMWARE accepted bytes=113134 records=2572 version=1\.05" "$E2E_SIM_LOG" \
    || e2e_fail "the machine did not accept the image: $(grep ' FIRMWARE ' "$E2E_SIM_LOG" | tail -n 1)"
e2e_pass "the update completed after $(( $(e2e_now_ms) - started )) ms and the machine accepted the whole image"

e2e_click_box_ok "$COMPLETE"
e2e_wait 5 e2e_window_gone "$FW" || e2e_fail "OK in the completion box did not close the firmware window"
e2e_wait 5 grep -qE ' TX F0 7E 00 06 02 47 2A 00 00 00 01 00 05 ' "$E2E_SIM_LOG" || e2e_fail "the machine was not asked its version after the update"
sleep 3
awk '/ FIRMWARE accepted/ { f = 1 } f && / TX F0 7E 00 06 02 47 2A 00 00 00 01 00 04 / { bad = 1 } END { exit bad }' "$E2E_SIM_LOG" \
    || e2e_fail "the machine still reported 1.04 after the update"
e2e_window_gone "$FW" || e2e_fail "the firmware update window opened again for a machine on 1.05"
e2e_pass "the machine reports 1.05 and no window opens again"

# On 1.05 already, the same version again; the machine's MIDI input is
# disconnected from the utility's output mid-stream. The old firmware goes on
# answering 1.05, which must never read as "Complete".
AGAIN="Firmware Already Current"
NOT_ACCEPTED="Firmware Update Not Accepted"
e2e_file_menu 2
e2e_wait 5 e2e_window_id "$FW" || e2e_fail "File > Update Firmware opened no window"
e2e_wait 4 reads 128 "Current Version: 1.05" || e2e_fail "the current version reads '$(e2e_ocr "$(e2e_window_id "$FW")" 18 128 220 24 -negate)'"
mark=$(e2e_log_mark)
e2e_click "$FW" 286 243
e2e_wait 3 e2e_window_id "$AGAIN" || e2e_fail "no question before installing 1.05 again"
e2e_shot firmware-again "$(e2e_window_id "$AGAIN")"
e2e_click_box_ok "$AGAIN" -37
e2e_wait 3 bash -c "tail -n +$(( mark + 1 )) '$E2E_SIM_LOG' | grep -q ' FIRMWARE request'" || e2e_fail "no request after 'OK'"
e2e_wait 25 streamed_at_least 300 || e2e_fail "the stream did not begin"
jack_disconnect "Kestrune Tuning Utility MIDI:out_1" "Kestrune Jack 1:midi_in" || e2e_fail "jack_disconnect failed"
at_slice=$(slices_received)
outcome=""
for _ in $(seq 1 80); do   # 40 s: the rest of the stream, the machine's verdict on it, the wait after it
    e2e_window_id "$COMPLETE" >/dev/null && { e2e_shot firmware-false-complete; e2e_fail "a disconnected stream was reported complete"; }
    if e2e_window_id "$TIMED_OUT" >/dev/null; then outcome="$TIMED_OUT"; break; fi
    if e2e_window_id "$NOT_ACCEPTED" >/dev/null; then outcome="$NOT_ACCEPTED"; break; fi
    sleep 0.5
done
e2e_shot firmware-disconnected "$(e2e_window_id "$FW")"
sleep 3
e2e_window_gone "$COMPLETE" || e2e_fail "a disconnected stream was reported complete"
machine=$(tail -n +$(( mark + 1 )) "$E2E_SIM_LOG" | grep ' FIRMWARE \(accepted\|rejected\)' | tail -n 1 || true)
case "$outcome" in
    "$TIMED_OUT") e2e_click_box_ok "$TIMED_OUT" ;;
    "$NOT_ACCEPTED") xdotool windowfocus "$(e2e_window_id "$NOT_ACCEPTED")" key Escape
                     e2e_wait 5 e2e_window_gone "$NOT_ACCEPTED" || e2e_fail "Escape did not cancel '$NOT_ACCEPTED'" ;;
    *)  # The machine answers 1.05 as before: the wait goes on, and closing asks.
        outcome="still waiting"
        e2e_close_window "$FW"
        e2e_wait 3 e2e_window_id "Firmware Update In Process" || e2e_fail "closing during the wait asked nothing"
        e2e_click_box_ok "Firmware Update In Process" -37
        e2e_wait 5 e2e_window_gone "$FW" || e2e_fail "the firmware window did not close" ;;
esac
e2e_pass "disconnected at slice $at_slice: '$outcome', never complete; the machine: ${machine:-nothing}"

# A machine left in its boot loader keeps its window open; quitting asks nothing then.
e2e_quit
e2e_pass "the utility quits"
