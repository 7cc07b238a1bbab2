#!/usr/bin/env bash
# A firmware update survives the machine being unplugged in the middle: the
# embedded image goes through a private JACK server to the virtual machine,
# which is unplugged just before slice 500 and plugged in again 2 s later.
# The sender must report the device offline, send nothing while it is away,
# resume at slice 500 once the port is open again, and the machine must
# accept the image whole and report the new version afterwards. The slices
# must reach it as far apart as the sender sent them (10 ms), not in bursts.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
E2E_TIMEOUT=150
e2e_init firmware_replug

DRIVER="$E2E_BUILD/tests/e2e-firmware-stream"
OUT="$E2E_DIR/driver.out"

e2e_start_jack
e2e_start_sim --version 1.04 --connect-to nobody

"$DRIVER" --port "Kestrune Jack 1" --unplug-at 500 --commands "$E2E_SIM_FIFO" --replug-after-ms 2000 \
    --timeout-ms 100000 > "$OUT" 2>&1 &
DRIVER_PID=$!
E2E_PIDS+=($DRIVER_PID)

e2e_wait 130 bash -c "! kill -0 $DRIVER_PID 2>/dev/null" || e2e_fail "the transfer did not end: $(tail -n 3 "$OUT" | tr '\n' '|')"
driver_status=0
wait "$DRIVER_PID" || driver_status=$?
[ "$driver_status" -eq 0 ] || e2e_fail "the driver failed ($driver_status): $(grep -E 'ERROR|STATUS' "$OUT" | tail -n 3 | tr '\n' '|')"

# Before the unplug: slices 0 to 499 in order; nothing sent while the machine
# is away; the first slice after it is 500; then every slice to the end once.
awk '
    $2 == "UNPLUGGED" { unplugged = 1; if ($3 != 500) { print "unplugged before slice " $3; bad = 1 } next }
    $2 == "SENT" {
        if ($3 != expected) { print "slice " $3 " where " expected " was due"; bad = 1 }
        if (unplugged && !resumed) { resumed = 1; if (!offline) { print "sent again before the device was offline"; bad = 1 } }
        expected = $3 + 1; next
    }
    $2 == "STATUS" && $3 == "Device" && unplugged && !resumed { offline = 1 }
    END {
        if (!unplugged) { print "never unplugged"; bad = 1 }
        if (!resumed) { print "never resumed"; bad = 1 }
        exit bad
    }' expected=0 "$OUT" > "$E2E_DIR/order.txt" || e2e_fail "the slices were not sent in order: $(head -n 3 "$E2E_DIR/order.txt" | tr '\n' '|')"
slices=$(grep -c ' SENT ' "$OUT")
e2e_pass "slices 0..499 sent, Device Offline while unplugged, resumed at slice 500; $slices slices in all"

grep -q " PORTS unplugged" "$E2E_SIM_LOG" || e2e_fail "the machine was never unplugged"
[ "$(grep -c ' PORTS plugged' "$E2E_SIM_LOG")" -eq 2 ] || e2e_fail "the machine was not plugged in again"
grep -qE " FIRMWARE accepted bytes=113134 records=2572 version=1\.05" "$E2E_SIM_LOG" \
    || e2e_fail "the machine did not accept the image: $(grep ' FIRMWARE ' "$E2E_SIM_LOG" | tail -n 1)"
grep -qE " VERSION 1\.05$" "$OUT" || e2e_fail "the new version was not read back: $(tail -n 2 "$OUT" | tr '\n' '|')"

# On the wire the slices keep the sender's 10 ms spacing (by the JACK frame at
# which each arrived) rather than leaving in bursts of one JACK period, and
# none comes closer than 8 ms after the one before, even when the sender's
# timer makes up for a late tick.
rate=$(e2e_sim_rate)
awk '/ FIRMWARE request/ { f = 1; next } / FIRMWARE (accepted|rejected)/ { f = 0 } f && $2 == "RX-FRAME" { print $3 }' \
    "$E2E_SIM_LOG" > "$E2E_DIR/slice-frames.txt"
arrived=$(wc -l < "$E2E_DIR/slice-frames.txt")
[ "$arrived" -eq 1768 ] || e2e_fail "expected 1768 slices to arrive, $arrived did"
read -r gaps smallest median largest < <(e2e_gap_stats "$rate" < "$E2E_DIR/slice-frames.txt")
e2e_log "the slices arrived with gaps of smallest $smallest ms, median $median ms, largest $largest ms ($gaps gaps, $rate Hz)"
awk '$2 == "SENT" { print $4 }' "$OUT" | paste -d' ' - "$E2E_DIR/slice-frames.txt" | awk -v rate="$rate" '
    NR > 1 {
        call = $1 - previousCall; wire = ($2 - previousFrame) * 1000 / rate
        if (wire < 8) { printf "slice %d arrived %.3f ms after the one before, sent %.3f ms after it\n", NR - 1, wire, call; bad = 1 }
    }
    { previousCall = $1; previousFrame = $2 }
    END { exit bad }' > "$E2E_DIR/slice-gaps.txt" \
    || e2e_fail "slices arrived closer than 8 ms: $(head -n 3 "$E2E_DIR/slice-gaps.txt" | tr '\n' '|')"
awk -v m="$median" 'BEGIN { exit !(m >= 9.5 && m <= 11) }' || e2e_fail "the median gap between slices is $median ms, not about 10 ms"
e2e_pass "slices on the wire: smallest gap $smallest ms, median $median ms, largest $largest ms"

started=$(awk '$2 == "STATUS" && $3 == "Started" { print $1; exit }' "$OUT")
first=$(awk '$2 == "SENT" { print $1; exit }' "$OUT")
gone=$(awk '$2 == "UNPLUGGED" { print $1; exit }' "$OUT")
back=$(awk '$2 == "UNPLUGGED" { f = 1; next } f && $2 == "SENT" { print $1; exit }' "$OUT")
done_ms=$(awk '$2 == "COMPLETED" { print $1; exit }' "$OUT")
e2e_pass "image accepted whole (113134 bytes, 2572 records), version 1.05 read back; wait $(( first - started )) ms, stream $(( done_ms - first )) ms of which $(( back - gone )) ms away, in all $(( done_ms - started )) ms"
