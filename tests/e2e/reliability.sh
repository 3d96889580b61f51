#!/usr/bin/env bash
# One end-to-end case of the hostile-script and resource suite: reliability.sh CASE BINARY.
set -uo pipefail
case_name=$1
bin=$2
source "$(dirname "$0")/lib.sh"

# A_Init keeps everything it allocates, without end.
hoarding_script() {
    script <<'LUA'
function A_Init()
  local hoard = {}
  for i = 1, 1e9 do hoard[i] = string.rep('x', 65536) .. i end
end
LUA
}

case "$case_name" in
script_memory_ceiling)
    # The script's heap meets its ceiling long before the machine runs out: the interpreter's
    # own error is reported as any script error is, and the log gets its footer.
    hoarding_script
    HALVARDINE_SCRIPT_MEMORY_MB=64 run -w
    expect_code 1
    expect_in err.txt "Application Error"
    expect_in err.txt "not enough memory"
    expect_in "$log" "not enough memory"
    expect_in "$log" "[ Errors : 1"
    ;;
process_out_of_memory)
    # The whole program runs out of address space (the ceiling set above what the process may
    # have): the report and the log footer still come, never an abort.
    # (Read whole first: with pipefail, grep -q ending early would fail the pipe.)
    symbols=$(nm -D "$bin" 2>/dev/null)
    if [[ $symbols == *__asan_init* ]]; then
        echo "skipped: a sanitizer build reserves more address space than the limit allows"
        exit 0
    fi
    hoarding_script
    for limit_kb in 700000 900000; do
        rm -f "$log"
        (ulimit -v "$limit_kb"
         HALVARDINE_SCRIPT_MEMORY_MB=100000 exec timeout 30 "$bin" -w > out.txt 2> err.txt)
        code=$?
        [ "$code" -ne 124 ] || fail "the program did not end within 30 s at a limit of $limit_kb kB"
        [ "$code" -ne 134 ] || fail "aborted at a limit of $limit_kb kB: $(cat err.txt)"
        expect_code 1
        expect_in err.txt "Application Error"
        expect_in "$log" "[ Errors : 1"
    done
    ;;
script_endless_loop)
    # A frame that never ends: the log says where the script is, and the game keeps waiting.
    script <<'LUA'
function A_Init() SetSystemResolution(640, 480) frames = 0 end
local function think() while true do end end
function A_Update() frames = frames + 1 if frames == 3 then think() end end
function A_MouseMove() end
function A_MouseDown() end
function A_MouseUp() end
function A_KeyDown() end
LUA
    "$bin" -w > out.txt 2> err.txt &
    pid=$!
    for _ in $(seq 1 40); do
        grep -qF "has not returned" "$log" 2>/dev/null && break
        sleep 0.5
    done
    kill -0 "$pid" 2>/dev/null || fail "the game ended instead of waiting: $(cat err.txt)"
    kill -9 "$pid"
    expect_in "$log" "a call into the script has not returned for 5 s; the game waits for it"
    expect_in "$log" "in function 'think'"
    expect_in "$log" "in function 'A_Update'"
    ;;
special_files)
    # FIFOs and devices where the game expects files: none may hold the game or be read without
    # end. Pictures, sounds and the farewell link the game can do without are skipped with a
    # warning; the stores, the bundle and the configuration end the start naming the file.
    script <<'LUA'
-- START Textures.lua
Textures = {
{name="a.png"; Texture="fifo"; PosX=0; PosY=0; Width=4; Height=4; Rotate=false; Compress=false;},
{name="b.png"; Texture="zero"; PosX=0; PosY=0; Width=4; Height=4; Rotate=false; Compress=false;},
}
-- END Textures.lua
function A_Init()
  SetSystemResolution(640, 480)
  InitSound()
  local fifo, zero = LoadSound("fifo.wav"), LoadSound("zero.wav")
  InitLogFile("ran.txt") WriteToLogFile(fifo .. " " .. zero)
  LoadTextures("fifo;zero", false)
  frames = 0
end
function A_Update()
  frames = frames + 1
  DrawPicture("src", "a.png", "x", 0, "y", 0)
  DrawPicture("src", "b.png", "x", 0, "y", 0)
  if frames == 3 then ParseParameters() QuitGame() end
