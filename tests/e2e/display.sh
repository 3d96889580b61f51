#!/usr/bin/env bash
# One end-to-end case of the display suite: display.sh CASE HALVARDINE_BINARY. An 800 x 600 game
# on the screen of the virtual X server, full screen or in a window, with and without a window
# manager: the bars, the picture's scale and the text are read from screenshots, and clicks on
# known screen pixels are checked against the game positions the script receives.
set -uo pipefail
case_name=$1
bin=$2
source "$(dirname "$0")/lib.sh"
# However the case ends, the game and the window manager or compositor it started end with it.
trap '[ -z "${pid:-}" ] || kill "$pid" 2>/dev/null; [ -z "${wm:-}" ] || kill "$wm" 2>/dev/null; rm -rf "$game"' EXIT

read -r screen_w screen_h < <(xwininfo -root | sed -n 's/.*Width: *//p; s/.*Height: *//p' | tr '\n' ' ')

# The test game: a green play area, a 128 x 128 blue picture drawn at (200, 150) (so covering the
# game pixels (201, 151) to (327, 277)), white text on a black box at (490, 390)-(640, 440), and
# an 8 x 8 picture of one-pixel red and white checks drawn at (20, 20). It reports its size,
# every size change and every left click in game.txt.
make_game() {
    mkdir -p data/Textures
    convert -size 128x128 xc:'#0000ff' PNG32:data/Textures/blue.png
    convert -size 8x8 pattern:gray50 -fill red -opaque black PNG32:data/Textures/checks.png
    cat > data/AllLua.lua <<LUA
-- START Textures.lua
Textures = {
{name="blue.png"; Texture="blue"; PosX=0; PosY=0; Width=128; Height=128; Rotate=false; Compress=false;},
{name="checks.png"; Texture="checks"; PosX=0; PosY=0; Width=8; Height=8; Rotate=false; Compress=false;},
}
-- END Textures.lua
function A_Init()
  InitLogFile("game.txt")
  local ok, w, h = SetSystemResolution(${1:-800}, ${2:-600})
  WriteToLogFile("size " .. tostring(ok) .. " " .. w .. " " .. h)
  LoadTextures("blue;checks")
  frames = 0
end
function A_Loading() end
function A_Update()
  DrawLine(0, 0, ${1:-800}, ${2:-600}, 0x00FF00, 255, true)
  DrawPicture("src", "blue.png", "x", 200, "y", 150)
  DrawPicture("src", "checks.png", "x", 20, "y", 20)
  DrawLine(490, 390, 640, 440, 0x000000, 255, true)
  OutTextXY("HHHH", 500, 400)
  frames = frames + 1
  if frames == 10 then WriteToLogFile("drawn") end
end
function A_MouseMove() end
function A_MouseDown(x, y) WriteToLogFile("down " .. x .. " " .. y) end
function A_MouseUp() end
function A_KeyDown() end
function A_ChangeResolution(w, h) WriteToLogFile("change " .. w .. " " .. h) frames = 0 end
function WOptions_OK_MouseUp_fromCode() AppChangeWindowMode() end
function G_EndGame() end
LUA
}

# Starts openbox and waits until it has finished starting: a window mapped while it still
# starts up may never be mapped at all.
start_openbox() {
    openbox --startup "touch $PWD/wm-ready" > /dev/null 2>&1 &
    wm=$!
    for _ in $(seq 100); do [ -f wm-ready ] && break; sleep 0.05; done
    [ -f wm-ready ] || fail "openbox did not start"
}

# Starts a Wayland compositor, Weston, in a window covering the X screen (its headless back end
# has no seat, on which SDL's start fails), at the given output scale (1 unless given), and has
# the game use it instead of X.
start_weston() {
    local scale=${1:-1}
    export XDG_RUNTIME_DIR=$PWD/runtime
    mkdir -m 700 runtime
    weston --backend=x11-backend.so --use-pixman --scale="$scale" --width=$((screen_w / scale)) \
        --height=$((screen_h / scale)) --socket=halvardine-test --idle-time=0 > weston.txt 2>&1 &
    wm=$!
    for _ in $(seq 100); do [ -S runtime/halvardine-test ] && break; sleep 0.05; done
    [ -S runtime/halvardine-test ] || fail "weston did not start: $(cat weston.txt)"
    export WAYLAND_DISPLAY=halvardine-test SDL_VIDEODRIVER=wayland
    wayland=1
}

