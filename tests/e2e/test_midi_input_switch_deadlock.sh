#!/usr/bin/env bash
# Switching the MIDI input back and forth never hangs the utility while the
# machine answers identity requests as fast as it can. Every identity reply
# reaches the main window's firmware version from the MIDI input thread while
# the message thread closes and opens input ports: a reaction that waited for
# the message thread there would deadlock against the port being closed.
#
# Two virtual machines, "Kestrune Jack 1" and "Kestrune Jack 2", are flooded
# with identity requests by a small JACK client, so that replies pour into
# whichever input the utility has open; the MIDI IN list of the Preferences
# window is switched between them, and every switch must show in the JACK
# connections within a few seconds. At the end the utility must still quit.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
E2E_TIMEOUT=${E2E_TIMEOUT:-200}
e2e_init midi_input_switch_deadlock

SWITCHES=${E2E_SWITCHES:-30}
REQUESTS_PER_CYCLE=8   # per machine and 512-frame period: about 750 a second
MAIN="Kestrune Tuning Utility"
APP_MIDI_IN="Kestrune Tuning Utility MIDI:in_1"

input_is() { e2e_jack_connected "$1:midi_out" "$APP_MIDI_IN"; }
identity_replies() { grep -c ' TX F0 7E 00 06 02 ' "$1" || true; }

# A JACK client that writes identity requests to each given port on every
# period, as fast as the machines take them.
start_flood() {
    python3 - "$REQUESTS_PER_CYCLE" "$@" > "$E2E_DIR/flood.out" 2>&1 <<'EOF' &
import ctypes, signal, sys, time
jack = ctypes.CDLL("libjack.so.0")
vp, u32 = ctypes.c_void_p, ctypes.c_uint32
jack.jack_client_open.restype = vp
jack.jack_port_register.restype = vp
jack.jack_port_register.argtypes = [vp, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_ulong, ctypes.c_ulong]
jack.jack_port_get_buffer.restype = vp
jack.jack_port_get_buffer.argtypes = [vp, u32]
jack.jack_midi_clear_buffer.argtypes = [vp]
jack.jack_midi_event_write.argtypes = [vp, u32, ctypes.c_char_p, ctypes.c_size_t]
jack.jack_port_name.restype = ctypes.c_char_p
jack.jack_port_name.argtypes = [vp]
jack.jack_connect.argtypes = [vp, ctypes.c_char_p, ctypes.c_char_p]
jack.jack_activate.argtypes = [vp]
jack.jack_client_close.argtypes = [vp]
status = ctypes.c_int(0)
client = jack.jack_client_open(b"identity-flood", 1, ctypes.byref(status))
if not client:
    sys.exit("no JACK server")
perCycle, targets = int(sys.argv[1]), sys.argv[2:]
ports = [jack.jack_port_register(client, b"out_%d" % i, b"8 bit raw midi", 2, 0) for i in range(len(targets))]
request = b"\xF0\x7E\x00\x06\x01\xF7"
Process = ctypes.CFUNCTYPE(ctypes.c_int, u32, vp)
def process(frames, arg):
    for port in ports:
        buffer = jack.jack_port_get_buffer(port, frames)
        jack.jack_midi_clear_buffer(buffer)
        for i in range(perCycle):
            jack.jack_midi_event_write(buffer, i, request, 6)
    return 0
callback = Process(process)
jack.jack_set_process_callback.argtypes = [vp, Process, vp]
jack.jack_set_process_callback(client, callback, None)
jack.jack_activate(client)
for port, target in zip(ports, targets):
    jack.jack_connect(client, jack.jack_port_name(port), target.encode())
stopping = []
signal.signal(signal.SIGTERM, lambda *args: stopping.append(1))
print("flooding", flush=True)
while not stopping:
    time.sleep(0.05)
jack.jack_client_close(client)
EOF
    E2E_FLOOD_PID=$!
    E2E_PIDS+=($!)
}

