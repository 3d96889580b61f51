#!/usr/bin/env bash
# One end-to-end case of the player-data suite: player_data.sh CASE HALVARDINE_BINARY. The
# player's stores and the game folder's own files, kept whole where they live and read as the
# Windows tools wrote them, and the clear reports a game gets when what it needs is missing.
set -uo pipefail
case_name=$1
bin=$2
source "$(dirname "$0")/lib.sh"

# A game whose A_Init counts its runs in the profile and quits; $1 is run first (e.g. LoadLuas).
count_runs_and_quit() {
    { echo "${1:-}"; cat <<'LUA'
function A_Init()
  local runs = tonumber(GetProfileFromCode():match("runs!(%d+)!") or "0")
  SetProfileParam("runs=" .. (runs + 1))
  QuitGame()
end
LUA
    } | script
}

case "$case_name" in
project_name_keeps_profile)
    # Each run counts itself in the profile of the project the script names; the second run
    # must find the first run's count there.
    count_runs_and_quit 'LoadLuas("", "", "ProjectName=Saga;")'
    saga="$APPDATA/My Games/Orvandel/Saga"
    mkdir -p "$user"
    printf 'runs=40\r\n' > "$user/Profile.txt"
    run -w
    expect_code 0
    expect_file "$saga/Profile.txt" "runs=1"
    run -w
    expect_code 0
    expect_file "$saga/Profile.txt" "runs=2"
    expect_in "$saga/Saga.log" "TMainForm.LoadLuas Profile.txt read from $saga/"
    # The default project's profile is neither used nor touched.
    expect_file "$user/Profile.txt" "runs=40"
    ;;
read_only_game_folder)
    # A game installed where the player cannot write runs from its plain text.
    script <<'LUA'
function A_Init() InitLogFile("ran.txt") WriteToLogFile("ran") QuitGame() end
LUA
    mkdir -p "$user"
    if [ "$(id -u)" -eq 0 ]; then
        # Permission bits do not stop root, so the stored file's place is taken by a folder,
        # which no user can replace with a file: the write fails as in a read-only folder.
        mkdir -p data/AllLua.luac/inside
    else
        chmod a-w data
        trap 'chmod -R u+w "$game"; rm -rf "$game"' EXIT
    fi
    run -w
    expect_code 0
    expect_file "$user/ran.txt" "ran"
    expect_in "$log" "Warning! data\\AllLua.luac not written, the game runs from data\\AllLua.lua: "
    [ ! -f data/AllLua.luac ] || fail "the stored form was written"
    ;;
store_out_of_reach)
    # The profile is a link into a synced folder that cannot be reached: the game must stop with
    # a report naming the file, not start afresh and save over the player's progress.
    script <<'LUA'
function A_Init() SetProfileParam("level=1") QuitGame() end
LUA
    mkdir -p "$user/sync.real"
    printf 'level=7\r\n' > "$user/sync.real/Profile.txt"
    ln -s sync/Profile.txt "$user/Profile.txt"
    reasons="loop"
    # Permission bits do not stop root; a loop of links stops every user.
    [ "$(id -u)" -eq 0 ] || reasons="loop unreadable"
    for reason in $reasons; do
        if [ "$reason" = loop ]; then
            ln -s sync "$user/sync"
        else
            rm "$user/sync"
            ln -s sync.real "$user/sync"
            chmod 000 "$user/sync.real"
        fi
        run -w
        chmod 755 "$user/sync.real"
        expect_code 1
        expect_in err.txt "Exception EInOutError in module halvardine"
        expect_in err.txt "\"$user/Profile.txt\""
        [ -L "$user/Profile.txt" ] || fail "the profile link was replaced ($reason)"
        [ "$(readlink "$user/Profile.txt")" = sync/Profile.txt ] || fail "the link was changed"
        expect_file "$user/sync.real/Profile.txt" "level=7"
    done
    ;;
profile_through_link)
    # The profile lives in a synced folder through a link, beside a save cut short by a crash.
    count_runs_and_quit
    mkdir -p "$user" sync
    printf 'runs=4\r\n' > sync/Profile.txt
    printf 'runs=' > sync/.Profile.txt.tmp99
    touch -d '-10 minutes' sync/.Profile.txt.tmp99
    ln -s "$game/sync/Profile.txt" "$user/Profile.txt"
    run -w
    expect_code 0
    [ -L "$user/Profile.txt" ] || fail "the profile link was replaced by a file"
    expect_file sync/Profile.txt "runs=5"
    [ ! -e sync/.Profile.txt.tmp99 ] || fail "the interrupted save's file is still there"
    expect_in "$log" "TMainForm Profile.txt: 1 temporary file(s) of an interrupted save removed"
    ;;
byte_order_marks)
    # Files saved by a Windows editor as UTF-8 begin with a byte-order mark.
    count_runs_and_quit
    printf '\xef\xbb\xbf' | cat - data/AllLua.lua > bundle && mv bundle data/AllLua.lua
    mkdir -p "$user"
    printf '\xef\xbb\xbfruns=2\r\n' > "$user/Profile.txt"
    printf '\xef\xbb\xbf[InternetShortcut]\r\nURL=ftp://example.invalid/\r\n' > Link.url
    run -w
    expect_code 0
    expect_file "$user/Profile.txt" "runs=3"
    # The link was read (its address is named), and refused only for not being a web address.
    expect_in "$log" "$link_tried: not an http or https URL (ftp://example.invalid/)"
    ;;
