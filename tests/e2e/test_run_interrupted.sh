#!/usr/bin/env bash
# Calibrations cut short, against the virtual Kestrune feeding the utility's
# first input: the knob step's window closed; STOP with the first value
# written back lost; the JACK server crashes (SIGKILL) and comes back with
# the machine; then the machine's audio cable comes out. Each time the
# machine ends sounding and storing what it did before.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
E2E_TIMEOUT=260
e2e_init run_interrupted

SEED=1
KNOB=0
APP_AUDIO_IN="$E2E_MAIN_TITLE:in_1"
SYNTH_OUT="Kestrune Jack 1:synth_out"
FAILURE="$E2E_FAILURE_TITLE"
NOT_STORED="Calibration Not Stored"
machine_heard() { e2e_jack_connected "$SYNTH_OUT" "$APP_AUDIO_IN"; }
machine_unheard() { ! machine_heard; }
stored_table() { { md5sum < "$E2E_DIR/sim.state"; } 2> /dev/null || echo none; }
machine_found() {
    e2e_wait 15 e2e_midi_ports_open || e2e_fail "the utility did not open the machine's MIDI ports"
    e2e_wait 15 machine_heard || e2e_fail "the machine does not feed the utility's audio input"
    e2e_wait 10 e2e_identity_answered || e2e_fail "the machine was never asked for its version"
}
# failure_box SHOT SINCE_MS: the failure box, after how long, once; the utility alive.
failure_box() {
    e2e_wait 10 e2e_window_id "$FAILURE" || { e2e_shot "$1-no-box"; e2e_fail "no failure box ($1)"; }
    FAILED_MS=$(( $(e2e_now_ms) - $2 ))
    kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "the utility died ($1)"
    e2e_shot "$1" "$(e2e_window_id "$FAILURE")"
    e2e_click_box_ok "$FAILURE"
    sleep 1.5
    [ "$(e2e_count_windows "$FAILURE")" -eq 0 ] || e2e_fail "a second failure box opened ($1)"
}

e2e_start_jack
e2e_start_xvfb
e2e_start_sim --seed "$SEED" --knob "$KNOB"
e2e_start_app
machine_found

# 0. The knob step's window closed, then a run stopped with the first value
#    written back lost: the stored table goes back, confirmed, both times.
stored_as_read_back() { [ "$(e2e_stored_values "$SEED" "$KNOB" | sort -n -k1,1)" = "$(sort -n -k1,1 "$E2E_DIR/first-read-back.txt")" ]; }
# machine_back_as_read COMMITS WHAT: the stored table went back, was committed,
# and the machine sounds and stores what it read back at the first start.
machine_back_as_read() {
    local as_stored
    e2e_wait 10 e2e_commits_above "$1" || e2e_fail "$2 did not put the stored table back"
    as_stored=$(e2e_machine_as_stored "$SEED" "$KNOB") || e2e_fail "after $2: $as_stored"
    stored_as_read_back || e2e_fail "$2 changed the stored table"
}
commits=$(e2e_commits)
mark=$(e2e_log_mark)
e2e_click_at "$(e2e_main_window)" 235 443   # CALIBRATE TUNING
e2e_wait 10 e2e_knob_window || e2e_fail "the knob calibration window did not open"
e2e_wait 10 bash -c "tail -n +$(( mark + 1 )) '$E2E_SIM_LOG' | grep -q ' NOTE on 24 '" || e2e_fail "the reference note did not sound"
e2e_log_since "$mark" | e2e_replied_values | sort -n -k1,1 -u > "$E2E_DIR/first-read-back.txt"
e2e_shot knob-step-stop-shown "$(e2e_main_window)"
"$E2E_CLOSE" "$(e2e_knob_window)"
e2e_wait 5 e2e_knob_window_gone || e2e_fail "the knob window did not close"
machine_back_as_read "$commits" "closing the knob step"
e2e_pass "knob step closed: note 24 off, the stored table written back, confirmed and committed"