end
function A_MouseMove() end
LUA
    mkdir -p data/Textures "$user"
    mkfifo data/Textures/fifo.png data/fifo.wav Link.url
    ln -s /dev/zero data/Textures/zero.png
    ln -s /dev/urandom data/zero.wav
    run -w
    expect_code 0
    expect_file "$user/ran.txt" "0 0"
    expect_in "$log" "Texture not load! fifo.png"
    expect_in "$log" "Texture not load! zero.png"
    expect_in "$log" "TMainForm.OpenUrl Link.url not opened: Cannot open file \"Link.url\". Not a regular file"

    mkfifo KavViewer.config
    run -w
    expect_code 1
    expect_in err.txt "Exception EInOutError in module halvardine"
    expect_in err.txt "Cannot open file \"KavViewer.config\". Not a regular file"
    rm KavViewer.config

    for store in Profile GameParams; do
        mkfifo "$user/$store.txt"
        run -w
        expect_code 1
        expect_in err.txt "Cannot open file \"$user/$store.txt\". Not a regular file"
        rm "$user/$store.txt"
        ln -s /dev/zero "$user/$store.txt"
        run -w
        expect_code 1
        expect_in err.txt "Cannot open file \"$user/$store.txt\". Not a regular file"
        [ -L "$user/$store.txt" ] || fail "the link in place of $store.txt was replaced"
        rm "$user/$store.txt"
    done

    mv data/AllLua.lua bundle.lua
    mkfifo data/AllLua.lua
    run -w
    expect_code 1
    expect_in err.txt "Cannot open file \"data/AllLua.lua\". Not a regular file"
    ;;
unwritable_user_folder)
    # The per-user folder cannot be made (a file stands where it should be; permission bits would
    # not stop root): the game runs, its log goes to standard error, and the failed saves are
    # reported there.
    script <<'LUA'
function A_Init() SetSystemResolution(640, 480) SetProfileParam("level=2") frames = 0 end
function A_Update()
  frames = frames + 1
  if frames == 3 then
    local f = io.open("ran.txt", "w") f:write(GetProfileFromCode()) f:close()
    QuitGame()
  end
end
function A_MouseMove() end
LUA
    touch blocker
    export APPDATA="$game/blocker"
    run -w
    expect_code 0
    expect_file ran.txt "level!2!"
    expect_in err.txt "cannot create the log file \"$game/blocker/My Games/Orvandel/Halvardine/Halvardine.log\" (Not a directory); its lines go to standard error"
    expect_in err.txt ".ERROR !!! TMainForm Profile.txt not saved: Cannot create file \"$game/blocker/My Games/Orvandel/Halvardine/Profile.txt\". Not a directory"
    expect_in err.txt "TMainForm.QuitGame"
    expect_count err.txt "cannot create the log file" 1
    ;;
no_opengl_33)
    # The driver offers less than OpenGL 3.3 (Mesa told to claim 3.0): the game ends before its
    # first frame, and the player is told what is missing and what the driver has, in the box
    # (which also goes to standard error) and in the log.
    script <<'LUA'
function A_Init() SetSystemResolution(640, 480) end
function A_Update() InitLogFile("ran.txt") WriteToLogFile("a frame") QuitGame() end
function A_MouseMove() end
LUA
    MESA_GL_VERSION_OVERRIDE=3.0 run -w
    expect_code 1
    needs="This game needs OpenGL 3.3 (core profile); the graphics driver offers OpenGL 3.0"
    expect_in err.txt "$needs"
    expect_in "$log" "$needs"
    expect_in "$log" ".ERROR !!! TKavSurfaceEngine3D.InitD3D CreateDevice failed"
    expect_in "$log" "[ Errors : 1"
    [ ! -f "$user/ran.txt" ] || fail "the game ran without a device"
    ;;
no_font)
    # Fontconfig knows no font at all: one warning, the text is skipped, the game runs.
    script <<'LUA'
function A_Init() SetSystemResolution(640, 480) frames = 0 end
function A_Update()
  OutTextXY("no face for this", 10, 10)
  frames = frames + 1
  if frames == 3 then SetSystemResolution(800, 600) end
  if frames == 6 then QuitGame() end
end
function A_MouseMove() end
function A_ChangeResolution() end
LUA
    printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' > no-fonts.conf
    FONTCONFIG_FILE="$game/no-fonts.conf" run -w
    expect_code 0
    # Once, though the second resolution made a new device.
    expect_count "$log" "Warning! TKavSurfaceEngine3D.InitD3D no font found: text is not drawn" 1
    expect_count "$log" "SetSystemResolution width=800 height=600" 1
    expect_in "$log" "TMainForm.QuitGame"
    ;;
