#!/usr/bin/env bash
# One end-to-end case of what a game author meets: authors.sh CASE HALVARDINE_BINARY.
set -uo pipefail
case_name=$1
bin=$2
source "$(dirname "$0")/lib.sh"

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
    wid=$(timeout 20 xdotool search --sync --name '^Halvardine$' | head -1)
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
*)
    fail "unknown case"
    ;;
esac
echo "PASS [$case_name]"