# Starts the game with the given arguments and waits until it has drawn.
start() {
    rm -f "$user/game.txt"
    if [ -n "${wayland:-}" ]; then
        "$bin" "$@" > out.txt 2> err.txt &
        pid=$!
        wid=$(timeout 20 xdotool search --sync --class '^Weston Compositor$' | head -1)
        [ -n "$wid" ] || fail "no compositor window"
        wait_drawn
        return
    fi
    "$bin" "$@" > out.txt 2> err.txt &
    pid=$!
    wid=$(game_window)
    [ -n "$wid" ] || fail "no window named Halvardine appeared; stderr: $(cat err.txt); log: $(tail -n 4 "$log" 2>/dev/null)"
    wait_drawn
}
drawn_count() {
    local n
    n=$(grep -c drawn "$user/game.txt" 2>/dev/null)
    echo "${n:-0}"
}
# Waits until the game has drawn ten frames `n` times (1 unless given): once at the start and
# once more after each size change.
wait_drawn() {
    local n=${1:-1}
    for _ in $(seq 100); do [ "$(drawn_count)" -ge "$n" ] && break; sleep 0.1; done
    [ "$(drawn_count)" -ge "$n" ] ||
        fail "the game drew nothing; window: $(xwininfo -id "$wid" | grep -E 'Map State|geometry' | tr -s ' \n' ' ');" \
            "log: $(tail -n 4 "$log"); stderr: $(cat err.txt)"
    sleep 0.3
}
finish() {
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    [ -z "${wm:-}" ] || kill "$wm" 2>/dev/null
    pid="" wm=""
    expect_in "$log" "[ Errors : 0"
}
# The client area's place on the screen, and a screenshot of the whole screen. Under Wayland
# the screen is the compositor's, shown in its own X window.
shoot() {
    if [ -n "${wayland:-}" ]; then
        xdotool mousemove 0 0  # the compositor draws the pointer into its output
        sleep 0.2
    fi
    cx=$(xwininfo -id "$wid" | sed -n 's/.*Absolute upper-left X: *//p')
    cy=$(xwininfo -id "$wid" | sed -n 's/.*Absolute upper-left Y: *//p')
    cw=$(xwininfo -id "$wid" | sed -n 's/.*Width: *//p')
    ch=$(xwininfo -id "$wid" | sed -n 's/.*Height: *//p')
    import -window root -depth 8 shot.ppm
    convert shot.ppm -depth 8 rgb:shot.rgb
}
# The colour of client pixel (x, y) as a word: black, green, blue, red, white or other.
colour() {
    local o=$((((cy + $2) * screen_w + cx + $1) * 3))
    od -An -tu1 -j "$o" -N3 shot.rgb | awk '{
        r=$1; g=$2; b=$3
        if (r<40 && g<40 && b<40) print "black";
        else if (r<40 && g>215 && b<40) print "green";
        else if (r<40 && g<40 && b>215) print "blue";
        else if (r>215 && g<40 && b<40) print "red";
        else if (r>215 && g>215 && b>215) print "white";
        else print "other(" r "," g "," b ")" }'
}
expect_colour() {
    local c
    c=$(colour "$1" "$2")
    [ "$c" = "$3" ] || fail "client pixel ($1, $2) is $c, expected $3 ($4)"
}

# Measures where the play area lies in the client area from the middle row and column, which
# cross nothing but the green play area: left, top, width, height as pl, pt, pw, ph.
measure() {
    local row col
    row=$(convert shot.ppm -crop "${cw}x1+$cx+$((cy + ch / 2))" +repage -depth 8 rgb:- | od -An -v -tu1 -w3 |
        awk '$2 > 128 && $1 < 128 && $3 < 128 { if (f == "") f = NR - 1; l = NR - 1 } END { print f, l }')
    col=$(convert shot.ppm -crop "1x${ch}+$((cx + cw / 2))+$cy" +repage -depth 8 rgb:- | od -An -v -tu1 -w3 |
        awk '$2 > 128 && $1 < 128 && $3 < 128 { if (f == "") f = NR - 1; l = NR - 1 } END { print f, l }')
    read -r pl pr <<< "$row"
    read -r pt pb <<< "$col"
    [ -n "$pl" ] && [ -n "$pt" ] || fail "no play area on the screen"
    pw=$((pr - pl + 1))
    ph=$((pb - pt + 1))
}