e2e_start_jack
e2e_start_xvfb
e2e_start_sim --seed 1 --connect-to nobody
SIM2_LOG="$E2E_DIR/sim2.log"
"$E2E_SIM" --name "Kestrune Jack 2" --seed 2 --connect-to nobody --log "$SIM2_LOG" < /dev/null > "$E2E_DIR/sim2.out" 2>&1 &
E2E_PIDS+=($!)
e2e_wait 10 e2e_jack_has_port "Kestrune Jack 2:midi_in" || e2e_fail "the second machine did not register its ports"
e2e_start_app
e2e_wait 10 input_is "Kestrune Jack 1" || e2e_fail "the utility did not open the first machine's input"
MAIN_WINDOW=$(e2e_window_id "$MAIN")

start_flood "Kestrune Jack 1:midi_in" "Kestrune Jack 2:midi_in"
e2e_wait 10 grep -q flooding "$E2E_DIR/flood.out" || e2e_fail "the identity request flood did not start"
sleep 1
a0=$(identity_replies "$E2E_SIM_LOG"); b0=$(identity_replies "$SIM2_LOG")
sleep 1
a1=$(identity_replies "$E2E_SIM_LOG"); b1=$(identity_replies "$SIM2_LOG")
[ $(( a1 - a0 )) -ge 200 ] && [ $(( b1 - b0 )) -ge 200 ] \
    || e2e_fail "the machines are not answering fast: $(( a1 - a0 )) and $(( b1 - b0 )) replies a second"
e2e_pass "both machines answer $(( a1 - a0 )) and $(( b1 - b0 )) identity requests a second"

# File > Preferences; its MIDI IN list is the first row.
e2e_click_at "$MAIN_WINDOW" 20 12
e2e_wait 5 e2e_popup_open || e2e_fail "the File menu did not open"
sleep 0.3
e2e_click_popup_item "$MAIN_WINDOW" 60 59 || e2e_fail "the File menu stayed open"
preferences_window() { e2e_list_windows | awk -v n="$MAIN" '{ id=$1; name=$0; sub(/^[^ ]+ [^ ]+ [^ ]+ /, "", name) } name==n && $2>=398 && $2<=404 { print id; exit }' | grep .; }
e2e_wait 10 preferences_window || { e2e_list_windows; e2e_fail "the Preferences window did not open"; }
PREFS=$(preferences_window)
# A second Preferences command opens nothing.
e2e_click_at "$MAIN_WINDOW" 20 12
e2e_wait 5 e2e_popup_open || e2e_fail "the File menu did not open"
sleep 0.3
e2e_click_popup_item "$MAIN_WINDOW" 60 59 || e2e_fail "the File menu stayed open"
sleep 1
[ "$(e2e_list_windows | awk -v n="$MAIN" '{ name=$0; sub(/^[^ ]+ [^ ]+ [^ ]+ /, "", name) } name==n && $2>=398 && $2<=404' | wc -l)" -eq 1 ] \
    || e2e_fail "a second Preferences command opened a second window"
e2e_pass "a second Preferences command opened nothing"
sleep 0.5
e2e_screenshot preferences

# The order of the MIDI IN list: the system's inputs but the utility's own.
"$E2E_BUILD/tools/list-midi-ports/kestrune-list-midi-ports" 2>/dev/null | sed -n 's/^in //p' \
    | grep -vxF "Kestrune Tuning Utility MIDI" > "$E2E_DIR/inputs.txt" || true
grep -qxF "Kestrune Jack 2" "$E2E_DIR/inputs.txt" || e2e_fail "no MIDI input of the second machine: $(tr '\n' ',' < "$E2E_DIR/inputs.txt")"

# The text the MIDI IN list shows, read by OCR (white list, dark text).
shown_input() {
    eval "$(xdotool getwindowgeometry --shell "$PREFS")"
    import -window root -crop "170x20+$(( X + 195 ))+$(( Y + 102 ))" +repage "$E2E_DIR/ocr.png" 2> /dev/null || return 0
    convert "$E2E_DIR/ocr.png" -colorspace Gray -resize 300% "$E2E_DIR/ocr.png"
    tesseract "$E2E_DIR/ocr.png" - --psm 7 2>/dev/null | tr -s ' ' | sed 's/[[:space:]]*$//'
}

