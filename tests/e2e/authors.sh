#!/usr/bin/env bash
# One end-to-end case of what a game author meets: authors.sh CASE HALVARDINE_BINARY.
set -uo pipefail
case_name=$1
bin=$2
source "$(dirname "$0")/lib.sh"
repo=$(cd "$(dirname "$0")/../.." && pwd)

# Starts the binary in the background with the given arguments and waits for its window:
# sets $pid and $wid.
start_window() {
    "$bin" "$@" > out.txt 2> err.txt &
    pid=$!
    wid=$(game_window)
    [ -n "$wid" ] || { kill "$pid"; fail "no window named Halvardine appeared"; }
}
# Sends a key to the window and waits for the program to end; sets $code.
# "R G B" of the client-area pixel (x, y) of the window, from a fresh screenshot.
pixel() {
    import -window "$wid" shot.png
    convert shot.png -crop "1x1+$1+$2" -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:
}

case "$case_name" in
log_warnings_for_authors)
    # A catalogue line written with blanks is named in the log; two missing pictures drawn in
    # turn for 50 frames are logged once each, with their count before the footer.
    script <<'LUA'
-- START Textures.lua
Textures = {
{name="fine.png"; Texture="atlas"; PosX=0; PosY=0; Width=8; Height=8; Rotate=false; Compress=false;},
 {name="indented.png"; Texture="atlas"; PosX=0; PosY=0; Width=8; Height=8;},
{name = "spaced.png"; Texture = "atlas"; PosX = 0; PosY = 0; Width = 8; Height = 8;},
}
-- END Textures.lua
function A_Init() SetSystemResolution(320, 240) frames = 0 end
function A_Update()
  frames = frames + 1
  if frames > 50 then QuitGame() end
  DrawPicture("src", "indented.png")
  DrawPicture("src", "ghost.png")
end
function A_MouseMove() end
function A_MouseDown() end
function A_MouseUp() end
function A_KeyDown() end
LUA
    run -w
    expect_code 0
    expect_in "$log" "TMainForm.ReadTexturesLua line 4 looks like a picture but it starts with a blank"
    expect_in "$log" "TMainForm.ReadTexturesLua line 5 looks like a picture but its name is not written"
    expect_count "$log" "ReadTexturesLua line 3" 0
    for pic in indented.png ghost.png; do
        expect_count "$log" "Warning! TKavSurfaceEngine3D.Draw($pic,...) - Src Surface does not exists!" 1
        expect_in "$log" "TKavSurfaceEngine3D.Draw($pic,...) - Src Surface does not exists! (50 times in all, logged once)"
    done
    expect_in "$log" "Warnings : 4"
    ;;
hit_test_matches_drawn_pixels)
    # The demo's own hit test, run on a picture with hard edges: a pixel counts as a hit
    # exactly when the screenshot shows the picture's opaque colour on it.
    mkdir -p data/Textures
    # 8 x 6: opaque red in columns 0-3, transparent in 4-6, opaque red in the last column and
    # the last row (which are not drawn).
    convert -size 8x6 xc:none -fill red -draw 'rectangle 0,0 3,5' -draw 'rectangle 7,0 7,5' \
        -draw 'rectangle 0,5 7,5' PNG32:data/Textures/probe.png
    {
        cat <<'LUA'
-- START Textures.lua
Textures = {
{name="probe.png"; Texture="probe"; PosX=0; PosY=0; Width=8; Height=6; Rotate=false; Compress=false;},
}
-- END Textures.lua
LUA
        sed -n '/^local function overPicture/,/^end/p' "$(dirname "$0")/../../demo/data/AllLua.lua"
        cat <<'LUA'
function A_Init() SetSystemResolution(320, 240) LoadTextures("probe") frames = 0 end
function A_Loading() end
function A_Update()
  DrawPicture("src", "probe.png", "x", 20, "y", 30)
  frames = frames + 1
  if frames == 5 then
    InitLogFile("hits.txt")
    for py = 26, 40 do
      local row = ""
      for px = 16, 32 do row = row .. (overPicture("probe.png", 20, 30, px, py) and "1" or "0") end
      WriteToLogFile(row)
    end
  end
end
function A_MouseMove() end
function A_MouseDown() end
function A_MouseUp() end
function A_KeyDown() end
function G_EndGame() end
LUA
    } > data/AllLua.lua
    grep -q "^local function overPicture" data/AllLua.lua || fail "the demo has no overPicture"
    "$bin" -w '[320,240]' > out.txt 2> err.txt &
    pid=$!
    wid=$(game_window)
    [ -n "$wid" ] || { kill "$pid"; fail "no window named Halvardine appeared"; }
    for _ in $(seq 50); do [ "$(grep -c . "$user/hits.txt" 2>/dev/null)" = 15 ] && break; sleep 0.1; done
    sleep 0.5
    import -window "$wid" shot.png
    kill "$pid"; wait "$pid"
    # The same 17 x 15 pixels from the screenshot: 1 where the picture's red is drawn.
    convert shot.png -crop 17x15+16+26 +repage -fx 'r>0.5 && g<0.5 ? 1 : 0' -depth 8 gray:- |
        od -An -v -tu1 -w17 | tr -d ' ' | tr -s '\n' | sed 's/255/1/g' | grep . > drawn.txt
    expected=$(tr -d '\r' < "$user/hits.txt")
    [ "$(cat drawn.txt)" = "$expected" ] ||
        fail "hit test and screen differ; hits:"$'\n'"$expected"$'\n'"drawn:"$'\n'"$(cat drawn.txt)"
    # The rule itself: columns 21..24 and rows 31..35 are hit, nothing else.
    [ "$(sed -n 6p drawn.txt)" = "00000111100000000" ] || fail "row 31: $(sed -n 6p drawn.txt)"
    [ "$(sed -n 10p drawn.txt)" = "00000111100000000" ] || fail "row 35: $(sed -n 10p drawn.txt)"
    [ "$(sed -n 11p drawn.txt)" = "00000000000000000" ] || fail "row 36: $(sed -n 11p drawn.txt)"
    ;;