# The play area keeps the game's shape, fills the client area one way and is centred with bars
# of equal size (within a pixel).
expect_shape_kept() {
    local gw=$1 gh=$2
    [ $((pw * gh - ph * gw)) -le "$gw" ] && [ $((ph * gw - pw * gh)) -le "$gh" ] ||
        fail "play area ${pw}x$ph does not have the game's shape ${gw}x$gh"
    [ "$pw" -eq "$cw" ] || [ "$ph" -eq "$ch" ] || fail "play area ${pw}x$ph fills neither side of ${cw}x$ch"
    local right=$((cw - pl - pw)) bottom=$((ch - pt - ph))
    [ $((pl - right)) -le 1 ] && [ $((right - pl)) -le 1 ] || fail "bars left $pl, right $right"
    [ $((pt - bottom)) -le 1 ] && [ $((bottom - pt)) -le 1 ] || fail "bars top $pt, bottom $bottom"
    if [ "$pl" -gt 0 ]; then
        expect_colour 0 $((ch / 2)) black "left bar"
        expect_colour $((cw - 1)) $((ch / 2)) black "right bar"
    fi
    if [ "$pt" -gt 0 ]; then
        expect_colour $((cw / 2)) 0 black "top bar"
        expect_colour $((cw / 2)) $((ch - 1)) black "bottom bar"
    fi
}

# Client position of game coordinate v along an axis: start + v * extent / game, rounded down.
at_x() { echo $((pl + $1 * pw / gw)); }
at_y() { echo $((pt + $1 * ph / gh)); }

# The blue picture covers game (201, 151)-(328, 278) at the play area's scale: checked two
# pixels inside and outside each edge.
expect_picture_scaled() {
    local l t r b
    l=$(at_x 201) t=$(at_y 151) r=$(at_x 328) b=$(at_y 278)
    expect_colour $((l + 2)) $((t + 2)) blue "picture's top-left"
    expect_colour $((r - 3)) $((b - 3)) blue "picture's bottom-right"
    expect_colour $((l - 3)) $(((t + b) / 2)) green "left of the picture"
    expect_colour $((r + 2)) $(((t + b) / 2)) green "right of the picture"
    expect_colour $(((l + r) / 2)) $((t - 3)) green "above the picture"
    expect_colour $(((l + r) / 2)) $((b + 2)) green "below the picture"
}

# The text's bright pixels all lie on its black box (everything below game row 100 is searched,
# which leaves out the white checks), and the text is as much larger than at one to one as the
# pictures are: its height over the scale is that of a 20-pixel font's capitals.
expect_text_scaled() {
    local l t r b box below
    l=$(at_x 490) t=$(at_y 390) r=$(at_x 640) b=$(at_y 440) below=$(at_y 100)
    box=$(convert shot.ppm -crop "${cw}x$((ch - below))+$cx+$((cy + below))" +repage -separate \
        -evaluate-sequence min -threshold 78% -trim -format '%w %h %X %Y' info:)
    read -r tw th tx ty <<< "$box"
    tx=${tx#+} ty=$((${ty#+} + below))
    [ "$tx" -ge "$l" ] && [ "$ty" -ge "$t" ] && [ $((tx + tw)) -le "$r" ] && [ $((ty + th)) -le "$b" ] ||
        fail "text at ${tw}x$th+$tx+$ty lies outside its box ($l,$t)-($r,$b)"
    local unscaled=$((th * gw / pw))
    [ "$unscaled" -ge 9 ] && [ "$unscaled" -le 14 ] ||
        fail "text ${th} pixels high on a play area $pw wide: $unscaled at one to one"
}

# At twice the size, the one-pixel checks from game pixel (21, 21) on are squares of two by two
# pixels of pure red or white.
expect_checks_sharp() {
    local first second d e
    first=$(colour $((pl + 42)) $((pt + 42)))
    case "$first" in red) second=white ;; white) second=red ;; *) fail "check (21, 21) is $first" ;; esac
    for d in 0 1; do
        for e in 0 1; do
            expect_colour $((pl + 42 + d)) $((pt + 42 + e)) "$first" "check (21, 21)"
            expect_colour $((pl + 44 + d)) $((pt + 42 + e)) "$second" "check (22, 21)"
            expect_colour $((pl + 42 + d)) $((pt + 44 + e)) "$second" "check (21, 22)"
        done
    done
}

# Clicks client pixel (x, y) and expects the script to receive game position "gx gy". The
# pointer moves there in two steps first: a Wayland compositor tells the game where the pointer
# is only when it moves.
click() {
    local before
    before=$(grep -c '^down' "$user/game.txt")
    xdotool mousemove $((cx + $1 + 1)) $((cy + $2))
    xdotool mousemove $((cx + $1)) $((cy + $2))
    sleep 0.1
    xdotool click 1
    for _ in $(seq 50); do [ "$(grep -c '^down' "$user/game.txt")" -gt "$before" ] && break; sleep 0.05; done
    local got
    got=$(grep '^down' "$user/game.txt" | tail -1 | tr -d '\r')
    [ "$got" = "down $3" ] || fail "a click at client ($1, $2) reached the script as '${got#down }', expected '$3'"
}