no_resolution_chosen)
    # A script that never chooses a resolution: a blank window, one error saying why, and a
    # loop that waits for the display instead of spinning a core.
    script <<'LUA'
function A_Init() end
function A_Update() end
function A_MouseMove() end
function A_MouseDown() end
function A_MouseUp() end
function A_KeyDown() end
function G_EndGame() end
LUA
    "$bin" -w > out.txt 2> err.txt &
    pid=$!
    wid=$(game_window)
    [ -n "$wid" ] || { kill "$pid"; fail "no window named Halvardine appeared"; }
    # Processor time (user + system, in clock ticks) over two seconds of running.
    cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
    before=$(cpu)
    sleep 2
    used=$(( $(cpu) - before ))
    ticks=$(getconf CLK_TCK)
    key_and_wait alt+F4
    expect_code 0
    # A spinning loop uses all of the two seconds; a waiting one a small part of it.
    [ "$used" -lt "$ticks" ] || fail "the loop used $used of $((2 * ticks)) ticks in 2 s"
    expect_count "$log" "ERROR !!! no surface engine: the script has not called SetSystemResolution" 1
    ;;
window_size_out_of_limits)
    record_init_and_quit
    for size in '[-5,600]' '[800,0]' '[20000,600]'; do
        run -w "$size"
        expect_code 1
        expect_in err.txt "Exception ERangeError in module halvardine"
        expect_in err.txt "The window size $size is no window's size: width and height must each be 1 to 16384 pixels"
        [ ! -f "$user/init.txt" ] || fail "the game started with the size $size"
    done
    ;;
script_function_missing)
    # The script defines no A_MouseUp: a click ends the game with a report that names it.
    script <<'LUA'
function A_Init() SetSystemResolution(800, 600) end
function A_Update()
  if not drawn then drawn = true local f = io.open("drawing.txt", "w") f:close() end
end
function A_MouseMove() end
function A_MouseDown() end
function A_KeyDown() end
function G_EndGame() end
LUA
    "$bin" -w > out.txt 2> err.txt &
    pid=$!
    wid=$(game_window)
    [ -n "$wid" ] || { kill "$pid"; fail "no window named Halvardine appeared"; }
    # Clicks before the game is running are not the script's: wait for its first frame.
    for _ in $(seq 200); do [ -f drawing.txt ] && break; sleep 0.1; done
    [ -f drawing.txt ] || { kill "$pid"; fail "the game drew no frame"; }
    xdotool windowfocus --sync "$wid"
    xdotool mousemove --window "$wid" 100 100 click 1
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "the click did not end the game"; }
    wait "$pid"
    code=$?
    expect_code 1
    expect_in err.txt "Exception Exception in module halvardine"
    expect_in err.txt "A_MouseUp is not defined by the script: attempt to call a nil value."
    expect_in "$log" "ERROR !!! A_MouseUp is not defined by the script: attempt to call a nil value"
    ;;
damaged_stores)
    # Stores the game cannot have saved: settings overwritten with binary bytes, a profile filled
    # with zero bytes by a crash, settings too many to hand to the script. The game starts
    # without them, keeps each beside itself, and saves the settings anew; a store as large as
    # the script can receive still reaches it whole.
    script <<'LUA'
function A_Init()
  local params = {GetParamsFromCode()}
  InitLogFile("seen.txt")
  WriteToLogFile(params[1] .. "|" .. tostring(params[#params]) .. "|" .. GetProfileFromCode())
  SetParamsToCode("volume=5;")
  QuitGame()
end
LUA
    mkdir -p "$user"
    head -c 1048576 /dev/urandom > params.bin
    head -c 8192 /dev/zero > profile.bin
    cp params.bin "$user/GameParams.txt"
    cp profile.bin "$user/Profile.txt"
    run -w
    expect_code 0
    expect_file "$user/seen.txt" "0|0|"
    expect_file "$user/GameParams.txt" "volume=5"
    cmp -s params.bin "$user/GameParams.txt.damaged" || fail "the damaged settings were not kept"
    cmp -s profile.bin "$user/Profile.txt.damaged" || fail "the damaged profile was not kept"
    expect_in "$log" "Warning! TMainForm GameParams.txt is damaged (it holds zero bytes, it is no text); the game starts without it, and it is kept as GameParams.txt.damaged"
    expect_in "$log" "Warning! TMainForm Profile.txt is damaged (it holds zero bytes"

    seq 1 3990 | sed 's/.*/key&=&/' > "$user/GameParams.txt"
    rm "$user/Profile.txt" "$user/seen.txt"
    run -w
    expect_code 0
    expect_file "$user/seen.txt" "3990|3990|"
    seq 1 3991 | sed 's/.*/key&=&/' > "$user/GameParams.txt"
    rm "$user/seen.txt"
    run -w
    expect_code 0
    expect_file "$user/seen.txt" "0|0|"
    expect_in "$log" "GameParams.txt is damaged (it holds 3991 pairs, more than the 3990 the script can receive)"
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "PASS [$case_name]"