# Opens the MIDI IN list and picks the named entry; the pop-up's rows are 24
# pixels high and it opens right below the list. When the machine is busy a
# pop-up may drop a click, or the click may reach the wrong pop-up: the pick is
# then repeated, up to three times. A utility that hangs never gets there, and
# one that shows the new input without opening it fails at once.
RETRIES=0
pick_input() {
    local name="$1" attempt menu row shown
    row=$(grep -nxF "$name" "$E2E_DIR/inputs.txt" | cut -d: -f1)
    for attempt in 1 2 3; do
        if e2e_popup_open; then
            xdotool key Escape
            e2e_wait 3 e2e_popup_closed || return 1
        fi
        e2e_click_at "$PREFS" 290 112
        e2e_wait 5 e2e_window_id menu || return 1
        menu=$(e2e_window_id menu)
        sleep 0.3
        [ -e "$E2E_DIR/midi-in-list.png" ] || import -window "$menu" "$E2E_DIR/midi-in-list.png" 2> /dev/null || true
        if [ "$(menu_top)" -le 140 ] && e2e_click_popup_item "$menu" 60 $(( (row - 1) * 24 + 12 )) \
            && e2e_wait 5 input_is "$name"; then
            return 0
        fi
        shown=$(shown_input)
        if [ "$shown" = "$name" ] && ! e2e_wait 5 input_is "$name"; then
            e2e_screenshot "not-opened-$i"
            e2e_fail "switch $i: the list shows $name but its port was not opened"
        fi
        e2e_log "switch $i: attempt $attempt did not switch to $name (the list shows '$shown'); again"
        RETRIES=$(( RETRIES + 1 ))
    done
    return 1
}
# Top of the open pop-up within the Preferences window: the MIDI IN list's
# opens 125 pixels down, the MIDI OUT list's below it.
menu_top() {
    local py
    eval "$(xdotool getwindowgeometry --shell "$PREFS")"; py=$Y
    eval "$(xdotool getwindowgeometry --shell "$(e2e_window_id menu)")"
    echo $(( Y - py ))
}

start=$(date +%s%N)
for i in $(seq 1 "$SWITCHES"); do
    if [ $(( i % 2 )) -eq 1 ]; then target="Kestrune Jack 2"; else target="Kestrune Jack 1"; fi
    pick_input "$target" || { e2e_screenshot "stuck-$i"; e2e_fail "switch $i to $target did not happen (the utility hangs?)"; }
    kill -0 "$E2E_APP_PID" 2> /dev/null || e2e_fail "the utility died at switch $i"
done
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
e2e_screenshot preferences-after-switching
e2e_pass "$SWITCHES input switches under the flood, $elapsed ms in all ($RETRIES picks repeated)"

# Still responsive: the Preferences window closes and the utility quits.
# Both windows carry the same title: the main window is told by its id. The
# search must list the main window, or an empty answer would pass for "gone".
"$E2E_CLOSE" "$PREFS"
e2e_wait 5 bash -c "ids=\$(xdotool search --onlyvisible --name '^$MAIN\$'); grep -qx $MAIN_WINDOW <<< \"\$ids\" && ! grep -qx $PREFS <<< \"\$ids\"" \
    || e2e_fail "the Preferences window did not close"
kill -TERM "$E2E_FLOOD_PID" 2> /dev/null || true
e2e_list_windows > "$E2E_DIR/windows-at-quit.txt"
"$E2E_CLOSE" "$MAIN_WINDOW"
e2e_wait 15 bash -c "! kill -0 $E2E_APP_PID 2>/dev/null" || {
    e2e_screenshot quit-refused
    e2e_log "windows when the close was sent: $(tr '\n' '|' < "$E2E_DIR/windows-at-quit.txt")"
    e2e_log "windows now: $(e2e_list_windows | tr '\n' '|')"
    e2e_fail "the utility did not quit after the switching"
}
e2e_pass "the utility stayed responsive and quit"