# The game pixel under client pixel p along an axis, held at the play area's edges.
game_x() { local v=$(((2 * ($1 - pl) + 1) * gw / (2 * pw))); ((v < 0)) && v=0; ((v >= gw)) && v=$((gw - 1)); echo $v; }
game_y() { local v=$(((2 * ($1 - pt) + 1) * gh / (2 * ph))); ((v < 0)) && v=0; ((v >= gh)) && v=$((gh - 1)); echo $v; }

# Clicks on the picture's middle, the play area's first and last pixels, and the bars.
expect_clicks() {
    local x y
    x=$(at_x 264) y=$(at_y 214)
    expect_colour "$x" "$y" blue "the picture's middle"
    click "$x" "$y" "$(game_x "$x") $(game_y "$y")"
    click "$pl" "$pt" "0 0"
    click $((pl + pw - 1)) $((pt + ph - 1)) "$((gw - 1)) $((gh - 1))"
    if [ "$pl" -gt 0 ]; then click 0 $((ch / 2)) "0 $(game_y $((ch / 2)))"; fi
    if [ "$pt" -gt 0 ]; then click $((cw / 2)) $((ch - 1)) "$(game_x $((cw / 2))) $((gh - 1))"; fi
}

gw=800 gh=600

case "$case_name" in
full_screen | full_screen_openbox)
    # Full screen covers the screen without a mode change, with or without a window manager;
    # the game keeps its shape between bars, text scales with the pictures, clicks are exact.
    make_game
    [ "$case_name" = full_screen ] || start_openbox
    start
    shoot
    [ "$cx $cy $cw $ch" = "0 0 $screen_w $screen_h" ] || fail "the window is ${cw}x$ch+$cx+$cy, not the screen"
    measure
    expect_shape_kept $gw $gh
    expect_picture_scaled
    expect_text_scaled
    expect_clicks
    expect_in "$user/game.txt" "size true $screen_w $screen_h"  # 800 x 600 is no mode here
    finish
    ;;
wayland_full_screen)
    # The same under a Wayland compositor: full screen covers its output with the bars of the
    # plan, and clicks are exact; a switch to a window and back keeps the game drawing.
    make_game
    start_weston
    start
    shoot
    measure
    expect_shape_kept $gw $gh
    expect_picture_scaled
    expect_text_scaled
    expect_clicks
    xdotool key --clearmodifiers alt+Return
    wait_drawn 2
    expect_file "$user/GameParams.txt" "Fullscreen=false"
    xdotool key --clearmodifiers alt+Return
    wait_drawn 3
    shoot
    measure
    expect_shape_kept $gw $gh
    expect_file "$user/GameParams.txt" "Fullscreen=true"
    finish
    ;;
wayland_high_density_window)
    # On a display of twice the density a window keeps its apparent size: a 400 x 300 game's
    # window covers 800 x 600 of the display's pixels, each game pixel a sharp square.
    make_game 400 300
    gw=400 gh=300
    start_weston 2
    start -w '[400,300]'
    shoot
    # The compositor chooses the window's place: the play area is where the green is.
    read -r pw ph pl pt <<< "$(convert shot.ppm -fill black +opaque '#00ff00' -trim -format '%w %h %X %Y' info:)"
    pl=${pl#+} pt=${pt#+}
    [ "$pw $ph" = "800 600" ] || fail "the window shows ${pw}x$ph pixels, expected 800x600"
    expect_checks_sharp
    finish
    ;;
window_resized | window_resized_openbox)
    # A window of the game's size shows it one to one; resized by the player, the picture
    # scales by the same rules and clicks follow.
    make_game
    [ "$case_name" = window_resized ] || start_openbox
    start -w '[800,600]'
    shoot
    [ "$cw $ch" = "800 600" ] || fail "client area ${cw}x$ch, expected 800x600"
    measure
    [ "$pl $pt $pw $ph" = "0 0 800 600" ] || fail "play area ${pw}x$ph+$pl+$pt in the game's own window"
    expect_colour 201 151 blue "picture's first pixel"
    expect_colour 200 151 green "left of the picture"
    expect_colour 327 277 blue "picture's last pixel"
    expect_colour 328 277 green "right of the picture"
    click 327 277 "327 277"
    xdotool windowsize --sync "$wid" 1000 760 2>/dev/null || xdotool windowsize "$wid" 1000 760
    sleep 0.5
    shoot
    [ "$cw $ch" = "1000 760" ] || fail "client area ${cw}x$ch after resizing to 1000x760"
    measure
    expect_shape_kept $gw $gh
    expect_picture_scaled
    expect_text_scaled
    expect_clicks
    finish
    ;;
