# End-to-end harness: sourced by tests/e2e/test_*.sh, tests/package and scripts/screenshots.
# Starts a private JACK server, Xvfb, the virtual Kestrune and the utility,
# drives and captures windows, and stops every process it started, by PID,
# whatever way the test ends. Every wait is bounded.

E2E_ROOT="${KESTRUNE_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
E2E_BUILD="${KESTRUNE_BUILD_DIR:-$E2E_ROOT/build/main}"
E2E_APP="$E2E_BUILD/KestruneTuningUtility_artefacts/Debug/Kestrune Tuning Utility"
E2E_SIM="$E2E_BUILD/sim/kestrune-sim"
E2E_CLOSE="$E2E_BUILD/tests/e2e-close-window"
E2E_SNAPSHOT="$E2E_BUILD/tests/e2e-snapshot"
E2E_PIDS=()
E2E_FAILED=0

e2e_log() { echo "[$(date +%H:%M:%S.%3N)] $*"; }

e2e_fail() {
    e2e_log "FAIL: $*"
    E2E_FAILED=1
    # The screen as it stood: a box or a window nobody expected shows there.
    [ -n "${DISPLAY:-}" ] && e2e_capture root "$E2E_DIR/at-failure.png" 2> /dev/null && e2e_log "the screen: $E2E_DIR/at-failure.png"
    e2e_dump_app_stacks
    exit 1
}

# On failure, the utility's threads as they stand: a hang shows there.
e2e_dump_app_stacks() {
    [ -n "${E2E_APP_PID:-}" ] && kill -0 "$E2E_APP_PID" 2>/dev/null && command -v gdb > /dev/null || return 0
    timeout 60 gdb -p "$E2E_APP_PID" -batch -ex "thread apply all bt 12" > "$E2E_DIR/app-stacks.txt" 2>&1 || true
    e2e_log "the utility's threads: $E2E_DIR/app-stacks.txt; the message thread:"
    awk '/^Thread / { f = ($2 == 1) } f && /^#/ { print "    " $0 }' "$E2E_DIR/app-stacks.txt" | cut -c1-160 | head -n 12
}

e2e_pass() { e2e_log "PASS: $*"; }

