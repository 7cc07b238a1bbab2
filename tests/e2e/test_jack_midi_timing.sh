#!/usr/bin/env bash
# The engine alone (e2e-firmware-stream) through a private JACK server, timed
# by the JACK frame at which the virtual machine received each message: a
# firmware update across an unplug, then a calibration start and the quit.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
E2E_TIMEOUT=200
e2e_init jack_midi_timing

DRIVER="$E2E_BUILD/tests/e2e-firmware-stream"
OUT="$E2E_DIR/driver.out"
e2e_start_jack
e2e_start_sim --version 1.04 --connect-to nobody

# 1. Unplugged before slice 500, back 2 s later: offline meanwhile, resumed
#    at 500; no slice closer than 8 ms to the one before, 10 ms the median.
timeout 130 "$DRIVER" --unplug-at 500 --commands "$E2E_SIM_FIFO" > "$OUT" 2>&1 \
    || e2e_fail "the driver failed: $(grep -E 'ERROR|STATUS' "$OUT" | tail -n 3 | tr '\n' '|')"
awk '$2 == "UNPLUGGED" { u = $3 } $2 == "STATUS" && $3 == "Device" && u && !r { offline = 1 }
     $2 == "SENT" { if ($3 != n++ || (u && !r++ && (!offline || $3 != 500))) { print; bad = 1 } }
     END { exit bad || !r }' "$OUT" > "$E2E_DIR/order.txt" \
    || e2e_fail "the slices were not sent in order, offline while away, from 500 on: $(head -n 3 "$E2E_DIR/order.txt" | tr '\n' '|')"
[ "$(grep -c ' PORTS plugged' "$E2E_SIM_LOG")" -eq 2 ] || e2e_fail "the machine was not plugged in again"
grep -qE " FIRMWARE accepted bytes=113134 records=2572 version=1\.05" "$E2E_SIM_LOG" \
    || e2e_fail "the machine did not accept the image: $(grep ' FIRMWARE ' "$E2E_SIM_LOG" | tail -n 1)"
grep -qE " VERSION 1\.05$" "$OUT" || e2e_fail "the new version was not read back"
rate=$(e2e_sim_rate)
[ -n "$rate" ] || e2e_fail "the machine's log names no sample rate"
awk '/ FIRMWARE request/ { f = 1; next } / FIRMWARE (accepted|rejected)/ { f = 0 } f && $2 == "RX-FRAME" { print $3 }' \
    "$E2E_SIM_LOG" > "$E2E_DIR/slice-frames.txt"
[ "$(wc -l < "$E2E_DIR/slice-frames.txt")" -eq 1768 ] || e2e_fail "expected 1768 slices to arrive, $(wc -l < "$E2E_DIR/slice-frames.txt") did"
read -r gaps smallest median largest < <(e2e_gap_stats "$rate" < "$E2E_DIR/slice-frames.txt")
awk -v s="$smallest" -v m="$median" 'BEGIN { exit !(s >= 8 && m >= 9.5 && m <= 11) }' \
    || e2e_fail "slice gaps on the wire: smallest $smallest ms (8 allowed), median $median ms (about 10 wanted)"
e2e_pass "offline while unplugged, resumed at slice 500, image accepted, 1.05 read back; $gaps slice gaps: smallest $smallest ms, median $median ms, largest $largest ms"

# 2. The 41 read-back requests 2 ms apart, not in one burst a period; closing
#    does not wait for the 40 note-offs to leave, and they all arrive.
mark=$(e2e_log_mark)
timeout 40 "$DRIVER" --start-calibration > "$OUT" 2>&1 || e2e_fail "the driver failed: $(grep ERROR "$OUT")"
e2e_log_since "$mark" > "$E2E_DIR/calibration.log"
e2e_sim_arrivals "$E2E_DIR/calibration.log" | grep -E '^[0-9]+ F0 47 00 2A 24 00 01 [0-9A-F]{2} F7$' > "$E2E_DIR/requests.txt" || true
notes=$(awk '{ print $9 }' "$E2E_DIR/requests.txt" | while read -r hex; do printf '%d ' "0x$hex"; done)
[ "$notes" = "$(seq -s ' ' 24 64) " ] || e2e_fail "expected requests for notes 24 to 64 in order, got: $notes"
read -r gaps smallest median largest < <(cut -d' ' -f1 "$E2E_DIR/requests.txt" | e2e_gap_stats "$rate")
awk -v m="$median" 'BEGIN { exit !(m >= 1.5 && m <= 2.5) }' || e2e_fail "the requests' median spacing is $median ms, not 2 ± 0.5 ms"
closed_us=$(awk '$2 == "CLOSED" { print $3 }' "$OUT")
[ -n "$closed_us" ] && [ "$closed_us" -lt 5000 ] || e2e_fail "closing the outputs took ${closed_us:-forever} us: it waited for the port to drain"
got=$(grep -E '^[0-9.]+ RX 80 ' "$E2E_DIR/calibration.log" | cut -d' ' -f3- || true)
[ "$got" = "$(for n in $(seq 24 63); do printf '80 %02X 00\n' "$n"; done)" ] || e2e_fail "the note-offs sent before the close differ: $(echo $got)"
e2e_pass "requests 2 ms apart (median $median ms, smallest $smallest ms); closing took $closed_us us and the 40 note-offs arrived in order"