switch_and_back | switch_and_back_openbox)
    # Alt+Enter to full screen and back: the window covers the screen with the bars of the
    # plan, then returns to its place and size; the choice is saved, the script told each time.
    make_game
    [ "$case_name" = switch_and_back ] || start_openbox
    start -w '[800,600]'
    shoot
    left=$cx top=$cy
    xdotool windowfocus --sync "$wid" 2>/dev/null
    xdotool key --clearmodifiers alt+Return
    wait_drawn 2
    shoot
    [ "$cx $cy $cw $ch" = "0 0 $screen_w $screen_h" ] || fail "full screen window is ${cw}x$ch+$cx+$cy"
    measure
    expect_shape_kept $gw $gh
    expect_picture_scaled
    expect_clicks
    expect_file "$user/GameParams.txt" "Fullscreen=true"
    xdotool key --clearmodifiers alt+Return
    wait_drawn 3
    shoot
    [ "$cx $cy $cw $ch" = "$left $top 800 600" ] || fail "window back at ${cw}x$ch+$cx+$cy, expected 800x600+$left+$top"
    expect_colour 201 151 blue "picture's first pixel"
    expect_colour 200 151 green "left of the picture"
    expect_file "$user/GameParams.txt" "Fullscreen=false"
    [ "$(grep -c '^change 800 600' "$user/game.txt")" = 2 ] || fail "A_ChangeResolution: $(grep change "$user/game.txt")"
    finish
    ;;
window_above_work_area)
    # A configured window larger than the screen opens smaller, in the game's shape, within the
    # screen; the script keeps the game's 1600 x 1200 coordinates.
    make_game 1600 1200
    gw=1600 gh=1200
    start -w '[1600,1200]'
    shoot
    [ "$cw" -le $((screen_w - 6)) ] && [ "$ch" -le $((screen_h - 32)) ] ||
        fail "client area ${cw}x$ch does not fit the ${screen_w}x$screen_h screen"
    [ "$cx" -ge 0 ] && [ "$cy" -ge 0 ] && [ $((cx + cw)) -le "$screen_w" ] && [ $((cy + ch)) -le "$screen_h" ] ||
        fail "window at ${cw}x$ch+$cx+$cy leaves the screen"
    measure
    [ "$pl $pt $pw $ph" = "0 0 $cw $ch" ] || fail "play area ${pw}x$ph+$pl+$pt in a ${cw}x$ch window"
    expect_shape_kept $gw $gh
    expect_in "$user/game.txt" "size true 1600 1200"
    click $((cw - 1)) $((ch - 1)) "1599 1199"
    x=$(at_x 264) y=$(at_y 214)
    click "$x" "$y" "$(game_x "$x") $(game_y "$y")"
    finish
    ;;
whole_steps_sharp)
    # Whole-number scaling: a 640 x 480 game twice as large on 1920 x 1080, every game pixel a
    # sharp 2 x 2 square; chosen in KavViewer.config.
    make_game 640 480
    gw=640 gh=480
    printf '<KavViewerConfigFile><Scaling>whole</Scaling></KavViewerConfigFile>\n' > KavViewer.config
    start
    shoot
    measure
    [ "$pl $pt $pw $ph" = "$(((cw - 1280) / 2)) $(((ch - 960) / 2)) 1280 960" ] ||
        fail "play area ${pw}x$ph+$pl+$pt, expected twice 640 x 480 in the middle"
    # Game column 200 is green and 201 blue, two pixels each; the checks are sharp.
    for d in 0 1; do
        expect_colour $((pl + 400 + d)) $((pt + 400)) green "game column 200"
        expect_colour $((pl + 402 + d)) $((pt + 400)) blue "game column 201"
    done
    expect_checks_sharp
    expect_in "$log" "TMainForm.ReadScalingSetting KavViewer.config: whole"
    # Stretched by the variable, which wins over the file: the whole screen.
    finish
    HALVARDINE_SCALING=stretch start
    shoot
    measure
    [ "$pl $pt $pw $ph" = "0 0 $cw $ch" ] || fail "stretched play area ${pw}x$ph+$pl+$pt"
    click $((cw - 1)) 0 "639 0"
    finish
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "PASS [$case_name]"