commits=$(e2e_commits)
e2e_calibrate stopped
sleep 2
e2e_sim_cmd drop-writes 1
e2e_click_at "$(e2e_main_window)" 235 443   # STOP
machine_back_as_read "$commits" "STOP with a write lost"
grep -qE ' DROP-WRITE [0-9]' "$E2E_SIM_LOG" || e2e_fail "no write was lost"
e2e_pass "STOP with the first write-back lost: the lost value written again, confirmed, nothing else stored"

# 1. The server dies during a run, and the machine with it.
table_before=$(stored_table)
e2e_calibrate sweep
sleep 4
e2e_shot sweep-running "$(e2e_main_window)"
mark=$(e2e_log_mark)
killed=$(e2e_now_ms)
e2e_kill_jack
e2e_wait_gone 10 "$E2E_SIM_PID" || e2e_fail "the machine outlived its JACK server"
failure_box server-gone "$killed"
# The stored table could not go back to a machine that is gone: the owner is told.
e2e_wait 10 e2e_window_id "$NOT_STORED" || { e2e_shot no-restore-box; e2e_fail "no word that the machine may still hold our values"; }
e2e_shot restore-unconfirmed "$(e2e_window_id "$NOT_STORED")"
e2e_click_box_ok "$NOT_STORED"
e2e_log_since "$mark" | grep -q ' STATE commit' && e2e_fail "the machine stored something after the server died"
[ "$(stored_table)" = "$table_before" ] || e2e_fail "the machine's stored table changed"
e2e_pass "server killed: the failure box after ${FAILED_MS} ms, the utility responds, nothing stored"

# 2. The server and the machine return.
mv "$E2E_SIM_LOG" "$E2E_DIR/sim-before-restart.log"
restarted=$(e2e_now_ms)
e2e_start_jack
e2e_start_sim --seed "$SEED" --knob "$KNOB"
machine_found
# Found again, it gets the stored table back: its note 24 held our value when it went.
e2e_wait 10 bash -c "grep -q ' STATE commit' '$E2E_SIM_LOG'" || e2e_fail "the stored table was not put back once the machine returned"
e2e_shot server-back "$(e2e_main_window)"
e2e_pass "server back: the machine found again after $(( $(e2e_now_ms) - restarted )) ms"

# 3. The utility also opened JACK's system input: that lead comes out, the
#    machine's stays; then the machine's audio goes during a run.
jack_disconnect system:capture_1 "$APP_AUDIO_IN" 2> /dev/null || true
mark=$(e2e_log_mark)
e2e_calibrate sweep2
e2e_log_since "$mark" | e2e_replied_values | sort -n -k1,1 -u > "$E2E_DIR/read-back.txt"
[ "$(wc -l < "$E2E_DIR/read-back.txt")" -eq 40 ] || e2e_fail "the machine did not reply 40 calibration values"
sleep 3
mark=$(e2e_log_mark)
pulled=$(e2e_now_ms)
e2e_sim_cmd unplug-audio
e2e_wait 5 machine_unheard || e2e_fail "the machine's audio did not come out"
failure_box audio-gone "$pulled"
[ "$FAILED_MS" -le 4000 ] || e2e_fail "the run ended ${FAILED_MS} ms after the audio went"
e2e_wait 5 bash -c "tail -n +$(( mark + 1 )) '$E2E_SIM_LOG' | grep -q ' STATE commit'" || e2e_fail "nothing was stored after the run ended"
e2e_log_since "$mark" > "$E2E_DIR/after-pull.log"
grep -q ' NOTE off 24$' "$E2E_DIR/after-pull.log" || e2e_fail "the reference note was not stopped"
awk '/ NOTE off 24$/ { f = 1; next } f' "$E2E_DIR/after-pull.log" | e2e_written_values | sort -n -k1,1 \
    | diff - "$E2E_DIR/read-back.txt" > /dev/null || e2e_fail "the values written back differ from those read back"
grep -E ' (NOTE off 24|VALUE|STATE commit)' "$E2E_DIR/after-pull.log" | tail -n 1 | grep -q 'STATE commit' || e2e_fail "the commit did not follow the writes"
grep -q ' NOTE on ' "$E2E_DIR/after-pull.log" && e2e_fail "a note started again after the run ended"
e2e_quit   # without a question: no run in progress
e2e_pass "audio gone: the failure box after ${FAILED_MS} ms; the note stopped, the values read back written back, then stored"