disk_full)
    # A save that does not fit on the disk: the old profile stays whole, the error is logged,
    # no temporary file is left, and the game goes on. The disk is a small file system of its
    # own where a user namespace allows one; a limit on the size of files stands in for it
    # everywhere (with the signal of that limit ignored, a write past it fails as on a full disk).
    script <<'LUA'
function A_Init()
  SetProfileParam("hoard=" .. string.rep("x", 400000))
  SetProfileParam("level=9")
  local f = io.open("ran.txt", "w") f:write("went on") f:close()
  QuitGame()
end
LUA
    export SDL_VIDEODRIVER=offscreen
    mkdir -p "$user"
    disks="file-size-limit"
    unshare -rm true 2>/dev/null && disks="$disks small-file-system"
    for disk in $disks; do
        rm -rf ran.txt after
        printf 'level=3\r\n' > "$user/Profile.txt"
        if [ "$disk" = small-file-system ]; then
            # The game and the checks run in the namespace, where the file system is; what it
            # holds is copied out before it goes.
            unshare -rm bash -c 'mount -t tmpfs -o size=256k tmpfs "$1" &&
                printf "level=3\r\n" > "$1/Profile.txt" || exit 99
                timeout 30 "$2" -w > out.txt 2> err.txt
                code=$?
                cp -r "$1" after
                exit $code' - "$user" "$bin"
            code=$?
            [ "$code" -ne 99 ] || fail "no small file system could be made"
            why="No space left on device"
            after=after
        else
            (ulimit -f 256; trap '' XFSZ; exec timeout 30 "$bin" -w > out.txt 2> err.txt)
            code=$?
            why="File too large"
            after=$user
        fi
        echo "$disk: $(grep -o 'Profile.txt not saved.*' "$after/Halvardine.log" | head -1)"
        expect_code 0
        expect_file ran.txt "went on"
        expect_file "$after/Profile.txt" "level=3"
        expect_in "$after/Halvardine.log" ".ERROR !!! TMainForm Profile.txt not saved: Cannot write file \"$user/Profile.txt\". $why"
        leftovers=$(find "$after" -name '.Profile.txt.tmp*')
        [ -z "$leftovers" ] || fail "temporary files left: $leftovers"
    done
    ;;
