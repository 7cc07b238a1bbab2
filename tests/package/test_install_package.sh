#!/usr/bin/env bash
# The utility as an owner installs it: `cmake --install` into a temporary
# DESTDIR; the desktop entry and the AppStream metainfo validated; the icon at
# every size; the installed binary started under Xvfb until its main window
# shows, with the window class the desktop entry names; the Debian package
# built with CPack, its contents and dependencies listed and checked.
# The installed utility finds no JACK server (none is started for it, and it
# may start none): it still has to come up.
set -euo pipefail
source "$(dirname "$0")/../../scripts/e2e/lib.sh"
e2e_init install_package

APP_ID="com.kestrune.TuningUtility"
MAIN="Kestrune Tuning Utility"
STAGE="$E2E_DIR/destdir"
SHARE="$STAGE/usr/share"
with_jack=$(awk -F= '/^KESTRUNE_WITH_JACK:BOOL=/ { print $2 }' "$E2E_BUILD/CMakeCache.txt")

# ---------------------------------------------------------------- install ---
DESTDIR="$STAGE" cmake --install "$E2E_BUILD" --prefix /usr > "$E2E_DIR/install.log" 2>&1 \
    || { cat "$E2E_DIR/install.log"; e2e_fail "cmake --install failed"; }
expected=(
    usr/bin/kestrune-tuning-utility
    usr/share/applications/$APP_ID.desktop
    usr/share/metainfo/$APP_ID.metainfo.xml
    usr/share/doc/kestrune-tuning-utility/copyright
)
[ "$with_jack" = "ON" ] && expected+=(usr/bin/kestrune-sim)
for f in "${expected[@]}"; do
    [ -f "$STAGE/$f" ] || e2e_fail "not installed: /$f"
done
[ -x "$STAGE/usr/bin/kestrune-tuning-utility" ] || e2e_fail "the utility is not executable"
e2e_pass "installed: $(cd "$STAGE" && find . -type f | wc -l) files"

# Every size of the icon theme from 16 to 256, square, with transparency.
for size in 16 22 24 32 48 64 128 256; do
    icon="$SHARE/icons/hicolor/${size}x${size}/apps/$APP_ID.png"
    [ -f "$icon" ] || e2e_fail "no ${size}x${size} icon"
    read -r w h a < <(identify -format '%w %h %A\n' "$icon")
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || e2e_fail "the ${size}x${size} icon is ${w}x${h}"
    case "$a" in [Bb]lend|[Tt]rue) ;; *) e2e_fail "the ${size}x${size} icon has no transparency ($a)" ;; esac
done
e2e_pass "icons 16 to 256 pixels in the hicolor theme"

# -------------------------------------------------------------- validation ---
desktop="$SHARE/applications/$APP_ID.desktop"
if ! desktop-file-validate "$desktop" > "$E2E_DIR/desktop-file-validate.txt" 2>&1; then
    cat "$E2E_DIR/desktop-file-validate.txt"; e2e_fail "desktop-file-validate found errors"
fi
[ -s "$E2E_DIR/desktop-file-validate.txt" ] && { cat "$E2E_DIR/desktop-file-validate.txt"; e2e_fail "desktop-file-validate warned"; }
grep -qx "Icon=$APP_ID" "$desktop" || e2e_fail "the desktop entry names another icon"
grep -qx "Exec=kestrune-tuning-utility" "$desktop" || e2e_fail "the desktop entry starts another command"
e2e_pass "desktop-file-validate: no errors, no warnings"

metainfo="$SHARE/metainfo/$APP_ID.metainfo.xml"
if ! appstreamcli validate --no-net --explain "$metainfo" > "$E2E_DIR/appstreamcli.txt" 2>&1; then
    cat "$E2E_DIR/appstreamcli.txt"; e2e_fail "appstreamcli validate failed"
fi
cat "$E2E_DIR/appstreamcli.txt"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" || e2e_fail "the metainfo names another licence"
grep -q '<screenshot type="default">' "$metainfo" || e2e_fail "the metainfo has no default screenshot"
e2e_pass "appstreamcli validate --no-net: $(tail -n 1 "$E2E_DIR/appstreamcli.txt")"

# ------------------------------------------------------ the installed binary ---
e2e_start_xvfb
# A server name nobody runs, and no starting one: the utility meets no JACK.
export JACK_DEFAULT_SERVER="kestrune-none-$$" JACK_NO_START_SERVER=1
"$STAGE/usr/bin/kestrune-tuning-utility" > "$E2E_DIR/app.out" 2>&1 &
E2E_APP_PID=$!
E2E_PIDS+=($!)
e2e_wait 30 e2e_window_id "$MAIN" || e2e_fail "the installed utility showed no main window"
MAIN_WINDOW=$(e2e_window_id "$MAIN")
sleep 0.5
import -window "$MAIN_WINDOW" "$E2E_DIR/installed-main.png" 2> /dev/null && e2e_log "screenshot $E2E_DIR/installed-main.png"
wm_class=$(xprop -id "$MAIN_WINDOW" WM_CLASS)
wanted=$(awk -F= '/^StartupWMClass=/ { print $2 }' "$desktop")
case "$wm_class" in *"\"$wanted\""*) ;; *) e2e_fail "the window's class is $wm_class, the desktop entry expects \"$wanted\"" ;; esac
e2e_close_window "$MAIN"
e2e_wait 15 bash -c "! kill -0 $E2E_APP_PID 2> /dev/null" || e2e_fail "the installed utility did not quit"
e2e_pass "the installed utility showed its main window (class \"$wanted\") and quit when it closed"

# ------------------------------------------------------------ Debian package ---
cpack -G DEB --config "$E2E_BUILD/CPackConfig.cmake" -B "$E2E_DIR/package" > "$E2E_DIR/cpack.log" 2>&1 \
    || { tail -n 30 "$E2E_DIR/cpack.log"; e2e_fail "cpack -G DEB failed"; }
deb=$(ls "$E2E_DIR"/package/*.deb)
dpkg-deb -I "$deb" > "$E2E_DIR/deb-info.txt"
dpkg-deb -c "$deb" > "$E2E_DIR/deb-contents.txt"
cat "$E2E_DIR/deb-info.txt"
awk '{ print $1, $3, $6 }' "$E2E_DIR/deb-contents.txt"
for f in "${expected[@]}"; do
    grep -q " \./$f\$" "$E2E_DIR/deb-contents.txt" || e2e_fail "the package lacks /$f"
done
depends=$(awk '/^ Depends:/ { sub(/^ Depends: /, ""); print }' "$E2E_DIR/deb-info.txt")
wanted_deps=(libc6 libstdc++6 libasound2 libfftw3-single3 libfreetype6 libx11-6 libxext6 libxrandr2 libxinerama1 libxcursor1 fonts-dejavu-core)
[ "$with_jack" = "ON" ] && wanted_deps+=(libjack)
for dep in "${wanted_deps[@]}"; do
    case ", $depends" in *", $dep"*|*"| $dep"*) ;; *) e2e_fail "the package does not depend on $dep: $depends" ;; esac
done
e2e_pass "Debian package $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"