e2e_cleanup() {
    local pid patience
    [ -n "${E2E_WATCHDOG_PID:-}" ] && { pkill -TERM -P "$E2E_WATCHDOG_PID" 2>/dev/null || true; }
    for (( i=${#E2E_PIDS[@]}-1; i>=0; i-- )); do
        pid="${E2E_PIDS[$i]}"
        if kill -0 "$pid" 2>/dev/null; then
            patience=30
            if [ "$pid" = "${E2E_JACK_PID:-}" ]; then
                # A server stopped while it still clears away clients that
                # died keeps its entry in the machine's JACK registry.
                e2e_wait 3 e2e_jack_only_system || true
                patience=150
            fi
            kill -TERM "$pid" 2>/dev/null || true
            for _ in $(seq 1 $patience); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
            if kill -KILL "$pid" 2>/dev/null; then
                e2e_log "process $pid ($(ps -o comm= -p "$pid" 2>/dev/null || true)) did not stop within $(( patience / 10 )) s: killed"
            fi
            { wait "$pid"; } 2>/dev/null || true   # no job notice for our own kill
        fi
    done
    [ -n "${E2E_SERVER:-}" ] && e2e_server_registered && e2e_release_server_entry
    [ -n "${E2E_SIM_FIFO:-}" ] && rm -f "$E2E_SIM_FIFO"
    return 0 # the test's own exit status stands
}

e2e_jack_only_system() { ! timeout 2 jack_lsp 2>/dev/null | grep -qv '^system:'; }

# The machine's JACK registry holds eight servers (for every user), and the
# entry of one that was killed, or stopped in the middle of clearing away dead
# clients, stays taken until a server of the same name starts. Ours is then
# started and stopped once more, cleanly.
e2e_server_registered() { grep -qaF ":$E2E_SERVER:" /dev/shm/jack-shm-registry 2>/dev/null; }
e2e_release_server_entry() {
    local pid
    jackd -S -n "$E2E_SERVER" -d dummy -r 48000 -p 512 >> "$E2E_DIR/jackd.log" 2>&1 &
    pid=$!
    e2e_wait 10 timeout 2 jack_lsp || true
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    { wait "$pid"; } 2>/dev/null || true
}

# e2e_init NAME: a work folder under the build folder and the clean-up trap.
e2e_init() {
    E2E_NAME="$1"
    E2E_DIR="$E2E_BUILD/e2e/$E2E_NAME"
    rm -rf "$E2E_DIR"; mkdir -p "$E2E_DIR"
    E2E_SERVER="kestrune-e2e-$$-$E2E_NAME"
    # The utility's own files (the calibration journal) start empty, per test.
    export XDG_DATA_HOME="$E2E_DIR/data"
    # No sound hardware here, but ALSA's plugin packages (pulse, jack) list
    # PCM devices of their own, and the utility would open those instead of
    # JACK. An empty ALSA configuration lists none, as on a machine without
    # them.
    : > "$E2E_DIR/alsa.conf"
    export ALSA_CONFIG_PATH="$E2E_DIR/alsa.conf"
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
    # Bounded: the whole test never outlives this.
    # Its output goes to a file: a sleep holding the test's output open would
    # make CTest wait for it after the test has passed.
    ( sleep "${E2E_TIMEOUT:-240}"; echo "e2e: $E2E_NAME timed out" > "$E2E_DIR/timed-out"; kill -TERM $$ ) > /dev/null 2>&1 &
    E2E_WATCHDOG_PID=$!
    E2E_PIDS+=($!)
}

# e2e_wait SECONDS COMMAND...: polls every 50 ms until the command succeeds.
e2e_wait() {
    local limit="$1"; shift
    local deadline=$(( $(date +%s%N) + ${limit%.*} * 1000000000 ))
    while ! "$@" >/dev/null 2>&1; do
        [ "$(date +%s%N)" -gt "$deadline" ] && return 1
        sleep 0.05
    done
}

e2e_start_jack() {
    jackd -S -n "$E2E_SERVER" -d dummy -r 48000 -p 512 >> "$E2E_DIR/jackd.log" 2>&1 &
    E2E_PIDS+=($!)
    E2E_JACK_PID=$!
    export JACK_DEFAULT_SERVER="$E2E_SERVER"
    e2e_wait 10 jack_lsp || e2e_fail "JACK server did not start"
}

# e2e_start_pipewire: a private PipeWire in place of the JACK server, as on
# a current Linux desktop: a session D-Bus, pipewire and wireplumber in a
# runtime folder of our own; every JACK client started after this (the
# utility, the virtual machine, jack_lsp) loads PipeWire's libjack.
E2E_PIPEWIRE_JACK_DIR="/usr/lib/$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)/pipewire-0.3/jack"
e2e_start_pipewire() {
    [ -e "$E2E_PIPEWIRE_JACK_DIR/libjack.so.0" ] || e2e_fail "PipeWire's JACK library is not installed ($E2E_PIPEWIRE_JACK_DIR)"
    export XDG_RUNTIME_DIR="$E2E_DIR/run"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" > "$E2E_DIR/dbus.log" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait 10 test -S "$XDG_RUNTIME_DIR/bus" || e2e_fail "the session D-Bus did not start"
    pipewire > "$E2E_DIR/pipewire.log" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || e2e_fail "pipewire did not start"
    wireplumber > "$E2E_DIR/wireplumber.log" 2>&1 &
    E2E_PIDS+=($!)
    unset JACK_DEFAULT_SERVER
    export LD_LIBRARY_PATH="$E2E_PIPEWIRE_JACK_DIR${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
    e2e_wait 10 jack_lsp || e2e_fail "PipeWire's JACK library does not reach pipewire"
}

e2e_start_xvfb() {
    # Xvfb takes the first free display itself and names it on the given
    # descriptor once it is ready: no race with a test starting beside us.
    local named="$E2E_DIR/xvfb.display"
    : > "$named"
    # -noreset keeps the atoms interned below when the last client goes.
    Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp -noreset 9> "$named" > "$E2E_DIR/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait 10 grep -q '[0-9]' "$named" || e2e_fail "Xvfb did not start"
    export DISPLAY=":$(tr -dc '0-9' < "$named")"
    e2e_wait 10 xdpyinfo || e2e_fail "Xvfb did not start"
    "$E2E_CLOSE" --intern || e2e_fail "could not prepare the X server's window-manager atoms"
}

# e2e_forget_pid PID: a process of ours that has ended is no longer ours to
# stop: its number may be given to someone else's.
e2e_forget_pid() {
    local kept=() pid
    for pid in "${E2E_PIDS[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
    E2E_PIDS=("${kept[@]}")
}

# e2e_wait_gone SECONDS PID: waits for a process of ours to end, and forgets it.
e2e_wait_gone() {
    e2e_wait "$1" bash -c "! kill -0 $2 2>/dev/null" || return 1
    { wait "$2"; } 2>/dev/null || true
    e2e_forget_pid "$2"
}

# e2e_kill PID: SIGKILL to a process of ours, reaped at once (no job notice),
# then forgotten.
e2e_kill() {
    { kill -KILL "$1"; wait "$1"; } 2>/dev/null || true
    e2e_forget_pid "$1"
}

# The JACK server crashes: SIGKILL, no clean-up of its own.
e2e_kill_jack() { e2e_kill "$E2E_JACK_PID"; }

# e2e_start_sim [options...]: the virtual Kestrune, reading commands from a FIFO.
e2e_start_sim() {
    E2E_SIM_FIFO="$E2E_DIR/sim.commands"
    E2E_SIM_LOG="$E2E_DIR/sim.log"
    [ -p "$E2E_SIM_FIFO" ] || mkfifo "$E2E_SIM_FIFO"
    "$E2E_SIM" --log "$E2E_SIM_LOG" --state "$E2E_DIR/sim.state" "$@" < "$E2E_SIM_FIFO" > "$E2E_DIR/sim.out" 2>&1 &
    E2E_SIM_PID=$!
    E2E_PIDS+=($!)
    exec 7> "$E2E_SIM_FIFO"
    e2e_wait 10 e2e_jack_has_port "Kestrune Jack 1:midi_in" || e2e_fail "kestrune-sim did not register its ports"
}

e2e_stop_sim() {
    exec 7>&- || true
    kill -TERM "$E2E_SIM_PID" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$E2E_SIM_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$E2E_SIM_PID" 2>/dev/null || true
}

# The virtual Kestrune loses power at once: SIGKILL. Its command FIFO is
# closed first: a write to it now would kill the test.
e2e_kill_sim() {
    exec 7>&- || true
    e2e_kill "$E2E_SIM_PID"
}

e2e_sim_cmd() { echo "$*" >&7; }

e2e_jack_has_port() { jack_lsp 2>/dev/null | grep -qxF "$1"; }

# True when the two ports are connected.
e2e_jack_connected() {
    jack_lsp -c 2>/dev/null | awk -v a="$1" -v b="$2" '
        /^[^ \t]/ { f = ($0 == a); next }
        { line = $0; sub(/^[ \t]+/, "", line); if (f && line == b) found = 1 }
        END { exit !found }'
}

e2e_start_app() {
    "$E2E_APP" > "$E2E_DIR/app.out" 2>&1 &
    E2E_APP_PID=$!
    E2E_PIDS+=($!)
    e2e_wait 20 e2e_main_window || e2e_fail "the main window did not appear"
}

# e2e_start_app_watched: the utility with its message thread watched
# (stall.txt), and beside it a probe of the pauses of each of the machine's
# processors (freezes.txt): a host that holds a virtual processor holds
# whatever thread of ours it runs, and no program can help it.
e2e_start_app_watched() {
    "$E2E_BUILD/tests/e2e-freeze-probe" > "$E2E_DIR/freezes.txt" 2> "$E2E_DIR/freeze-probe.err" &
    E2E_PIDS+=($!)
    KESTRUNE_STALL_REPORT="$E2E_DIR/stall.txt" e2e_start_app
}

# e2e_check_held_up LIMIT_MS, once the watched utility has quit: fails when
# its message thread was held up longer than the limit, less the time within
# that gap when a processor was paused; E2E_HELD_UP then tells the largest
# gap, net and raw.
e2e_check_held_up() {
    local report="$E2E_DIR/stall.txt" held
    grep -q '^largest-gap-ms ' "$report" 2>/dev/null || e2e_fail "the stall watch wrote no report"
    # Gaps under 50 ms are not listed, and count as they are. Pauses are
    # clipped to the gap and merged, so that two at once count once.
    held=$(awk 'BEGIN { n = 0 } FILENAME == ARGV[1] { end[n] = $1 + 0; len[n] = $2 + 0; ++n; next }
        /^largest-gap-ms / { raw = $2 }
        /^largest-unlisted-gap-ms / { if ($2 + 0 > net) net = $2 + 0 }
        /^gap-ended-at / {
            stop = $NF + 0; start = stop - $3; m = 0
            for (i = 0; i < n; ++i) {
                a = (end[i] - len[i] > start) ? end[i] - len[i] : start
                b = (end[i] < stop) ? end[i] : stop
                if (b > a) { from[m] = a; to[m] = b; ++m }
            }
            paused = 0; reach = start
            for (k = 0; k < m; ++k) {   # in order of their start
                first = k
                for (j = k + 1; j < m; ++j) if (from[j] < from[first]) first = j
                t = from[k]; from[k] = from[first]; from[first] = t
                t = to[k]; to[k] = to[first]; to[first] = t
                a = (from[k] > reach) ? from[k] : reach
                if (to[k] > a) { paused += to[k] - a; reach = to[k] }
            }
            if ($3 - paused > net) net = $3 - paused
        }
        END { printf "%.1f %.1f\n", net, raw }' "$E2E_DIR/freezes.txt" "$report")
    e2e_above "${held% *}" "$1" && e2e_fail "the message thread was held up for ${held% *} ms (raw ${held#* } ms): $(grep '^gap-ended-at' "$report" | tr '\n' '|') processor pauses: $(tr '\n' '|' < "$E2E_DIR/freezes.txt")"
    E2E_HELD_UP="${held% *} ms (raw ${held#* } ms; $(wc -l < "$E2E_DIR/freezes.txt") pauses of a processor)"
}

# e2e_search PATTERN: the ids of the visible windows whose name matches
# PATTERN. xdotool sets no X error handler: a window that goes while the
# search walks the tree (Wine makes and drops windows of its own) ends the
# search with an X error and no result, which is searched again rather than
# taken as none.
e2e_search() {
    local err="$E2E_DIR/window-search.$BASHPID.err" found
    for _ in $(seq 20); do
        found="$(xdotool search --onlyvisible --name "$1" 2> "$err")"
        grep -q "X Error" "$err" || break
        e2e_log "the search for '$1' ended with an X error; searching again" >&2
    done
    rm -f "$err"
    [ -z "$found" ] || echo "$found"
}

e2e_window_id() {
    local id; id="$(e2e_search "^$1\$" | head -n 1)"
    [ -n "$id" ] && echo "$id"
}

# e2e_click WINDOW_TITLE X Y: a left click at window coordinates.
e2e_click() {
    local wid; wid="$(e2e_window_id "$1")" || e2e_fail "no window '$1' to click"
    e2e_click_at "$wid" "$2" "$3"
}

# Visible windows as "id width height name".
e2e_list_windows() {
    local w g
    for w in $(e2e_search ''); do
        g=$(xdotool getwindowgeometry "$w" 2>/dev/null | awk '/Geometry/ { sub("x", " ", $2); print $2 }') || continue
        echo "$w $g $(xdotool getwindowname "$w" 2>/dev/null)"
    done
}

# e2e_click_at WINDOW_ID X Y: a left click at window coordinates.
e2e_click_at() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

e2e_popup_open() { e2e_search '^menu$' | grep -q .; }
e2e_popup_closed() { ! e2e_popup_open; }

# e2e_click_popup_item WINDOW X Y: clicks the item of the open pop-up menu
# that lies at X,Y of WINDOW (the menu, or a window under it) and waits for
# that menu to close. A pop-up menu
# takes a click only once it has seen the pointer over it; when the machine
# is busy it can miss a press and release that follow the move at once, so
# the pointer rests before the click, and a click that left the menu open is
# repeated (three times at most). A slow utility may still take the first
# click late: the wait is long, and it watches this menu alone, since a
# repeated click lands on whatever lies under a menu that has gone and may
# open another. A hung utility still fails: its menu never closes.
e2e_menu_gone() { ! e2e_search '^menu$' | grep -qx "$1"; }
e2e_click_popup_item() {
    local attempt menu="$1"
    e2e_menu_gone "$1" && { menu=$(e2e_window_id menu) || return 0; }
    for attempt in 1 2 3; do
        xdotool mousemove --window "$1" "$2" "$3" 2>/dev/null || return 0   # the menu is gone
        sleep 0.2
        e2e_menu_gone "$menu" && return 0
        xdotool click 1
        e2e_wait 5 e2e_menu_gone "$menu" && return 0
        e2e_log "the pop-up stayed open after click $attempt at $2,$3"
    done
    return 1
}

# e2e_alert_button_y HEIGHT: the row through the buttons of an alert box that
# high. The standard look's buttons are 28 pixels high and end at 95 % of the
# box's height.
e2e_alert_button_y() { echo $(( $1 * 95 / 100 - 14 )); }

# e2e_close_window WINDOW_TITLE: what the window manager's close button does.
e2e_close_window() {
    local wid; wid="$(e2e_window_id "$1")" || e2e_fail "no window '$1' to close"
    "$E2E_CLOSE" "$wid"
}

# e2e_capture WINDOW_ID|root FILE [WxH+X+Y]: a picture of a window, or of a
# rectangle of it. import holds the X server while it converts the picture,
# and the utility's X requests wait for it: our own tool reads it in one copy
# (builds without it, the Windows one, fall back to import).
e2e_capture() {
    if [ -x "$E2E_SNAPSHOT" ]; then
        "$E2E_SNAPSHOT" "$1" ${3:+"$3"} | convert ppm:- "$2"
    else
        import -window "$1" ${3:+-crop "$3" +repage} "$2" 2> /dev/null
    fi
}
e2e_screenshot() {
    e2e_capture root "$E2E_DIR/$1.png" && e2e_log "screenshot $E2E_DIR/$1.png"
}

# Lines of the virtual machine's log that it received, as "<ms> <hex bytes>".
e2e_sim_received() { grep -E '^[0-9.]+ RX ' "$E2E_SIM_LOG" | sed -E 's/^([0-9.]+) RX /\1 /'; }

# What the virtual machine received, as "<JACK frame of arrival> <hex bytes>",
# from the RX-FRAME line that precedes each RX line.
e2e_sim_arrivals() {
    awk '$2 == "RX-FRAME" { frame = $3; next }
         $2 == "RX" { sub(/^[0-9.]+ RX /, ""); print frame, $0 }' "${1:-$E2E_SIM_LOG}"
}

# The sample rate of the machine's JACK server, from its log.
e2e_sim_rate() {
    awk '$2 == "PORTS" && $3 == "plugged" { for (i = 4; i <= NF; ++i) if ($i ~ /^rate=/) rate = substr($i, 6) }
         END { print rate }' "${1:-$E2E_SIM_LOG}"
}

# e2e_gap_stats RATE: reads frames, one a line, and prints the gaps between
# consecutive ones in ms as "<count of gaps> <smallest> <median> <largest>".
e2e_gap_stats() {
    awk -v rate="$1" 'NR > 1 { print ($1 - previous) * 1000 / rate } { previous = $1 }' | sort -g \
        | awk '{ gap[NR] = $1 } END {
                   if (NR == 0) { print 0, 0, 0, 0; exit }
                   median = NR % 2 ? gap[(NR + 1) / 2] : (gap[NR / 2] + gap[NR / 2 + 1]) / 2
                   printf "%d %.3f %.3f %.3f\n", NR, gap[1], median, gap[NR] }'
}

# e2e_check_stored_table SEED KNOB MAX_CENTS [WINDOW_HZ]: the virtual
# machine's stored table against its checker: 40 notes, each within MAX_CENTS
# of its target (and within WINDOW_HZ, if given, plus a cent for the error of
# the estimate the note was accepted on), and a larger value for each lower
# note. The checker's report goes to
# check.txt; prints its summary line.
e2e_check_stored_table() {
    "$E2E_SIM" --check "$E2E_DIR/sim.state" --seed "$1" --knob "$2" > "$E2E_DIR/check.txt" \
        || e2e_fail "the checker could not read the stored table"
    awk -v bound="$3" -v hz="${4:-0}" '/^note / { c = $10 < 0 ? -$10 : $10; d = $6 - $8; d = d < 0 ? -d : d; rows++
                    if (c > bound || (hz > 0 && d > hz + $8 * 0.000578)) { bad++; print "out of tune: " $0 }
                    if (rows > 1 && $4 >= last) { bad++; print "value not below the previous note'"'"'s: " $0 }
                    last = $4 }
         END { exit !(rows == 40 && bad == 0) }' "$E2E_DIR/check.txt" > "$E2E_DIR/check-faults.txt" \
        || { cat "$E2E_DIR/check.txt"; e2e_fail "the stored table does not pass the checker: $(head -n 3 "$E2E_DIR/check-faults.txt" | tr '\n' '|')"; }
    grep '^summary' "$E2E_DIR/check.txt"
}

# ------------------------------------------------- windows of the utility ---
E2E_MAIN_TITLE="Kestrune Tuning Utility"   # the main, knob and Preferences windows share it
E2E_FAILURE_TITLE="There was a problem calibrating the Kestrune."

# e2e_window_sized NAME W H: the id of the visible window with that name and size.
e2e_window_sized() {
    e2e_list_windows | awk -v n="$1" -v w="$2" -v h="$3" '
        { id = $1; name = $0; sub(/^[^ ]+ [^ ]+ [^ ]+ /, "", name) }
        $2 == w && $3 == h && name == n { print id; exit }' | grep .
}
e2e_main_window() { e2e_window_sized "$E2E_MAIN_TITLE" 700 524; }
e2e_knob_window() { e2e_window_sized "$E2E_MAIN_TITLE" 400 311; }
e2e_knob_window_gone() { ! e2e_knob_window > /dev/null; }
e2e_window_gone() { ! e2e_window_id "$1" > /dev/null; }
e2e_count_windows() { e2e_search "^$1\$" | grep -c . || true; }

# e2e_shot NAME [WINDOW_ID]: the whole screen, and the window alone when given.
e2e_shot() {
    e2e_screenshot "$1"
    if [ -n "${2:-}" ]; then
        e2e_capture "$2" "$E2E_DIR/$1.window.png" && e2e_log "screenshot $E2E_DIR/$1.window.png"
    fi
    return 0
}

# e2e_click_box_ok TITLE [DX]: OK of a message box (centred near its bottom
# edge), or the button DX pixels right of the centre (-37 OK and 37 Cancel of
# a box with two); the box must close.
e2e_click_box_ok() {
    local wid; wid="$(e2e_window_id "$1")" || e2e_fail "no box '$1'"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    e2e_click_at "$wid" $(( WIDTH / 2 + ${2:-0} )) "$(e2e_alert_button_y "$HEIGHT")"
    e2e_wait 5 e2e_window_gone "$1" || e2e_fail "the button did not close '$1'"
}

# e2e_open_popup WINDOW X Y: a click that opens a menu or a list's pop-up. A
# window still busy may drop the click: it is repeated.
e2e_open_popup() {
    local attempt
    for attempt in 1 2 3; do
        e2e_click_at "$1" "$2" "$3"
        e2e_wait 2 e2e_popup_open && return 0
    done
    e2e_fail "no pop-up opened at $2,$3"
}

# e2e_choose_popup_item INDEX ITEM_HEIGHT: a click on an item of the open pop-up.
e2e_choose_popup_item() {
    sleep 0.5   # a click right after a pop-up opens counts as the end of the opening drag
    local wid; wid="$(e2e_window_id menu)" || e2e_fail "no pop-up open"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    e2e_click_popup_item "$wid" $(( WIDTH / 2 )) $(( 2 + $2 * $1 + $2 / 2 )) || e2e_fail "the pop-up stayed open"
}

# e2e_file_menu INDEX [SHOT]: an item of the main window's File menu (About,
# Preferences, Update Firmware, Undo Tuning, Restore Default Calibration,
# Write Calibration to File); SHOT names a picture of the open menu.
e2e_file_menu() {
    e2e_open_popup "$(e2e_main_window)" 20 12
    if [ -n "${2:-}" ]; then
        sleep 0.3
        e2e_shot "$2" "$(e2e_window_id menu)"
    fi
    e2e_choose_popup_item "$1" 22
}

# CONTINUE CALIBRATION, clicked until the knob window goes: it is enabled
# once the machine's knob is in range.
e2e_continue_calibration() {
    local attempt k
    for attempt in $(seq 1 20); do
        k="$(e2e_knob_window)" || break
        e2e_click_at "$k" 300 278
        sleep 1
    done
    e2e_knob_window_gone || e2e_fail "Continue did not start the run"
}

# e2e_calibrate SHOT_PREFIX: CALIBRATE TUNING; once the machine has replied
# its 40 values, Continue as soon as the knob step enables it (the machine's
# knob must be in range); returns once the run is writing values.
e2e_calibrate() {
    local replies before
    replies=$(grep -c ' TX F0 47 00 2A 24 00 05 ' "$E2E_SIM_LOG" || true)
    e2e_click_at "$(e2e_main_window)" 235 443
    e2e_wait 10 e2e_knob_window || e2e_fail "the knob calibration window did not open"
    e2e_wait 10 bash -c "[ \$(grep -c ' TX F0 47 00 2A 24 00 05 ' '$E2E_SIM_LOG') -ge $(( replies + 40 )) ]" \
        || e2e_fail "the machine did not reply 40 calibration values"
    sleep 2
    e2e_shot "$1-knob-step" "$(e2e_knob_window)"
    before=$(grep -c ' VALUE 24 ' "$E2E_SIM_LOG" || true)
    e2e_continue_calibration
    e2e_wait 5 bash -c "[ \$(grep -c ' VALUE 24 ' '$E2E_SIM_LOG') -gt $(( before + 10 )) ]" || e2e_fail "the run did not start"
}

e2e_now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# e2e_quit: the main window's close button; the utility must end.
e2e_quit() {
    "$E2E_CLOSE" "$(e2e_main_window)" || e2e_fail "no main window to close"
    e2e_wait_gone 15 "$E2E_APP_PID" || { e2e_shot quit-refused; e2e_fail "the utility did not quit"; }
}

# ---------------------------------------------- the machine's log, decoded ---
e2e_log_mark() { wc -l < "$E2E_SIM_LOG"; }
e2e_log_since() { tail -n +"$(( $1 + 1 ))" "$E2E_SIM_LOG"; }
# A log on stdin: "note value" for each calibration value reply the machine sent.
e2e_replied_values() {
    grep -E '^[0-9]+ TX F0 47 00 2A 24 00 05 ' \
        | awk 'function hex(s) { return index("0123456789ABCDEF", substr(s, 1, 1)) * 16 + index("0123456789ABCDEF", substr(s, 2, 1)) - 17 }
               { print hex($10), hex($11) * 4096 + hex($12) * 256 + hex($13) * 16 + hex($14) }'
}
# A log on stdin: "note value" for each working value set.
e2e_written_values() { grep -E '^[0-9]+ VALUE ' | awk '{ print $3, $4 }'; }
e2e_commits() { grep -cE '^[0-9]+ STATE commit$' "$E2E_SIM_LOG" || true; }
# e2e_wait_commit SECONDS COUNT: until the machine has committed more than COUNT times.
e2e_commits_above() { [ "$(e2e_commits)" -gt "$1" ]; }
e2e_wait_commit() { e2e_wait "$1" e2e_commits_above "$2"; }
# e2e_stored_values SEED KNOB: "note value" for each note of the stored table.
e2e_stored_values() {
    "$E2E_SIM" --check "$E2E_DIR/sim.state" --seed "$1" --knob "$2" | awk '/^note / { print $2, $4 }'
}
# e2e_machine_as_stored SEED KNOB: the machine sounds its stored table (the
# last value written to each note, if any, is the stored one) and no note.
e2e_machine_as_stored() {
    local differing
    differing=$(join <(e2e_stored_values "$1" "$2" | sort -k1,1) \
                     <(e2e_written_values < "$E2E_SIM_LOG" | awk '{ last[$1] = $2 } END { for (n in last) print n, last[n] }' | sort -k1,1) \
                | awk '$2 != $3 { print "note " $1 " holds " $3 ", stores " $2 }')
    [ -z "$differing" ] || { echo "$differing" | head -n 3; return 1; }
    [ "$(grep -E '^[0-9]+ NOTE ' "$E2E_SIM_LOG" | tail -n 1 | awk '{ print $3 }')" != "on" ] || { echo "a note still sounds"; return 1; }
}
e2e_identity_answered() { grep -q ' TX F0 7E 00 06 02 ' "$E2E_SIM_LOG"; }
# e2e_midi_ports_open [MACHINE]: the utility's MIDI ports and the machine's are connected both ways.
e2e_midi_ports_open() {
    e2e_jack_connected "${1:-Kestrune Jack 1}:midi_out" "Kestrune Tuning Utility MIDI:in_1" \
        && e2e_jack_connected "Kestrune Tuning Utility MIDI:out_1" "${1:-Kestrune Jack 1}:midi_in"
}

# -------------------------------------------------------- reading pictures ---
# Share of clearly red pixels, and mean brightness, of an area of an image.
e2e_red_share() { convert "$1" -crop "$2" +repage -fx '(r>0.59 && g<0.35 && b<0.35) ? 1 : 0' -format '%[fx:mean]' info:; }
e2e_brightness() { convert "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:mean]' info:; }
e2e_above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# e2e_knob_shows left|head|right: that part of the knob window's picture,
# alone, is red (areas no other picture overlaps).
e2e_knob_shows() {
    local f="$E2E_DIR/knob.now.png" l h r
    e2e_capture "$(e2e_knob_window)" "$f" || return 1
    l=$(e2e_red_share "$f" 14x104+80+150); h=$(e2e_red_share "$f" 85x89+129+150); r=$(e2e_red_share "$f" 49x104+214+150)
    case "$1" in
        left)  e2e_above "$l" 0.05 && ! e2e_above "$h" 0.01 && ! e2e_above "$r" 0.01 ;;
        head)  e2e_above "$h" 0.05 && ! e2e_above "$l" 0.01 && ! e2e_above "$r" 0.01 ;;
        right) e2e_above "$r" 0.05 && ! e2e_above "$l" 0.01 && ! e2e_above "$h" 0.01 ;;
    esac
}

# e2e_file_menu_states SHOT: the File menu opened, pictured as SHOT and closed
# again; prints "e" (enabled, black) or "d" (disabled, light grey) for Undo
# Tuning, Restore Default Calibration, Write Calibration to File, Load
# Calibration from File and Check Tuning, or "not-white" when the panel is
# not the standard look's.
e2e_file_menu_states() {
    local main y states="" f="$E2E_DIR/$1.png"
    main=$(e2e_main_window)
    e2e_open_popup "$main" 20 12
    sleep 0.4
    e2e_capture "$(e2e_window_id menu)" "$f" && e2e_log "screenshot $f" >&2
    e2e_click_at "$main" 20 12
    e2e_wait 5 e2e_popup_closed || e2e_fail "the File menu did not close"
    e2e_above "$(convert "$f" -colorspace Gray -format '%[fx:mean]' info:)" 0.75 || { echo not-white; return; }
    for y in 79 101 123 145 167; do
        if e2e_above "$(convert "$f" -crop 200x12+10+$(( y - 6 )) +repage -colorspace Gray -format '%[fx:minima]' info:)" 0.4; then
            states="${states}d"
        else
            states="${states}e"
        fi
    done
    echo "$states"
}

# e2e_ocr WINDOW_ID X Y W H [-negate]: the text of an area of a window, read
# by tesseract from its enlarged grey picture (dark text on light, or light on
# dark with -negate).
e2e_ocr() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    e2e_capture root "$E2E_DIR/ocr.png" "${4}x${5}+$(( X + $2 ))+$(( Y + $3 ))" || return 0
    convert "$E2E_DIR/ocr.png" -colorspace Gray ${6:-} -resize 300% "$E2E_DIR/ocr.png"
    tesseract "$E2E_DIR/ocr.png" - --psm 7 2>/dev/null | tr -s ' ' | sed 's/[[:space:]]*$//'
}