hostile_arguments)
    # Every host function of the form's published-method table, called by the real game in its
    # window with NaN, infinities, the largest doubles, -2^31 and its neighbours and a megabyte
    # of text in every argument. A host error may end the game with its report (the next run
    # goes on with the next function); a crash, a hang or a silent end may not.
    table="$(dirname "$0")/../../main/MainFormMethods.cpp"
    names=$(grep -o 'HV_PUBLISH(TMainForm, [A-Za-z_0-9]*)' "$table" | sed 's/.*, \(.*\))/"\1",/' |
            grep -v -e '"QuitGame"' -e '"WSurvey_BOk"')  # these two end the game by design
    [ "$(echo "$names" | wc -l)" -gt 40 ] || fail "no host functions found in $table"
    { echo "-- START Textures.lua"
      echo "Textures = {"
      echo '{name="pic"; Texture="pic"; PosX=0; PosY=0; Width=8; Height=8; Rotate=false; Compress=false;},'
      echo "}"
      echo "-- END Textures.lua"
      echo "NAMES = {" $names "}"
      cat <<'LUA'
local values = {0/0, 1/0, -1/0, 1e308, -1e308, -2^31, -2^31 - 1, 2^31, 2^32, 2^53,
                string.rep("\255", 2^20), string.rep("9", 2^20)}
local function shapes(H)
  return {
    {H, H, H, H, H, H, H, H, H, H, H, H},
    {"pic", H, H, H, H, H, H, H, H, H, H, H},
    {"pic", "pic", H, H, H, H, H, H, H, H, H, H},
    {"src", "pic", "x", H, "y", H, "alpha", H, "angle", H, "scalex", H, "scaley", H,
     "transx", H, "transy", H, "color", H, "colorpower", H, "filter", H, "outputmode", H,
     "rect", H, "bump", H, "dest", H, "splash", H},
  }
end
local function progress(text) local f = io.open("next.txt", "w") f:write(text) f:close() end
function A_Init()
  SetSystemResolution(640, 480)
  InitSound()
  LoadTextures("pic")
  local f = io.open("next.txt") at = tonumber(f:read("*a")) f:close()
end
function A_Update()
  DrawPicture("src", "pic", "x", 0, "y", 0)
  local name = NAMES[at]
  if not name then progress("done") QuitGame() end
  at = at + 1
  -- Written first: if this function ends the game, the next run goes on after it.
  progress(tostring(at))
  for _, value in ipairs(values) do
    for _, args in ipairs(shapes(value)) do pcall(_G[name], unpack(args)) end
  end
end
function A_Loading() end
function A_MouseMove() end
function A_MouseDown() end
function A_MouseUp() end
function A_KeyDown() end
function A_ChangeResolution() end
LUA
    } | script
    mkdir -p data/Textures
    # An 8 x 8 opaque white PNG.
    convert -size 8x8 xc:white PNG32:data/Textures/pic.png
    echo 1 > next.txt
    runs=0
    while [ "$(cat next.txt)" != done ]; do
        at=$(cat next.txt)
        run -w
        runs=$((runs + 1))
        [ "$runs" -le 60 ] || fail "more runs than functions"
        case $code in
        0) ;;
        1)  expect_in err.txt "Application Error"
            name=$(echo "$names" | sed -n "$(($(cat next.txt) - 1))p" | tr -d '",')
            echo "refused by $name: $(grep -A1 '^Exception' err.txt | tr '\n' ' ' | cut -c1-200)" ;;
        *)  fail "the game ended with code $code at function $(cat next.txt): $(tail -5 err.txt)" ;;
        esac
        [ "$(cat next.txt)" = done ] || [ "$(cat next.txt)" -gt "$at" ] ||
            fail "the game ended before function $at: $(tail -5 err.txt)"
    done
    echo "$(echo "$names" | wc -l) functions called with every value in $runs runs"
    ;;
hostile_inputs)
    # Scripts and bundles no one should ship: each ends with the report the host defines (exit 1)
    # or runs, never with a crash, a hang or an unbounded log.
    user_log_limit=200000
    ended_with_report() {  # $1: what the report must say
        expect_code 1
        expect_in err.txt "Application Error"
        expect_in err.txt "$1"
        # Control bytes of the message reach the terminal escaped.
        ! LC_ALL=C grep -q $'[\x01-\x08\x0B\x0C\x0E-\x1A\x1C-\x1F]' err.txt ||
            fail "raw control bytes in the report"
        [ "$(stat -c %s "$log")" -lt "$user_log_limit" ] || fail "the log grew to $(stat -c %s "$log") bytes"
    }
    stored() {  # the stored form of the text on standard input, as the host writes it
        python3 -c '
import sys
key = b"tavrin"; block = bytes(key[i % len(key)] for i in range(8))
data = sys.stdin.buffer.read()
sys.stdout.buffer.write(bytes(b ^ block[i % 8] for i, b in enumerate(data)))'
    }

    # A script that recurses without end.
    printf 'function A_Init() local function f(n) return 1 + f(n + 1) end f(1) end\n' | script
    run -w
    ended_with_report "stack overflow"

    # An error whose message is a megabyte long.
    printf 'function A_Init() error(string.rep("y", 2^20)) end\n' | script
    run -w
    ended_with_report "yyyyyyyy"

    # A stored bundle cut in half, and one of random bytes (no plain text beside it).
    rm -f data/AllLua.lua
    { printf 'function A_Init()\r\n'; for i in $(seq 40); do printf '  x%d = %d\r\n' "$i" "$i"; done
      printf '  QuitGame()\r\nend\r\n'; } | stored > whole.luac
    head -c $(( $(stat -c %s whole.luac) / 2 )) whole.luac > data/AllLua.luac
    run -w
    ended_with_report "Exception"
    head -c 4096 /dev/urandom > data/AllLua.luac
    run -w
    ended_with_report "Exception"
    rm -f data/AllLua.luac

    # A bundle of 100,000 lines and text that is not UTF-8: it runs.
    { printf 'function A_Init()\n'
      printf '  SetFormCaption("caf\351 \377\376")\n'
      printf '  QuitGame()\nend\n'
      seq 100000 | sed 's/^/v = /'; } | script
    run -w
    expect_code 0
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "PASS [$case_name]"
