#!/usr/bin/env bash
# The machine's audio goes away in the middle of a Sweep Tune run, against the
# virtual Kestrune (seed 1, knob 0) on a private JACK server under Xvfb. The
# utility's audio input is fed by the machine alone, as by an interface with
# only the machine plugged in; then the machine's audio cable comes out, and
# no audio reaches the utility any more. Within about a second the run ends
# with the failure box; the reference note stops; the values read back at the
# start go back to the machine and are stored; the main window is idle again.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
E2E_TIMEOUT=120
e2e_init audio_lost_during_run

SEED=1
KNOB=0
APP_AUDIO_IN="Kestrune Tuning Utility:in_1"
SYNTH_OUT="Kestrune Jack 1:synth_out"

log_mark() { wc -l < "$E2E_SIM_LOG"; }
log_since() { tail -n +"$(( $1 + 1 ))" "$E2E_SIM_LOG"; }
# "note value" for each calibration value reply the machine sent.
replied_values() {
    grep -E '^[0-9]+ TX F0 47 00 2A 24 00 05 ' \
        | awk 'function hex(s) { return index("0123456789ABCDEF", substr(s, 1, 1)) * 16 + index("0123456789ABCDEF", substr(s, 2, 1)) - 17 }
               { print hex($10), hex($11) * 4096 + hex($12) * 256 + hex($13) * 16 + hex($14) }'
}
written_values() { grep -E '^[0-9]+ VALUE ' | awk '{ print $3, $4 }'; }

e2e_start_jack
e2e_start_xvfb
e2e_start_sim --seed "$SEED" --knob "$KNOB"   # feeds the utility's first input by itself
e2e_start_app
e2e_wait 10 e2e_jack_connected "$SYNTH_OUT" "$APP_AUDIO_IN" || e2e_fail "the machine does not feed the utility's audio input"
# The utility opened JACK's system input: that lead comes out, the machine's stays.
jack_disconnect system:capture_1 "$APP_AUDIO_IN"
e2e_wait 10 grep -q ' TX F0 7E 00 06 02 ' "$E2E_SIM_LOG" || e2e_fail "the machine was never asked for its version"

read_back_mark=$(log_mark)
e2e_calibrate sweep
log_since "$read_back_mark" | replied_values | sort -n -k1,1 -u > "$E2E_DIR/read-back.txt"
[ "$(wc -l < "$E2E_DIR/read-back.txt")" -eq 40 ] || e2e_fail "the machine did not reply 40 calibration values"
sleep 3
e2e_shot running "$(e2e_main_window)"

mark=$(log_mark)
pulled=$(e2e_now_ms)
e2e_sim_cmd unplug-audio
e2e_wait 5 bash -c "! jack_lsp -c 2>/dev/null | grep -A3 -xF '$SYNTH_OUT' | grep -qF '$APP_AUDIO_IN'" \
    || e2e_fail "the machine's audio did not come out"
e2e_wait 10 e2e_window_id "$E2E_FAILURE_TITLE" || { e2e_shot no-failure-box; e2e_fail "no failure box after the audio went"; }
failed_ms=$(( $(e2e_now_ms) - pulled ))
e2e_shot audio-gone "$(e2e_window_id "$E2E_FAILURE_TITLE")"
[ "$failed_ms" -le 4000 ] || e2e_fail "the run ended ${failed_ms} ms after the audio went"
e2e_pass "the run ended with the failure box ${failed_ms} ms after the machine's audio came out"

# The note stops, the values read back are written and stored, in that order.
e2e_wait 5 bash -c "tail -n +$(( mark + 1 )) '$E2E_SIM_LOG' | grep -q ' STATE commit'" || e2e_fail "nothing was stored after the run ended"
log_since "$mark" > "$E2E_DIR/after-pull.log"
grep -q ' NOTE off 24$' "$E2E_DIR/after-pull.log" || e2e_fail "the reference note was not stopped"
awk '/ NOTE off 24$/ { f = 1; next } f' "$E2E_DIR/after-pull.log" | written_values | sort -n -k1,1 > "$E2E_DIR/written-back.txt"
diff "$E2E_DIR/written-back.txt" "$E2E_DIR/read-back.txt" > /dev/null \
    || e2e_fail "the values written back differ from those read back: $(diff "$E2E_DIR/written-back.txt" "$E2E_DIR/read-back.txt" | head -n 4 | tr '\n' ' ')"
grep -E ' (NOTE off 24|VALUE|STATE commit)' "$E2E_DIR/after-pull.log" | awk '/NOTE off/ { f = 1 } f' | tail -n 1 | grep -q 'STATE commit' \
    || e2e_fail "the commit did not follow the writes"
e2e_pass "the reference note stopped, the 40 values read back were written back, then stored"

e2e_click_box_ok "$E2E_FAILURE_TITLE"
sleep 1.5
[ "$(e2e_count_windows "$E2E_FAILURE_TITLE")" -eq 0 ] || e2e_fail "a second failure box opened"
sounding=$(log_since "$mark" | grep -cE ' NOTE on ' || true)
[ "$sounding" -eq 0 ] || e2e_fail "a note started again after the run ended"
e2e_shot main-idle "$(e2e_main_window)"
e2e_close_window "$E2E_MAIN_TITLE"
e2e_wait 15 bash -c "! kill -0 $E2E_APP_PID 2>/dev/null" || e2e_fail "the utility did not quit when idle"
e2e_pass "one failure box, no note sounding, and the utility quits without asking (no run in progress)"
