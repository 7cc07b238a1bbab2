#!/usr/bin/env bash
# The MIDI link against the virtual Kestrune: identity requests, a replug,
# note-offs at quit; then two machines flooded with identity requests while
# the MIDI IN list switches between them: a reply that waited for the message
# thread while it closes that input would deadlock.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
E2E_TIMEOUT=240
e2e_init midi_link
IDENTITY="F0 7E 00 06 01 F7"
identity_times() { e2e_sim_received | awk -v m="$IDENTITY" '{ t = $1; $1 = ""; sub(/^ /, ""); if ($0 == m) print t }'; }
input_is() { e2e_jack_connected "$1:midi_out" "$E2E_MAIN_TITLE MIDI:in_1"; }
identity_replies() { grep -c ' TX F0 7E 00 06 02 ' "$1" || true; }

e2e_start_jack
e2e_start_xvfb
e2e_start_sim --version 1.00 --connect-to nobody
e2e_start_app
e2e_wait 10 e2e_midi_ports_open || e2e_fail "the utility did not open both ports of the machine at start"
sleep 4.2
periods=$(identity_times | awk 'NR > 1 { printf "%d\n", $1 - p } { p = $1 }')
[ "$(echo "$periods" | grep -c .)" -ge 5 ] || e2e_fail "expected at least 6 identity requests in 4 s with version 1.00: $(echo $periods)"
echo "$periods" | awk '$1 < 450 || $1 > 550 { bad = 1 } END { exit bad }' || e2e_fail "identity request period outside 500 ± 50 ms: $(echo $periods)"
e2e_shot firmware-1.00 "$(e2e_main_window)"
e2e_pass "both ports opened at start; an identity request every 500 ms while the machine reports 1.00"

# Unplugged, back on 1.05.
e2e_stop_sim
e2e_wait 5 bash -c "! jack_lsp 2>/dev/null | grep -qF 'Kestrune Jack 1:'" || e2e_fail "the machine's ports did not vanish"
sleep 1
mv "$E2E_SIM_LOG" "$E2E_DIR/sim-before-replug.log"
e2e_start_sim --version 1.05 --connect-to nobody
e2e_wait 10 e2e_midi_ports_open || e2e_fail "the utility did not reopen the machine's ports"
e2e_wait 3 bash -c "grep -q 'RX $IDENTITY' '$E2E_SIM_LOG'" || e2e_fail "no identity request after the replug"
sleep 2
[ "$(identity_times | grep -c .)" -eq 1 ] || e2e_fail "expected one identity request once 1.05 was answered, got $(identity_times | grep -c .)"
[ "$(e2e_sim_received | head -n 1 | cut -d' ' -f2-)" = "$IDENTITY" ] || e2e_fail "a message sent while the machine was away reached it"
e2e_quit
e2e_wait 5 bash -c "[ \$(grep -cE '^[0-9.]+ RX 80 ' '$E2E_SIM_LOG') -ge 40 ]" || true
# The engine's own all-notes-off (notes 0 to 126) follows when it goes.
[ "$(e2e_sim_received | cut -d' ' -f2- | grep -E '^80 ' | head -n 40)" = "$(for n in $(seq 24 63); do printf '80 %02X 00\n' "$n"; done)" ] \
    || e2e_fail "the note-offs at quit differ: $(e2e_sim_received | grep -E ' 80 ' | head -n 5 | tr '\n' '|')"
e2e_pass "ports reopened after the replug, nothing stale, one identity request with 1.05; quit sent note-off for notes 24 to 63 in order"

# Two machines flooded with identity requests; the MIDI IN list switched between them.
SIM2_LOG="$E2E_DIR/sim2.log"
"$E2E_SIM" --name "Kestrune Jack 2" --seed 2 --connect-to nobody --log "$SIM2_LOG" < /dev/null > "$E2E_DIR/sim2.out" 2>&1 &
E2E_PIDS+=($!)
e2e_wait 10 e2e_jack_has_port "Kestrune Jack 2:midi_in" || e2e_fail "the second machine did not register its ports"
e2e_start_app
e2e_wait 10 input_is "Kestrune Jack 1" || e2e_fail "the utility did not open the first machine's input"
e2e_start_identity_flood "Kestrune Jack 1:midi_in" "Kestrune Jack 2:midi_in"
sleep 1
a=$(identity_replies "$E2E_SIM_LOG"); b=$(identity_replies "$SIM2_LOG"); sleep 1
a=$(( $(identity_replies "$E2E_SIM_LOG") - a )); b=$(( $(identity_replies "$SIM2_LOG") - b ))
[ "$a" -ge 200 ] && [ "$b" -ge 200 ] || e2e_fail "the machines are not answering fast: $a and $b replies a second"
e2e_open_preferences
# The MIDI IN list: the system's inputs but the utility's own, in order.
"$E2E_BUILD/tools/list-midi-ports/kestrune-list-midi-ports" 2>/dev/null | sed -n 's/^in //p' \
    | grep -vxF "$E2E_MAIN_TITLE MIDI" > "$E2E_DIR/inputs.txt" || true
RETRIES=0
pick_input() {   # a busy machine may drop a click: up to three picks
    local attempt index=$(( $(grep -nxF "$1" "$E2E_DIR/inputs.txt" | cut -d: -f1) - 1 ))
    for attempt in 1 2 3; do
        if e2e_popup_open; then xdotool key Escape; e2e_wait 3 e2e_popup_closed || return 1; fi
        e2e_choose_from_list $E2E_MIDI_IN_ROW "$index"
        e2e_wait 5 input_is "$1" && return 0
        RETRIES=$(( RETRIES + 1 ))
    done
    return 1
}
started=$(e2e_now_ms)
for i in $(seq 1 30); do
    if [ $(( i % 2 )) -eq 1 ]; then target="Kestrune Jack 2"; else target="Kestrune Jack 1"; fi
    pick_input "$target" || { e2e_shot "stuck-$i"; e2e_fail "switch $i to $target did not happen (the utility hangs?)"; }
done
e2e_shot preferences-after-switching "$(e2e_prefs_window)"
"$E2E_CLOSE" "$(e2e_prefs_window)"
e2e_wait 5 e2e_prefs_gone || e2e_fail "the Preferences window did not close"
kill -TERM "$E2E_FLOOD_PID" 2> /dev/null || true
e2e_quit
e2e_pass "both machines answered $a and $b requests a second; 30 input switches in $(( $(e2e_now_ms) - started )) ms ($RETRIES picks repeated); the utility quit"
