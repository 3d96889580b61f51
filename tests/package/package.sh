#!/usr/bin/env bash
# The Debian package as a player gets it: its control data, installed into a scratch root with
# dpkg, the installed program run on the installed demo in a virtual X server, the starter
# command, the desktop entry and the manual page; then removed, leaving nothing behind.
#     tests/package/package.sh PATH/halvardine_<version>_<arch>.deb
# Run by tools/package --test (and so by tools/test). Needs what tools/bootstrap installs.
set -uo pipefail
deb=$(realpath "$1")
repo=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL [package]: $*" >&2; exit 1; }
cd "$work"

# --- control data: the version, and dependencies that are real Debian package names ---------
version=$(sed -n 's/^project(Halvardine VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
[ "$(dpkg-deb -f "$deb" Package)" = halvardine ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version), expected $version"
depends=$(dpkg-deb -f "$deb" Depends)
case ", $depends," in *", liblua5.1-0 | libluajit-5.1-2,"*) ;; *) fail "Lua is not a dependency with LuaJIT as the alternative: $depends" ;; esac
known() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' ||
          apt-cache show --no-all-versions "$1" >/dev/null 2>&1; }
IFS=',' read -ra groups <<< "$depends"
for group in "${groups[@]}"; do
    ok=""
    IFS='|' read -ra alternatives <<< "$group"
    for alt in "${alternatives[@]}"; do
        name=$(echo "$alt" | sed 's/(.*)//' | tr -d ' ')
        known "$name" || fail "dependency $name is no Debian package known here"
        ok=1
    done
    [ -n "$ok" ] || fail "empty dependency in: $depends"
done

# --- install into a scratch root --------------------------------------------------------------
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
as_root=(); [ "$(id -u)" -eq 0 ] || as_root=(fakeroot)
# The libraries come from this system, not from the scratch root: dependencies are not checked
# there (they were checked above).
dpkg_root() { "${as_root[@]}" dpkg --root="$root" --log=/dev/null --force-depends --force-not-root "$@"; }
dpkg_root -i "$deb" > dpkg.txt 2>&1 || fail "dpkg -i: $(cat dpkg.txt)"
dpkg_root -s halvardine 2>/dev/null | grep -q '^Status: install ok installed' || fail "not installed"

bin="$root/usr/bin"
for f in usr/bin/halvardine usr/bin/halvardine-demo usr/bin/halvardine-new-game \
         usr/share/applications/halvardine.desktop usr/share/icons/hicolor/256x256/apps/halvardine.png \
         usr/share/man/man6/halvardine.6.gz usr/share/doc/halvardine/first-game.md \
         usr/share/doc/halvardine/images/placement.png usr/share/halvardine/demo/data/AllLua.lua; do
    [ -e "$root/$f" ] || fail "/$f is not installed"
done
cmp -s "$root/usr/share/icons/hicolor/256x256/apps/halvardine.png" "$repo/packaging/halvardine-256.png" ||
    fail "the installed icon is not the program's"
[ "$("$bin/halvardine" --version)" = "halvardine $version" ] || fail "--version: $("$bin/halvardine" --version)"
desktop-file-validate "$root/usr/share/applications/halvardine.desktop" > desktop.txt 2>&1 ||
    fail "desktop entry: $(cat desktop.txt)"
grep -q '^Exec=halvardine-demo$' "$root/usr/share/applications/halvardine.desktop" || fail "desktop entry's command"
MANWIDTH=80 man -l "$root/usr/share/man/man6/halvardine.6.gz" 2>/dev/null | col -b > man.txt
grep -q "HALVARDINE_GAME_DIR" man.txt && grep -q -- "--version" man.txt || fail "manual page: $(head man.txt)"

# --- the installed commands at work ------------------------------------------------------------
"$bin/halvardine-new-game" "$work/mygame" > new.txt || fail "halvardine-new-game: $(cat new.txt)"
grep -qF "$bin/halvardine --game $work/mygame -w" new.txt || fail "halvardine-new-game's advice: $(cat new.txt)"
[ -s "$work/mygame/data/Textures/atlas.png" ] || fail "the new game has no atlas"

# The demo through its launcher, as the desktop entry starts it: drawn, clicked, quit with Esc.
cat > demo.sh <<'SH'
set -uo pipefail
fail() { echo "FAIL [package]: $*" >&2; exit 1; }
"$1/halvardine-demo" > demo-out.txt 2> demo-err.txt &
pid=$!
# Searched again and again: xdotool's --sync search ends with an X error when a window it
# reads goes away meanwhile.
wid=$(for _ in $(seq 200); do xdotool search --name '^Halvardine$' 2>/dev/null | head -1 | grep . && break; sleep 0.1; done)
[ -n "$wid" ] || { kill "$pid"; fail "the installed demo opened no window: $(cat demo-err.txt)"; }
drawn=""
for _ in $(seq 40); do
    sleep 0.25
    import -window "$wid" shot.png
    read -r r g b <<< "$(convert shot.png -crop 1x1+740+390 -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)"
    if [ "$b" -gt 150 ] && [ "$r" -gt 100 ] && [ "$g" -lt 130 ]; then drawn=1; break; fi
done
[ -n "$drawn" ] || { kill "$pid"; fail "the installed demo drew no crystal: $r $g $b"; }
xdotool windowfocus --sync "$wid"
xdotool mousemove --window "$wid" 740 360 click 1
xdotool key --clearmodifiers space
sleep 0.5
xdotool key --clearmodifiers Escape
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "Escape did not end the installed demo"; }
wait "$pid" || fail "the installed demo ended with $?: $(cat demo-err.txt)"
SH
export APPDATA="$work/appdata" HALVARDINE_NO_DIALOGS=1 SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11
unset HALVARDINE_GAME_DIR
timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash demo.sh "$bin" || exit 1
user="$APPDATA/My Games/Orvandel/Halvardine"
grep -q "clicks=1" "$user/Profile.txt" || fail "the demo's click was not saved: $(cat "$user/Profile.txt")"
grep -q "\[ Errors : 0 ,  Warnings : 0" "$user/Halvardine.log" || fail "the demo's log: $(tail -5 "$user/Halvardine.log")"
leftover=$(find "${TMPDIR:-/tmp}" -maxdepth 1 -name 'halvardine-demo.*' -newer dpkg.txt 2>/dev/null)
[ -z "$leftover" ] || fail "the demo launcher left its copy behind: $leftover"

# --- remove: nothing of the package stays ------------------------------------------------------
dpkg_root -P halvardine > dpkg.txt 2>&1 || fail "dpkg -P: $(cat dpkg.txt)"
dpkg_root -s halvardine 2>/dev/null | grep -q '^Status: install ok installed' && fail "still installed"
left=$(find "$root/usr" -mindepth 1 ! -type d 2>/dev/null)
[ -z "$left" ] || fail "files left after removal: $left"
echo "PASS [package]"
