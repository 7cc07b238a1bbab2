#!/usr/bin/env bash
# A bad day in the studio, against the virtual Kestrune (seed 1, knob 0) on a
# private JACK server under Xvfb:
#   1. The JACK server crashes (SIGKILL) in the middle of a Sweep Tune run. The
#      utility neither crashes nor hangs; the run ends with the failure box,
#      and nothing is stored: the machine's stored table is what it was.
#   2. The server is started again and the machine comes back with it. The
#      utility finds it by itself: its MIDI ports reopen, its audio input
#      returns and is fed by the machine, and the machine is asked for its
#      firmware version and answers.
#   3. Preferences: Fine Tune (a Sweep Tune run takes three minutes). The
#      machine's MIDI line floods with noise (random bytes, SysEx cut short,
#      left open, thousands of bytes long, length fields that lie, real-time
#      bytes everywhere, also inside its genuine replies) from before the knob
#      step to the end of the run. The run completes, the main window keeps
#      painting its progress, and the stored table passes the machine's checker.
# Screenshots of every window are kept in the work folder.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
E2E_TIMEOUT=280
e2e_init jack_server_restart

SEED=1
KNOB=0
NOISE_BYTES_PER_SECOND=40000
MAIN="$E2E_MAIN_TITLE"
FAILURE="$E2E_FAILURE_TITLE"
APP_AUDIO_IN="Kestrune Tuning Utility:in_1"
APP_MIDI_IN="Kestrune Tuning Utility MIDI:in_1"
APP_MIDI_OUT="Kestrune Tuning Utility MIDI:out_1"
SYNTH_OUT="Kestrune Jack 1:synth_out"

# ---------------------------------------------------------------- helpers ---
prefs_window() { e2e_window_sized "$MAIN" 400 500; }
prefs_gone() { ! prefs_window > /dev/null; }
# The machine's stored table, as its state file holds it ("none" before the first commit).
stored_table() { if [ -f "$E2E_DIR/sim.state" ]; then md5sum < "$E2E_DIR/sim.state" | cut -d' ' -f1; else echo none; fi; }
values_written() { grep -c ' VALUE 24 ' "$E2E_SIM_LOG" || true; }
midi_ports_open() { e2e_jack_connected "Kestrune Jack 1:midi_out" "$APP_MIDI_IN" && e2e_jack_connected "$APP_MIDI_OUT" "Kestrune Jack 1:midi_in"; }
machine_heard() { e2e_jack_connected "$SYNTH_OUT" "$APP_AUDIO_IN"; }
identity_answered() { grep -q ' TX F0 7E 00 06 02 ' "$E2E_SIM_LOG"; }

# Share of the progress bar's red in the main window's picture.
progress_share() {
    import -window "$(e2e_main_window)" "$E2E_DIR/progress.now.png" 2>/dev/null || { echo 0; return; }
    convert "$E2E_DIR/progress.now.png" -crop 400x26+34+467 +repage \
        -fx '(r>0.6 && g<0.3 && b<0.45) ? 1 : 0' -format '%[fx:mean]' info:
}

# ------------------------------------------------------------------ start ---
e2e_start_jack
e2e_start_xvfb
e2e_start_sim --seed "$SEED" --knob "$KNOB"   # feeds the utility's first input by itself
e2e_start_app
e2e_wait 10 midi_ports_open || e2e_fail "the utility did not open the machine's MIDI ports"
e2e_wait 10 machine_heard || e2e_fail "the machine does not feed the utility's audio input"
e2e_wait 10 identity_answered || e2e_fail "the machine was never asked for its version"
sleep 0.5
e2e_shot main-idle "$(e2e_main_window)"

# ---------------------------------------- 1. the server dies during a run ---
table_before=$(stored_table)
e2e_calibrate sweep
sleep 4
e2e_shot sweep-running "$(e2e_main_window)"
mark=$(wc -l < "$E2E_SIM_LOG")
killed=$(e2e_now_ms)
e2e_kill_jack
e2e_log "JACK server killed during the Sweep Tune run, $(values_written) values into it"

# The machine goes with its server.
e2e_wait_gone 10 "$E2E_SIM_PID" || e2e_fail "the machine outlived its JACK server"
exec 7>&- || true
grep -q ' QUIT JACK server gone' "$E2E_SIM_LOG" || e2e_fail "the machine did not see its server go: $(tail -n 1 "$E2E_SIM_LOG")"

e2e_wait 10 e2e_window_id "$FAILURE" || {
    kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "the utility died with the JACK server"
    e2e_shot no-failure-box
    e2e_fail "no failure box after the server died"
}
failed_ms=$(( $(e2e_now_ms) - killed ))
kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "the utility died with the JACK server"
e2e_shot server-gone "$(e2e_window_id "$FAILURE")"
e2e_click_box_ok "$FAILURE"
# Not hung: the File menu opens and closes.
e2e_open_popup "$(e2e_main_window)" 20 12
sleep 0.3
e2e_shot file-menu-after-crash "$(e2e_window_id menu)"
e2e_click_at "$(e2e_main_window)" 20 12
e2e_wait 5 e2e_popup_closed || e2e_fail "the File menu did not close"
sleep 1.5
[ "$(e2e_count_windows "$FAILURE")" -eq 0 ] || e2e_fail "a second failure box opened"
tail -n +"$(( mark + 1 ))" "$E2E_SIM_LOG" | grep -q ' STATE commit' && e2e_fail "the machine stored something after the server died"
[ "$(stored_table)" = "$table_before" ] || e2e_fail "the machine's stored table changed"
e2e_pass "server killed: the run ended with the failure box after ${failed_ms} ms, the utility responds, nothing was stored"

