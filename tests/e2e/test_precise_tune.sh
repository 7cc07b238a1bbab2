#!/usr/bin/env bash
# Precise Tune chosen in Preferences and run with the mouse against the
# virtual Kestrune (seed 2, the Tune knob a little sharp, the factory table):
# every stored note within 2 cents by the machine's own checker; then Check
# Tuning plays the stored table, changing nothing, and its CSV says the same.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
E2E_TIMEOUT=330   # the run takes about a minute, the check about 40 s
e2e_init precise_tune

SEED=2
KNOB=0.2
PRECISE_CENTS=2.0
since_mark_has() { e2e_log_since "$mark" | grep -q "$1"; }
replies_since_mark() { [ "$(e2e_log_since "$mark" | e2e_replied_values | wc -l)" -ge "$1" ]; }
menu_is() { local got; got=$(e2e_file_menu_states "$1"); [ "$got" = "$2" ] || e2e_fail "$1: Undo, Restore, Write, Load, Check are '$got', expected '$2'"; }

e2e_start_jack
e2e_start_xvfb
e2e_start_sim --seed "$SEED" --knob "$KNOB"
e2e_start_app_watched
machine_heard() { e2e_jack_connected "Kestrune Jack 1:synth_out" "$E2E_MAIN_TITLE:in_1"; }
e2e_wait 10 e2e_identity_answered || e2e_fail "the machine was never asked for its version"
e2e_open_preferences
e2e_choose_from_list $E2E_ALGORITHM_ROW 2   # Precise Tune
e2e_prefs_button ok
e2e_wait 15 machine_heard || e2e_fail "the machine does not feed the utility's audio input"

MAIN_WINDOW=$(e2e_main_window)
mark=$(e2e_log_mark)
e2e_click_at "$MAIN_WINDOW" 235 443   # CALIBRATE TUNING
e2e_wait 10 e2e_knob_window || e2e_fail "the knob calibration window did not open"
e2e_wait 10 replies_since_mark 40 || e2e_fail "the machine did not reply its 40 values"
RUN_START=$(e2e_now_ms)
e2e_continue_calibration
e2e_wait 200 e2e_window_id "Calibration Complete" || { e2e_shot run-timeout; e2e_fail "no 'Calibration Complete' message"; }
RUN_MS=$(( $(e2e_now_ms) - RUN_START ))
e2e_click_box_ok "Calibration Complete"
e2e_wait 5 grep -q 'STATE saved' "$E2E_SIM_LOG" || e2e_fail "the machine stored nothing"
[ "$(e2e_log_since "$mark" | grep -c ' STATE commit')" -eq 1 ] || e2e_fail "expected one commit, at the end of the run"
# Note 24 went out as read back first: the run starts from the machine's table.
first=$(e2e_log_since "$mark" | grep -oE ' VALUE 24 [0-9]+ ' | awk '$3 != 65535 { print $3; exit }')
grep -qx "24 $first" <(e2e_log_since "$mark" | e2e_replied_values) || e2e_fail "note 24 did not start from the value read back ($first)"
checked=$(e2e_check_stored_table "$SEED" "$KNOB" "$PRECISE_CENTS")
e2e_pass "a Precise Tune in ${RUN_MS} ms stored a table within $PRECISE_CENTS cents of every target: $checked"

# Check Tuning plays every note of the stored table and measures it, changing nothing.
CHECK_TITLE="Kestrune Tuning Check"
CHECK_CSV="$E2E_DIR/tuning-check.csv"
mark=$(e2e_log_mark)
e2e_file_menu 7
e2e_wait 10 e2e_window_id "$CHECK_TITLE" || e2e_fail "Check Tuning opened no window"
CHECK_WINDOW=$(e2e_window_id "$CHECK_TITLE")
xdotool windowmove "$CHECK_WINDOW" 580 524   # centred, it hides the main window's menu bar
e2e_wait 5 since_mark_has ' NOTE on 26 ' || e2e_fail "the check did not play its notes"
e2e_shot tuning-check-running "$CHECK_WINDOW"
menu_is file-menu-during-check ddedd
e2e_wait 90 since_mark_has ' NOTE off 63$' || e2e_fail "the check did not reach note 63"
sleep 1
e2e_shot tuning-check-chart "$CHECK_WINDOW"
e2e_log_since "$mark" | awk '$2 == "NOTE" { print $3, $4 }' \
    | diff - <(for n in $(seq 24 63); do echo "on $n"; echo "off $n"; done) > /dev/null || e2e_fail "the check did not play each note once, in order"
e2e_log_since "$mark" | grep -qE ' (VALUE|STATE commit)' && e2e_fail "the check changed the machine's calibration"
e2e_click_at "$CHECK_WINDOW" 622 462   # Save…
e2e_choose_file "Write Tuning Check Output File" "$CHECK_CSV" check-save-dialog
e2e_wait 10 test -s "$CHECK_CSV" || e2e_fail "no CSV written"
sleep 0.5
head -n 1 "$CHECK_CSV" | grep -qx "note,name,target_hz,measured_hz,cents" || e2e_fail "the CSV does not start with its header (or has CR line ends)"
# Each note within the bound by the check too, and within a cent of the checker.
awk -F, 'NR > 1 { print $1, $5 }' "$CHECK_CSV" | join - <(awk '/^note / { print $2, $10 }' "$E2E_DIR/check.txt") \
    | awk -v bound="$PRECISE_CENTS" '{ c = $2 < 0 ? -$2 : $2; d = $2 - $3; d = d < 0 ? -d : d; rows++
                                      if (c > bound || d > 1.0) { bad++; print } }
           END { exit !(rows == 40 && bad == 0) }' > "$E2E_DIR/check-faults.txt" \
    || e2e_fail "the check's CSV does not agree with the checker: $(head -n 3 "$E2E_DIR/check-faults.txt" | tr '\n' '|')"
"$E2E_CLOSE" "$CHECK_WINDOW"
e2e_wait 5 e2e_window_gone "$CHECK_TITLE" || e2e_fail "the check window did not close"
e2e_pass "Check Tuning played notes 24 to 63 once each, changed nothing, and its CSV agrees with the checker within a cent"

e2e_quit
e2e_check_held_up 100
e2e_pass "quit when idle; the message thread never held up longer than $E2E_HELD_UP (bound 100 ms)"
