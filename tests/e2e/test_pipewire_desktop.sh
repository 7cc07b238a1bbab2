#!/usr/bin/env bash
# The utility and the virtual Kestrune on a private PipeWire instead of a
# JACK server, through PipeWire's JACK library, as on a current Linux
# desktop: both appear as PipeWire nodes; the machine is found and asked who
# it is, its audio reaches the knob step, the first notes of a run are tuned,
# and STOP puts the stored table back.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
E2E_TIMEOUT=120
e2e_init pipewire_desktop

SEED=1
KNOB=0
machine_heard() { e2e_jack_connected "Kestrune Jack 1:synth_out" "$E2E_MAIN_TITLE:in_1"; }
nodes() { pw-cli ls Node 2>/dev/null | awk -F'"' '/node.name/ { print $2 }'; }
# The run writes every note's value to note 24's slot: its progress is on the bar.
past_two_notes() { e2e_above "$(e2e_progress_share)" 0.045; }

e2e_start_pipewire
e2e_start_xvfb
e2e_start_sim --seed "$SEED" --knob "$KNOB"
e2e_start_app
e2e_wait 15 e2e_midi_ports_open || e2e_fail "the utility did not open the machine's MIDI ports"
e2e_wait 10 e2e_identity_answered || e2e_fail "the machine was never asked for its version"
e2e_wait 15 machine_heard || e2e_fail "the machine does not feed the utility's audio input"
for node in "Kestrune Jack 1" "$E2E_MAIN_TITLE" "$E2E_MAIN_TITLE MIDI"; do
    nodes | grep -qxF "$node" || e2e_fail "no PipeWire node '$node': $(nodes | tr '\n' '|')"
done
e2e_pass "on PipeWire $(pipewire --version | awk '/libpipewire/ { print $NF; exit }'): the machine found, asked its version, heard; nodes: $(nodes | grep -c Kestrune) of ours"

commits=$(e2e_commits)
mark=$(e2e_log_mark)
e2e_calibrate pipewire
e2e_wait 60 past_two_notes || e2e_fail "the run did not tune two notes in a minute"
e2e_shot pipewire-running "$(e2e_main_window)"
e2e_click_at "$(e2e_main_window)" 235 443   # STOP
e2e_wait 10 e2e_commits_above "$commits" || e2e_fail "STOP did not put the stored table back"
as_stored=$(e2e_machine_as_stored "$SEED" "$KNOB") || e2e_fail "after STOP: $as_stored"
[ "$(e2e_stored_values "$SEED" "$KNOB")" = "$(e2e_log_since "$mark" | e2e_replied_values | sort -n -k1,1 -u)" ] \
    || e2e_fail "STOP stored another table than the one read back"
e2e_pass "knob step and the first notes of a Sweep Tune on PipeWire; STOP stored back, confirmed, the table read at the start"
e2e_quit
