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
*)
    fail "unknown case"
    ;;
esac
echo "PASS [$case_name]"
