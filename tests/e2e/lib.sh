# Shared set-up of the end-to-end cases, sourced by each suite script after it has set
# case_name and bin: a scratch game folder as the current folder, the per-user folder inside it,
# and the checks the cases use. Runs inside a virtual X server.

game=$(mktemp -d)
trap 'rm -rf "$game"' EXIT
mkdir -p "$game/data"
cd "$game"
export APPDATA="$game/appdata"
export SDL_VIDEODRIVER=x11
export HALVARDINE_NO_DIALOGS=1
# No session bus: without one, SDL's start-up asks D-Bus to launch a bus for the X display, and a
# game killed during that handshake can leave the next game waiting on it for ever.
export DBUS_SESSION_BUS_ADDRESS="disabled:"
# In a sanitizer build, leaks inside system libraries (X11, D-Bus, Mesa) are not the game's.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/lsan.supp}"
user="$APPDATA/My Games/Orvandel/Halvardine"
log="$user/Halvardine.log"

fail() { echo "FAIL [$case_name]: $*" >&2; exit 1; }
script() { cat > data/AllLua.lua; }
# Runs the binary with a time limit; sets $code and leaves its output in out.txt / err.txt.
run() {
    timeout 30 "$bin" "$@" > out.txt 2> err.txt
    code=$?
    [ "$code" -ne 124 ] || fail "the program did not end within 30 s"
}
expect_code() { [ "$code" -eq "$1" ] || fail "exit code $code, expected $1; stderr: $(cat err.txt)"; }
expect_file() { [ "$(tr -d "\r" < "$1" 2>/dev/null)" = "$2" ] || fail "$1 holds '$(cat "$1" 2>/dev/null)', expected '$2'"; }
expect_in() { grep -qF -- "$2" "$1" 2>/dev/null || fail "'$2' not found in $1: $(cat "$1" 2>/dev/null)"; }
expect_not_in() { ! grep -qF -- "$2" "$1" 2>/dev/null || fail "'$2' found in $1"; }
# A farewell link the host tries to open but refuses (not http), so no browser starts; the log
# tells how often it was tried.
farewell_link() { printf '[InternetShortcut]\r\nURL=ftp://example.invalid/\r\n' > Link.url; }
link_tried="TMainForm.OpenUrl Link.url not opened"
expect_count() { [ "$(grep -cF -- "$2" "$1" 2>/dev/null)" -eq "$3" ] || fail "'$2' not $3 time(s) in $1: $(cat "$1" 2>/dev/null)"; }

# A_Init writes its seven values into init.txt in the per-user folder, then quits.
record_init_and_quit() {
    script <<'LUA'
function A_Init(t, a, b, c, effects, start, full)
  InitLogFile("init.txt")
  WriteToLogFile(table.concat({type(t), a, b, c, effects, start, tostring(full)}, "|"))
  QuitGame()
end
LUA
}

# Prints the id of the game's window once it exists, waiting up to 20 s; prints nothing when none
# appeared. The search is repeated here rather than left to xdotool's --sync: a window that
# vanishes while xdotool reads its properties (a short-lived window of the host or of the X
# server's other clients) ends that xdotool with an X error instead of a later match.
game_window() {
    local id
    for _ in $(seq 200); do
        id=$(xdotool search --name '^Halvardine$' 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.1
    done
}

# Sends a key to the game's window $wid (game process $pid) and waits up to 10 s for the game to
# end; sets $code. A game still running is killed and the case fails.
key_and_wait() {
    xdotool windowfocus --sync "$wid"
    xdotool key --clearmodifiers "$1"
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "$1 did not end the game"; }
    wait "$pid"
    code=$?
}