new_game_runs)
    # A game made by tools/new-game runs as it is: loading, the gem drawn, a click that counts
    # and is saved, print() on standard output, and the saved value read back by a second run.
    "$repo/tools/new-game" mygame > made.txt || fail "tools/new-game failed: $(cat made.txt)"
    expect_in made.txt "halvardine --game mygame -w"
    for f in data/AllLua.lua data/Textures/atlas.png data/Sounds/click.wav; do
        [ -s "mygame/$f" ] || fail "mygame/$f was not made"
    done
    # An existing folder is never overwritten.
    echo mine > mygame/notes.txt
    code=0; "$repo/tools/new-game" mygame > out.txt 2> err.txt || code=$?
    expect_code 1
    expect_in err.txt "exists and is not an empty folder"
    expect_file mygame/notes.txt mine
    cd mygame
    # The first spot is (448, 320): the gem's 128 x 128 pixels land from (449, 321).
    SDL_AUDIODRIVER=dummy start_window -w '[1024,768]'
    drawn=""
    for _ in $(seq 40); do
        sleep 0.25
        read -r r g b <<< "$(pixel 512 420)"
        if [ "$b" -gt 150 ] && [ "$r" -gt 100 ] && [ "$g" -lt 100 ]; then drawn=1; break; fi
    done
    [ -n "$drawn" ] || { kill "$pid"; fail "no gem at (512, 420): $r $g $b"; }
    xdotool mousemove --window "$wid" 512 400 click 1
    for _ in $(seq 50); do grep -q found=1 "$APPDATA/My Games/Orvandel/MyGame/Profile.txt" 2>/dev/null && break; sleep 0.1; done
    expect_in "$APPDATA/My Games/Orvandel/MyGame/Profile.txt" "found=1"
    # The gem moved on: the old spot shows the background now.
    sleep 0.8
    read -r r g b <<< "$(pixel 512 420)"
    [ "$b" -lt 100 ] || { kill "$pid"; fail "the gem is still at (512, 420): $r $g $b"; }
    key_and_wait Escape
    expect_code 0
    expect_in out.txt "Find the gem: found 0 times so far"
    expect_in out.txt "found the gem at 512, 400 (1 in all)"
    expect_in "$APPDATA/My Games/Orvandel/MyGame/MyGame.log" "[ Errors : 0 ,  Warnings : 0"
    SDL_AUDIODRIVER=dummy start_window -w '[1024,768]'
    sleep 0.5
    key_and_wait Escape
    expect_code 0
    expect_in out.txt "Find the gem: found 1 times so far"
    ;;
version_and_game_folder)
    # --version answers without a window and writes nothing.
    mkdir empty && cd empty
    code=0; timeout 10 "$bin" --version > ../out.txt 2> ../err.txt || code=$?
    cd ..
    expect_code 0
    version=$(sed -n 's/^project(Halvardine VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
    expect_file out.txt "halvardine $version"
    [ -z "$(ls -A empty)" ] || fail "--version wrote $(ls -A empty)"
    # A game run from another folder, by option and by variable: the game's own arguments
    # follow, and anything after the first of them is the game's, "--game" included.
    mkdir -p far/data elsewhere
    ( cd far && record_init_and_quit )
    cd elsewhere
    run --game ../far -s my.save.dat -w
    expect_code 0
    expect_file "$user/init.txt" "number|0|1|1||my|false"
    [ -f ../far/data/AllLua.luac ] || fail "the game did not run in its folder"
    [ ! -e data ] || fail "the game wrote into the folder it was started from"
    HALVARDINE_GAME_DIR="$game/far" run -e a --game b
    expect_code 0
    expect_file "$user/init.txt" "number|0|1|1|a;--game;b;||true"
    run --game "$game/nowhere" -w
    expect_code 2
    expect_in err.txt "cannot enter $game/nowhere"
    ;;
window_icon)
    # The window carries the program's icon, pixel for pixel, and the class the desktop entry
    # names.
    script <<'LUA'
