#!/usr/bin/env bash
# Timing through a private JACK server, without windows: the engine sends the
# 41 calibration read-back requests 2 ms apart, and the virtual machine must
# receive them 2 ms apart (by the JACK frame at which each arrives), not in
# one burst per period. Then what the application does at quit: note-off for
# notes 24 to 63 and every port closes; closing must not wait for the
# note-offs to leave, and they must all arrive all the same.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
E2E_TIMEOUT=60
e2e_init jack_midi_timing

DRIVER="$E2E_BUILD/tests/e2e-firmware-stream"
OUT="$E2E_DIR/driver.out"

e2e_start_jack
e2e_start_sim --connect-to nobody

driver_status=0
timeout 40 "$DRIVER" --port "Kestrune Jack 1" --start-calibration > "$OUT" 2>&1 || driver_status=$?
[ "$driver_status" -eq 0 ] || e2e_fail "the driver failed ($driver_status): $(grep -E 'ERROR|REPLIES' "$OUT" | tail -n 2 | tr '\n' '|')"
e2e_pass "calibration started: $(awk '$2 == "REQUESTED" { print "the 41 requests took " $3 " ms" }' "$OUT"), 40 replies"

# 1. The requests, notes 24 to 64 in order, arrive with the engine's spacing.
rate=$(e2e_sim_rate)
[ -n "$rate" ] || e2e_fail "the machine's log names no sample rate"
e2e_sim_arrivals | grep -E '^[0-9]+ F0 47 00 2A 24 00 01 [0-9A-F]{2} F7$' > "$E2E_DIR/requests.txt" || true
notes=$(awk '{ print $9 }' "$E2E_DIR/requests.txt" | while read -r hex; do printf '%d ' "0x$hex"; done)
[ "$notes" = "$(seq -s ' ' 24 64) " ] || e2e_fail "expected requests for notes 24 to 64 in order, got: $notes"
read -r gaps smallest median largest < <(cut -d' ' -f1 "$E2E_DIR/requests.txt" | e2e_gap_stats "$rate")
e2e_log "the 41 requests arrived with gaps of median $median ms, smallest $smallest ms, largest $largest ms ($gaps gaps, $rate Hz)"
awk -v m="$median" 'BEGIN { exit !(m >= 1.5 && m <= 2.5) }' \
    || e2e_fail "the requests' median spacing is $median ms, not 2 ± 0.5 ms"
e2e_pass "requests 2 ms apart on the wire: median $median ms, smallest $smallest ms"

# 2. Closing the outputs after the note-offs returned at once, and the
#    note-offs still reached the machine, in order.
closed_us=$(awk '$2 == "CLOSED" { print $3 }' "$OUT")
[ -n "$closed_us" ] || e2e_fail "the driver did not close its outputs: $(tail -n 2 "$OUT" | tr '\n' '|')"
[ "$closed_us" -lt 5000 ] || e2e_fail "closing the outputs took $closed_us us: it waited for the port to drain"
expected=$(for n in $(seq 24 63); do printf '80 %02X 00\n' "$n"; done)
got=$(e2e_sim_received | cut -d' ' -f2- | grep -E '^80 ' || true)
[ "$got" = "$expected" ] || e2e_fail "the note-offs sent before the close differ: $(echo $got)"
e2e_pass "closing the outputs took $closed_us us; the 40 note-offs sent before it arrived in order"