# ----------------------------------------- 2. the server and machine return ---
mv "$E2E_SIM_LOG" "$E2E_DIR/sim-before-restart.log"
restarted=$(e2e_now_ms)
e2e_start_jack
e2e_start_sim --seed "$SEED" --knob "$KNOB"
e2e_wait 15 midi_ports_open || e2e_fail "the utility did not reopen the machine's MIDI ports"
midi_ms=$(( $(e2e_now_ms) - restarted ))
e2e_wait 15 machine_heard || e2e_fail "the utility's audio input did not come back fed by the machine"
audio_ms=$(( $(e2e_now_ms) - restarted ))
e2e_wait 10 identity_answered || e2e_fail "the machine was not asked for its version after it came back"
identity_ms=$(( $(e2e_now_ms) - restarted ))
kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "the utility died when the server came back"
sleep 0.5
e2e_shot server-back "$(e2e_main_window)"
e2e_pass "server back: MIDI ports reopened after ${midi_ms} ms, audio input fed by the machine after ${audio_ms} ms, version answered after ${identity_ms} ms"

# ------------------------------- 3. a Fine Tune run through a noisy MIDI line ---
e2e_file_menu 1 file-menu   # Preferences
e2e_wait 5 prefs_window || e2e_fail "the Preferences window did not open"
sleep 0.5
e2e_open_popup "$(prefs_window)" 290 357   # Tuning Algorithm
e2e_choose_popup_item 1 23                 # Fine Tune
e2e_shot preferences-fine-tune "$(prefs_window)"
e2e_click_at "$(prefs_window)" 337 468  # OK
e2e_wait 5 prefs_gone || e2e_fail "OK did not close the Preferences window"

e2e_sim_cmd garbage "$NOISE_BYTES_PER_SECOND"
e2e_wait 5 grep -q ' GARBAGE rate=' "$E2E_SIM_LOG" || e2e_fail "the machine did not start the noise"
log_mark=$(wc -l < "$E2E_SIM_LOG")
run_start=$(e2e_now_ms)
e2e_calibrate fine
# The window paints the run's progress through the noise.
shares=()
while ! e2e_window_id "Calibration Complete" > /dev/null; do
    [ $(( $(e2e_now_ms) - run_start )) -lt 150000 ] || { e2e_shot fine-timeout "$(e2e_main_window)"; e2e_fail "the Fine Tune run did not complete"; }
    e2e_window_id "$FAILURE" > /dev/null && { e2e_shot fine-failed; e2e_fail "the Fine Tune run failed"; }
    shares+=("$(progress_share)")
    [ "${#shares[@]}" -ne 3 ] || e2e_shot fine-running "$(e2e_main_window)"
    sleep 4
done
run_ms=$(( $(e2e_now_ms) - run_start ))
e2e_shot calibration-complete "$(e2e_window_id "Calibration Complete")"
e2e_sim_cmd garbage 0
e2e_wait 5 grep -q ' GARBAGE rate=0 ' "$E2E_SIM_LOG" || e2e_fail "the machine did not stop the noise"
read -r noise_bytes noise_events < <(awk '$2 == "GARBAGE" && $3 == "rate=0" { sub("sent-bytes=", "", $4); sub("sent-events=", "", $5); print $4, $5 }' "$E2E_SIM_LOG" | tail -n 1)
[ "${noise_bytes:-0}" -ge $(( NOISE_BYTES_PER_SECOND * run_ms / 1000 / 2 )) ] \
    || e2e_fail "only ${noise_bytes:-0} bytes of noise went out in ${run_ms} ms"
e2e_log "progress bar shares during the run: ${shares[*]}"
printf '%s\n' "${shares[@]}" | awk 'NR > 1 && $1 > prev + 0.001 { moves++ } NR > 1 && $1 < prev - 0.001 { back++ } { prev = $1 }
    END { exit !(moves >= 3 && back == 0) }' || e2e_fail "the progress bar did not keep moving: ${shares[*]}"
e2e_pass "Fine Tune run completed in ${run_ms} ms through ${noise_bytes} bytes of noise in ${noise_events} events; the progress bar moved on every look"

e2e_click_box_ok "Calibration Complete"
e2e_wait 5 grep -q 'STATE saved' "$E2E_SIM_LOG" || e2e_fail "the machine stored nothing"
[ "$(tail -n +"$(( log_mark + 1 ))" "$E2E_SIM_LOG" | grep -c ' STATE commit')" -eq 1 ] || e2e_fail "expected one commit, at the end of the run"
summary=$(e2e_check_stored_table "$SEED" "$KNOB" 15.0)
e2e_pass "stored table checked: $summary"
e2e_shot main-end "$(e2e_main_window)"

e2e_close_window "$MAIN"
e2e_wait 15 bash -c "! kill -0 $E2E_APP_PID 2>/dev/null" || e2e_fail "the utility did not quit"
e2e_pass "the utility quit"
