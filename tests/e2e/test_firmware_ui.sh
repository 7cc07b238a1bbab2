#!/usr/bin/env bash
# The firmware update window against the virtual Kestrune through a private
# JACK server: a machine on 1.04 gets the window once, by itself; the update
# streams the whole image, completes, and the machine reports 1.05 from then
# on. A second machine (and a fresh start) unplugged half-way through the stream ends the attempt
# with the time-out box within about half a second, and the transfer stops.
# Needs tesseract (OCR) to read the version label.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
e2e_init firmware_ui
command -v tesseract >/dev/null || e2e_fail "tesseract is not installed (apt-get install tesseract-ocr)"
e2e_start_jack
e2e_start_xvfb

FW="Kestrune Firmware Update"
MAIN="Kestrune Tuning Utility"
UPDATE_X=286   # centre of the UPDATE FIRMWARE button (180, 215, 212 x 56)
UPDATE_Y=243

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
count_windows() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -c . || true; }
window_gone() { [ "$(count_windows "$1")" -eq 0 ]; }

# The OK button of a message box, centred near its bottom edge.
click_box_ok() {
    local wid; wid="$(e2e_window_id "$1")" || e2e_fail "no box '$1'"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    xdotool mousemove --window "$wid" $(( WIDTH / 2 )) "$(e2e_alert_button_y "$HEIGHT")" click 1
}

# Text of a rectangle of a window (window coordinates), read by OCR.
read_text() {
    local wid; wid="$(e2e_window_id "$1")" || e2e_fail "no window '$1' to read"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    import -window root -crop "${4}x${5}+$(( X + $2 ))+$(( Y + $3 ))" +repage "$E2E_DIR/ocr.png"
    convert "$E2E_DIR/ocr.png" -colorspace Gray -negate -resize 300% "$E2E_DIR/ocr.png"
    tesseract "$E2E_DIR/ocr.png" - --psm 7 2>/dev/null | tr -s ' ' | sed 's/[[:space:]]*$//'
}

# Received events since the (last) firmware request: the slices.
slices_received() { awk '/ FIRMWARE request/ { n = 0; f = 1; next } f && / RX / { n++ } END { print n + 0 }' "$E2E_SIM_LOG"; }
identity_replies_with() { grep -cE "^[0-9]+ TX F0 7E 00 06 02 47 2A 00 00 00 $1 " "$E2E_SIM_LOG" || true; }

# ---------------------------------------------------------------------------
# 1. A machine on 1.04: the window opens by itself, once, and reads 1.04.
e2e_start_sim --version 1.04
e2e_start_app
e2e_wait 10 e2e_window_id "$FW" || e2e_fail "the firmware update window did not open for a machine on 1.04"
sleep 2   # further version replies (the window asks again) must not open a second one
[ "$(count_windows "$FW")" -eq 1 ] || e2e_fail "expected one firmware update window, found $(count_windows "$FW")"
e2e_pass "the firmware update window opened by itself, once"
eval "$(xdotool getwindowgeometry --shell "$(e2e_window_id "$FW")")"
[ "${WIDTH}x${HEIGHT}" = "400x311" ] || e2e_fail "the firmware update window is ${WIDTH}x${HEIGHT}, its picture 400x311"

current=""
for _ in $(seq 1 20); do
    current="$(read_text "$FW" 18 128 220 24)"
    [ "$current" = "Current Version: 1.04" ] && break
    sleep 0.2
done
[ "$current" = "Current Version: 1.04" ] || e2e_fail "the current version label reads '$current'"
latest="$(read_text "$FW" 18 150 220 24)"
[ "$latest" = "Latest Version: 1.05" ] || e2e_fail "the latest version label reads '$latest'"
e2e_pass "the labels read '$current' and '$latest'"

# 2. UPDATE FIRMWARE: request, 8 s wait, the whole image in slices.
e2e_click "$FW" "$UPDATE_X" "$UPDATE_Y"
e2e_wait 3 grep -q " FIRMWARE request" "$E2E_SIM_LOG" || e2e_fail "no firmware update request reached the machine"
sleep 1
e2e_screenshot "firmware-waiting"
e2e_wait 15 bash -c "[ \$(awk '/ FIRMWARE request/{f=1;next} f && / RX /{n++} END{print n+0}' '$E2E_SIM_LOG') -ge 600 ]" \
    || e2e_fail "the image is not streaming"
e2e_screenshot "firmware-streaming"