# Share of the progress bar's red in the main window's picture.
e2e_progress_share() {
    e2e_capture "$(e2e_main_window)" "$E2E_DIR/progress.now.png" 400x26+34+467 2> /dev/null || { echo 0; return; }
    convert "$E2E_DIR/progress.now.png" -fx '(r>0.6 && g<0.3 && b<0.45) ? 1 : 0' -format '%[fx:mean]' info:
}

# e2e_choose_file TITLE PATH SHOT: in the file dialog of that title, once it
# is up (pictured as SHOT), PATH typed into its file name box, which spans
# the dialog above its buttons: Return chooses the folder and the name,
# Return again confirms. The dialog's id stays in E2E_DIALOG.
e2e_choose_file() {
    e2e_wait 10 e2e_window_id "$1" || e2e_fail "no file dialog titled '$1'"
    E2E_DIALOG=$(e2e_window_id "$1")
    sleep 0.5
    e2e_shot "$3" "$E2E_DIALOG"
    eval "$(xdotool getwindowgeometry --shell "$E2E_DIALOG")"
    e2e_click_at "$E2E_DIALOG" $(( WIDTH / 2 )) $(( HEIGHT - 64 ))
    xdotool type --delay 5 "$2"
    xdotool key Return
    sleep 0.5
    xdotool key Return
}

