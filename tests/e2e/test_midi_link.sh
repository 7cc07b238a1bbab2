#!/usr/bin/env bash
# The MIDI link against the virtual Kestrune through a private JACK server:
# ports opened at start, the identity request period and its stop rule, a
# vanished machine closed and silently reopened, and the note-offs at quit.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
e2e_init midi_link
e2e_start_jack
e2e_start_xvfb

APP_IN="Kestrune Tuning Utility MIDI:in_1"
APP_OUT="Kestrune Tuning Utility MIDI:out_1"
SIM_IN="Kestrune Jack 1:midi_in"
SIM_OUT="Kestrune Jack 1:midi_out"
IDENTITY="F0 7E 00 06 01 F7"

ports_open() { e2e_jack_connected "$SIM_OUT" "$APP_IN" && e2e_jack_connected "$APP_OUT" "$SIM_IN"; }
# Times (ms, the machine's clock) at which it received the identity request.
identity_times() { e2e_sim_received | awk -v m="$IDENTITY" '{ t=$1; $1=""; sub(/^ /,""); if ($0==m) print t }'; }

# 1. A machine that reports 1.00 is asked every 500 ms for as long as it answers.
e2e_start_sim --version 1.00
e2e_start_app
e2e_wait 10 ports_open || e2e_fail "the utility did not open both ports of the machine at start"
e2e_pass "both ports opened at start"
sleep 4.2
times=$(identity_times)
count=$(echo "$times" | grep -c . || true)
[ "$count" -ge 6 ] || e2e_fail "expected at least 6 identity requests in 4 s with version 1.00, got $count"
periods=$(echo "$times" | awk 'NR>1 { printf "%d\n", $1-p } { p=$1 }')
echo "$periods" | awk '$1 < 450 || $1 > 550 { bad=1 } END { exit bad }' \
    || e2e_fail "identity request period outside 500 ± 50 ms: $(echo $periods)"
e2e_pass "identity request every 500 ms while the machine reports 1.00 (periods: $(echo $periods))"
e2e_screenshot "firmware-1.00"

# 2. Unplugged and back: the port is closed, nothing reaches the machine in
#    between, and it is reopened without a restart of the utility.
e2e_stop_sim
unplugged=$(date +%s%N)
e2e_wait 5 bash -c "! jack_lsp 2>/dev/null | grep -qF 'Kestrune Jack 1:'" || e2e_fail "the machine's ports did not vanish"
sleep 1
mv "$E2E_SIM_LOG" "$E2E_DIR/sim-before-replug.log"
replug_start=$(date +%s%N)
e2e_start_sim --version 1.05
e2e_wait 10 ports_open || e2e_fail "the utility did not reopen the machine's ports"
reopen_ms=$(( ($(date +%s%N) - replug_start) / 1000000 ))
e2e_pass "ports reopened ${reopen_ms} ms after the machine came back"

# 3. With 1.05 the request stops after the first answer.
e2e_wait 3 bash -c "[ \$(grep -c 'RX $IDENTITY' '$E2E_SIM_LOG') -ge 1 ]" || e2e_fail "no identity request after the replug"
sleep 2
count=$(identity_times | grep -c . || true)
[ "$count" -eq 1 ] || e2e_fail "expected exactly one identity request once 1.05 was answered, got $count"
first=$(e2e_sim_received | head -n 1 | cut -d' ' -f2-)
[ "$first" = "$IDENTITY" ] || e2e_fail "a message sent while the machine was away reached it: $first"
e2e_pass "a single identity request once the machine answered 1.05; nothing stale after the replug"

# 4. Quitting sends note-off for notes 24 to 63, in order.
e2e_close_window "Kestrune Tuning Utility"
e2e_wait 15 bash -c "! kill -0 $E2E_APP_PID 2>/dev/null" || e2e_fail "the utility did not quit"
expected=$(for n in $(seq 24 63); do printf '80 %02X 00\n' "$n"; done)
note_offs() { [ "$(e2e_sim_received | cut -d' ' -f2- | grep -cE '^80 ')" -ge 40 ]; }
e2e_wait 5 note_offs || true
# The engine's own all-notes-off (notes 0 to 126) follows when it goes.
got=$(e2e_sim_received | cut -d' ' -f2- | grep -E '^80 ' | head -n 40 || true)
[ "$got" = "$expected" ] || e2e_fail "note-offs at quit differ: $(echo $got)"
e2e_pass "quit sent note-off for notes 24 to 63 in order"