e2e_wait 30 e2e_window_id "Firmware Update Complete" || e2e_fail "no completion box"
e2e_screenshot "firmware-complete"
grep -qE " FIRMWARE accepted bytes=113134 records=2572 version=1\.05" "$E2E_SIM_LOG" \
    || e2e_fail "the machine did not accept the image: $(grep ' FIRMWARE ' "$E2E_SIM_LOG" | tail -n 1)"
e2e_pass "the machine accepted the whole image as valid"

click_box_ok "Firmware Update Complete"
e2e_wait 5 window_gone "$FW" || e2e_fail "OK in the completion box did not close the firmware update window"
e2e_wait 5 window_gone "Firmware Update Complete" || e2e_fail "the completion box stayed"
e2e_pass "OK closed the completion box and the window"

# 3. From then on the machine reports 1.05 and no window opens again.
e2e_wait 5 bash -c "[ \$(grep -cE '^[0-9]+ TX F0 7E 00 06 02 47 2A 00 00 00 01 00 05 ' '$E2E_SIM_LOG') -ge 1 ]" \
    || e2e_fail "the machine was not asked for its version after the update"
sleep 3
[ "$(identity_replies_with "01 00 04")" -ge 1 ] || e2e_fail "no 1.04 reply before the update"
after_update=$(awk '/ FIRMWARE accepted/ { f = 1 } f && / TX F0 7E 00 06 02 47 2A 00 00 00 01 00 04 / { n++ } END { print n + 0 }' "$E2E_SIM_LOG")
[ "$after_update" -eq 0 ] || e2e_fail "the machine still reported 1.04 after the update"
window_gone "$FW" || e2e_fail "the firmware update window opened again for a machine on 1.05"
e2e_pass "the machine reports 1.05 and no window opens again"

# ---------------------------------------------------------------------------
# 4. Another machine on 1.04, with a fresh start of the utility, unplugged
#    half-way through the stream.
e2e_close_window "$MAIN"
e2e_wait 15 bash -c "! kill -0 $E2E_APP_PID 2>/dev/null" || e2e_fail "the utility did not quit"
e2e_stop_sim
mv "$E2E_SIM_LOG" "$E2E_DIR/sim-first-machine.log"
rm -f "$E2E_DIR/sim.state"
e2e_start_sim --version 1.04
e2e_start_app
e2e_wait 10 e2e_window_id "$FW" || e2e_fail "the firmware update window did not open for the second machine"
sleep 1
e2e_click "$FW" "$UPDATE_X" "$UPDATE_Y"
e2e_wait 3 grep -q " FIRMWARE request" "$E2E_SIM_LOG" || e2e_fail "no firmware update request reached the second machine"
e2e_wait 25 bash -c "[ \$(awk '/ FIRMWARE request/{f=1;next} f && / RX /{n++} END{print n+0}' '$E2E_SIM_LOG') -ge 884 ]" \
    || e2e_fail "the stream did not reach half-way"

unplugged=$(now_ms)
e2e_sim_cmd unplug
e2e_wait 5 e2e_window_id "Firmware Update Timed Out" || e2e_fail "no time-out box after the machine was unplugged"
timeout_ms=$(( $(now_ms) - unplugged ))
e2e_screenshot "firmware-timed-out"
e2e_log "time-out box ${timeout_ms} ms after the unplug (at slice $(slices_received))"
[ "$timeout_ms" -ge 400 ] || e2e_fail "the time-out box came after only ${timeout_ms} ms"
[ "$timeout_ms" -le 1500 ] || e2e_fail "the time-out box came after ${timeout_ms} ms"
e2e_pass "\"Firmware Update Timed Out\" ${timeout_ms} ms after the unplug"

# No update runs any more: closing the window asks nothing (it asks while the engine has a transfer).
click_box_ok "Firmware Update Timed Out"
e2e_wait 5 window_gone "Firmware Update Timed Out" || e2e_fail "the time-out box stayed"
e2e_wait 3 e2e_window_id "$FW" || e2e_fail "the firmware window closed with the time-out box"
e2e_close_window "$FW"
e2e_wait 5 window_gone "$FW" || e2e_fail "the firmware update window did not close"
[ "$(count_windows "Firmware Update In Process")" -eq 0 ] || e2e_fail "closing asked about an update in process"
e2e_pass "no update runs after the time-out: the window closes without a question"

e2e_log "screenshots: firmware-waiting, firmware-streaming, firmware-complete, firmware-timed-out (in $E2E_DIR)"
