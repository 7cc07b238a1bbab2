#!/usr/bin/env bash
# The utility as an owner installs it, from the optimised tree
# (KESTRUNE_PACKAGE_BUILD_DIR, by default build/release): `cmake --install
# --strip` into a temporary DESTDIR; the desktop entry and the AppStream
# metainfo validated; the icon at every size; the installed binary, finding no
# JACK server (none is started for it, and it may start none), shows its main
# window with the class the desktop entry names; the Debian package built with
# CPack, with its files and dependencies, and accepted by lintian.
set -euo pipefail
source "$(dirname "$0")/../e2e/lib.sh"
e2e_init install_package

APP_ID="com.kestrune.TuningUtility"
STAGE="$E2E_DIR/destdir"
SHARE="$STAGE/usr/share"
PACKAGE_BUILD="${KESTRUNE_PACKAGE_BUILD_DIR:-$E2E_ROOT/build/release}"
grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$PACKAGE_BUILD/CMakeCache.txt" 2> /dev/null \
    || e2e_fail "no Release tree in $PACKAGE_BUILD to package: scripts/build release"
with_jack=$(awk -F= '/^KESTRUNE_WITH_JACK:BOOL=/ { print $2 }' "$PACKAGE_BUILD/CMakeCache.txt")

DESTDIR="$STAGE" cmake --install "$PACKAGE_BUILD" --prefix /usr --strip > "$E2E_DIR/install.log" 2>&1 \
    || { cat "$E2E_DIR/install.log"; e2e_fail "cmake --install failed"; }
doc=usr/share/doc/kestrune-tuning-utility
expected=(usr/bin/kestrune-tuning-utility usr/share/applications/$APP_ID.desktop usr/share/metainfo/$APP_ID.metainfo.xml
          $doc/copyright $doc/changelog.gz usr/share/man/man1/kestrune-tuning-utility.1.gz)
[ "$with_jack" = "ON" ] && expected+=(usr/bin/kestrune-sim usr/share/man/man1/kestrune-sim.1.gz)
for f in "${expected[@]}"; do [ -f "$STAGE/$f" ] || e2e_fail "not installed: /$f"; done
[ -x "$STAGE/usr/bin/kestrune-tuning-utility" ] || e2e_fail "the utility is not executable"
for size in 16 22 24 32 48 64 128 256; do
    icon="$SHARE/icons/hicolor/${size}x${size}/apps/$APP_ID.png"
    [ -f "$icon" ] || e2e_fail "no ${size}x${size} icon"
    case "$(identify -format '%wx%h %A' "$icon")" in "${size}x${size} "[BbTt]*) ;; *) e2e_fail "the ${size}x${size} icon is $(identify -format '%wx%h, alpha %A' "$icon")" ;; esac
done
e2e_pass "installed: $(cd "$STAGE" && find . -type f | wc -l) files, icons 16 to 256 pixels with transparency"

desktop="$SHARE/applications/$APP_ID.desktop"
desktop-file-validate "$desktop" > "$E2E_DIR/desktop-file-validate.txt" 2>&1 && [ ! -s "$E2E_DIR/desktop-file-validate.txt" ] \
    || { cat "$E2E_DIR/desktop-file-validate.txt"; e2e_fail "desktop-file-validate found errors or warnings"; }
grep -qx "Icon=$APP_ID" "$desktop" && grep -qx "Exec=kestrune-tuning-utility" "$desktop" || e2e_fail "the desktop entry names another icon or command"
metainfo="$SHARE/metainfo/$APP_ID.metainfo.xml"
appstreamcli validate --no-net --explain "$metainfo" > "$E2E_DIR/appstreamcli.txt" 2>&1 \
    || { cat "$E2E_DIR/appstreamcli.txt"; e2e_fail "appstreamcli validate failed"; }
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" || e2e_fail "the metainfo names another licence"
e2e_pass "desktop-file-validate: no errors, no warnings; appstreamcli validate --no-net: $(tail -n 1 "$E2E_DIR/appstreamcli.txt")"

e2e_start_xvfb
export JACK_DEFAULT_SERVER="kestrune-none-$$" JACK_NO_START_SERVER=1
E2E_APP="$STAGE/usr/bin/kestrune-tuning-utility" e2e_start_app
e2e_wait 10 e2e_main_window || e2e_fail "the installed utility's main window is not 700x524"
MAIN_WINDOW=$(e2e_main_window)
sleep 0.5
e2e_shot installed-main "$MAIN_WINDOW"
wanted=$(awk -F= '/^StartupWMClass=/ { print $2 }' "$desktop")
[[ "$(xprop -id "$MAIN_WINDOW" WM_CLASS)" == *"\"$wanted\""* ]] || e2e_fail "the window's class is not \"$wanted\", which the desktop entry expects"
e2e_quit
e2e_pass "the installed utility showed its main window (class \"$wanted\") and quit when it closed"

cpack -G DEB --config "$PACKAGE_BUILD/CPackConfig.cmake" -B "$E2E_DIR/package" > "$E2E_DIR/cpack.log" 2>&1 \
    || { tail -n 30 "$E2E_DIR/cpack.log"; e2e_fail "cpack -G DEB failed"; }
deb=$(ls "$E2E_DIR"/package/*.deb)
dpkg-deb -c "$deb" > "$E2E_DIR/deb-contents.txt"
for f in "${expected[@]}"; do grep -q " \./$f\$" "$E2E_DIR/deb-contents.txt" || e2e_fail "the package lacks /$f"; done
depends=$(dpkg-deb -f "$deb" Depends)
wanted_deps=(libc6 libstdc++6 libasound2 libfftw3-single3 libfreetype6 libx11-6 libxext6 libxrandr2 libxinerama1 libxcursor1 fonts-dejavu-core)
[ "$with_jack" = "ON" ] && wanted_deps+=(libjack)
for dep in "${wanted_deps[@]}"; do
    case ", $depends" in *", $dep"*|*"| $dep"*) ;; *) e2e_fail "the package does not depend on $dep: $depends" ;; esac
done
e2e_pass "Debian package $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"

# Debian's own checker: no error and no warning (information and pedantic
# notes are listed in the log only).
lintian --fail-on error,warning --display-info "$deb" > "$E2E_DIR/lintian.txt" 2>&1 \
    || { cat "$E2E_DIR/lintian.txt"; e2e_fail "lintian found errors or warnings"; }
e2e_pass "lintian: no errors or warnings ($(grep -c '^[IP]: ' "$E2E_DIR/lintian.txt" || true) notes, in lintian.txt)"