# ---------------------------------------------------------- Preferences ---
# Lists of the Preferences window, by row: the centre of row i is at y 112 + 35 i.
E2E_MIDI_IN_ROW=0; E2E_MIDI_OUT_ROW=1; E2E_DRIVER_ROW=2; E2E_INPUT_ROW=3; E2E_CHANNEL_ROW=6; E2E_ALGORITHM_ROW=7
e2e_prefs_window() { e2e_window_sized "$E2E_MAIN_TITLE" 400 500; }
e2e_prefs_gone() { ! e2e_prefs_window > /dev/null; }
e2e_open_preferences() {
    e2e_file_menu 1
    e2e_wait 5 e2e_prefs_window || e2e_fail "the Preferences window did not open"
    sleep 0.5
}
# e2e_choose_from_list ROW INDEX [SHOT]: an item of one of the window's
# lists; SHOT names a picture of the open list.
e2e_choose_from_list() {
    local p; p="$(e2e_prefs_window)" || e2e_fail "no Preferences window"
    e2e_open_popup "$p" 290 $(( 112 + 35 * $1 ))
    if [ -n "${3:-}" ]; then
        sleep 0.3
        e2e_shot "$3" "$(e2e_window_id menu)"
    fi
    e2e_choose_popup_item "$2" 23
}
# OK and Cancel of the Preferences window; it must close.
e2e_prefs_button() {
    case "$1" in ok) e2e_click_at "$(e2e_prefs_window)" 337 468 ;; cancel) e2e_click_at "$(e2e_prefs_window)" 40 468 ;; esac
    e2e_wait 5 e2e_prefs_gone || e2e_fail "$1 did not close the Preferences window"
}
# The colours of the level meter's first three LEDs, as "red green off".
e2e_meter() {
    local p i rgb out=""
    p="$(e2e_prefs_window)" || e2e_fail "no Preferences window"
    eval "$(xdotool getwindowgeometry --shell "$p")"
    for i in 0 1 2; do
        e2e_capture root "$E2E_DIR/meter.png" "1x1+$(( X + 111 + 16 * i ))+$(( Y + 468 ))" 2> /dev/null
        rgb=$(convert "$E2E_DIR/meter.png" -depth 8 txt:- | grep -oE '#[0-9A-Fa-f]{6}' | head -n 1)
        set -- $(( 16#${rgb:1:2} )) $(( 16#${rgb:3:2} )) $(( 16#${rgb:5:2} ))
        if [ "$1" -gt $(( $2 + 50 )) ] && [ "$1" -gt $(( $3 + 50 )) ]; then out="$out red"
        elif [ "$2" -gt $(( $1 + 40 )) ] && [ "$2" -gt $(( $3 + 40 )) ]; then out="$out green"
        else out="$out off"; fi
    done
    echo "${out# }"
}
e2e_meter_is() { [ "$(e2e_meter)" = "$*" ]; }

# e2e_start_identity_flood PORT...: a JACK client that writes identity
# requests to each port on every period, as fast as the machines take them.
e2e_start_identity_flood() {
    python3 - 8 "$@" > "$E2E_DIR/flood.out" 2>&1 <<'PY' &
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
PY
    E2E_FLOOD_PID=$!
    E2E_PIDS+=($!)
    e2e_wait 10 grep -q flooding "$E2E_DIR/flood.out" || e2e_fail "the identity request flood did not start"
}