function A_Init() SetSystemResolution(320, 240) end
function A_Update() end
function A_MouseMove() end
function A_MouseDown() end
function A_MouseUp() end
function A_KeyDown() end
function G_EndGame() end
LUA
    start_window -w
    xprop -id "$wid" WM_CLASS > class.txt
    xprop -id "$wid" -f _NET_WM_ICON 32c ' = $0+\n' _NET_WM_ICON | cut -d= -f2 | tr -d ' ' |
        tr ',' '\n' > icon.txt
    key_and_wait alt+F4
    expect_code 0
    expect_in class.txt '"halvardine", "halvardine"'
    [ "$(sed -n 1,2p icon.txt | tr '\n' ' ')" = "64 64 " ] || fail "icon size: $(head -c 40 icon.txt)"
    for xy in "32 32" "10 50" "0 0" "20 14"; do
        read -r x y <<< "$xy"
        argb=$(convert "$repo/packaging/halvardine-64.png" -crop "1x1+$x+$y" \
            -format '%[fx:int(255*a)] %[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
        read -r a r g b <<< "$argb"
        expected=$(( (a << 24) | (r << 16) | (g << 8) | b ))
        got=$(sed -n "$((3 + y * 64 + x))p" icon.txt)
        [ "$got" = "$expected" ] || fail "icon pixel ($x, $y) is $got, expected $expected ($argb)"
    done
    ;;
no_sound_card_quiet)
    # Without a usable sound output the log says so in one line and standard error stays empty:
    # ALSA asked for a card that does not exist, and the machine's own choice (on a machine
    # without a sound card that is ALSA failing too; with one, the output simply opens).
    script <<'LUA'
function A_Init()
  SetSystemResolution(320, 240)
  InitSound()
  InitLogFile("sound.txt")
  PlaySound(LoadSound("nothing.wav"), 50)
  WriteToLogFile("played")
  QuitGame()
end
LUA
    for how in "SDL_AUDIODRIVER=alsa AUDIODEV=hw:CARD=NoSuchCard" "-u SDL_AUDIODRIVER"; do
        env $how timeout 30 "$bin" -w > out.txt 2> err.txt
        code=$?
        expect_code 0
        [ ! -s err.txt ] || fail "standard error with $how: $(cat err.txt)"
        expect_in "$user/sound.txt" "played"
        if [ "$how" != "-u SDL_AUDIODRIVER" ] || grep -q "Bass_Init not bass init" "$log"; then
            expect_count "$log" "Bass_Init" 1
            expect_in "$log" "ERROR !!! Bass_Init not bass init"
        fi
    done
    ;;
loading_progress_and_print)
    # What A_Loading sees while 8 pictures load with progress, printed with print(): from 0 to
    # 88, never 100, for LoadTextures and LoadPictures alike; print() reaches standard output.
    mkdir -p data/Textures
    convert -size 16x16 xc:red PNG32:data/Textures/a.png
    {
        echo '-- START Textures.lua'
        echo 'Textures = {'
        for i in 1 2 3 4 5 6 7 8; do
            echo "{name=\"p$i.png\"; Texture=\"a\"; PosX=0; PosY=0; Width=8; Height=8; Rotate=false; Compress=false;},"
        done
        echo '}'
        echo '-- END Textures.lua'
        cat <<'LUA'
seen = {}
function A_Init()
  SetSystemResolution(320, 240)
  LoadTextures("a", true)
  print("textures: " .. table.concat(seen, " "))
  seen = {}
  LoadPictures("q1.png|a|0|0|8|8|false;q2.png|a|0|0|8|8|false;q3.png|a|0|0|8|8|false;" ..
               "q4.png|a|0|0|8|8|false;q5.png|a|0|0|8|8|false;q6.png|a|0|0|8|8|false;" ..
               "q7.png|a|0|0|8|8|false;q8.png|a|0|0|8|8|false", true)
  print("pictures: " .. table.concat(seen, " "))
  QuitGame()
end
function A_Loading(time, progress) seen[#seen + 1] = progress end
LUA
    } > data/AllLua.lua
    run -w
    expect_code 0
    expect_in out.txt "textures: 0 12 25 38 50 62 75 88"
    expect_in out.txt "pictures: 0 12 25 38 50 62 75 88"
    expect_count out.txt "textures: " 1
    ;;
placement_picture_tool)
    # The tool that makes the documentation's placement picture checks the rule on a screenshot
    # of the program; it must succeed and make a picture.
    HALVARDINE_BIN="$bin" timeout 60 "$repo/tools/make-placement-picture" "$game/placement.png" \
        > out.txt 2> err.txt || fail "make-placement-picture failed: $(cat err.txt)"
    [ "$(identify -format %wx%h placement.png)" = "$(identify -format %wx%h "$repo/docs/images/placement.png")" ] ||
        fail "the picture's size differs from the documentation's"
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "PASS [$case_name]"
