-- A new Halvardine game, made by tools/new-game: find the gem. Change anything here.
--
-- The host reads this one file (data\AllLua.lua), takes the picture catalogue from between the
-- "-- START Textures.lua" and "-- END Textures.lua" lines, runs the whole file once, and then
-- calls the functions below by name. Every function the host calls is defined here, each with
-- what it receives; a function the host calls that is missing is a script error.
--
-- Units: times in milliseconds since start; positions in game pixels, origin at the top left,
-- y downward; colours as numbers with red in the LOW byte (0x0000FF is red, 0xFF0000 blue).
-- print() writes to the terminal the game was started from (standard output).
-- Reference: docs/script-api.md; the first steps: docs/first-game.md.

-- START Textures.lua
Textures = {
{name="gem.png"; Texture="atlas"; PosX=320; PosY=0; Width=128; Height=128; Rotate=false; Compress=false;},
{name="spark.png"; Texture="atlas"; PosX=256; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{name="ring.png"; Texture="atlas"; PosX=256; PosY=128; Width=128; Height=128; Rotate=false; Compress=false;},
{name="planet.png"; Texture="atlas"; PosX=0; PosY=0; Width=256; Height=256; Rotate=false; Compress=false;},
}
-- END Textures.lua
-- The catalogue: one picture per line, each line written exactly in this shape (the line begins
-- with "{", no blanks around "="). Texture is the atlas file data\Textures\atlas.png (".png"
-- because the picture names contain it); PosX, PosY, Width, Height its rectangle in texels.
-- A line the host cannot read is named in the log.

-- The play area, in pixels. In a window it is drawn unscaled from the window's top-left
-- corner; start with -w [1024,768] to make the window exactly this size.
GAME_W, GAME_H = 1024, 768

WHITE, GOLD, DARK = 0xFFFFFF, 0x40D0FF, 0x301808

-- Where the gem hides, in turn: the top-left corners it is drawn at.
SPOTS = {{448, 320}, {120, 140}, {780, 500}, {700, 120}, {200, 520}}

game = {}

-- The saved profile comes back as "key!value!key!value!...".
local function profileValue(key)
  for k, v in string.gmatch(GetProfileFromCode(), "([^!]*)!([^!]*)!") do
    if k == key then return v end
  end
  return nil
end

-- A_Init(time, 0, 1, 1, effects, startName, fullScreen): once, at start. Create the display
-- first (nothing is drawn before it), then load the pictures and sounds.
function A_Init(time, a, b, c, effects, startName, fullScreen)
  -- The game's own name: the player's profile, settings and log live in a folder of that name
  -- (~/.local/share/My Games/Orvandel/MyGame/). Name it first, before the profile is read.
  LoadLuas("", "", "ProjectName=MyGame;")
  SetSystemResolution(GAME_W, GAME_H)
  InitSound()
  game.click = LoadSound("Sounds\\click.wav")   -- 0 when it cannot be opened: then silent
  game.found = tonumber(profileValue("found")) or 0
  game.spot = game.found % #SPOTS + 1
  game.time = time
  game.flashUntil = 0
  print("Find the gem: found " .. game.found .. " times so far")
  -- Loads every picture of the atlas; true: A_Loading draws the frames meanwhile.
  LoadTextures("atlas", true)
end

-- A_Loading(time, progress): the frames drawn while LoadTextures runs. progress goes from 0
-- up to 100 * (n - 1) / n for n pictures (with 4 pictures the last value is 75, never 100).
-- Pictures are not loaded yet: draw with shapes and text only.
function A_Loading(time, progress)
  OutTextXY("Loading " .. progress .. "%", 450, 340)
  DrawLine(312, 372, 312 + progress * 4, 396, GOLD, 255, true)
  DrawPoligon("(310,370)(714,370)(714,398)(310,398)", WHITE)
end

-- A picture drawn unturned and unscaled at (x, y) shows its texel (i, j) on the pixel
-- (x + 1 + i, y + 1 + j), and its last texel column and row are not drawn. Is the game pixel
-- (px, py) on one of its visible pixels (more than 40% opaque)?
local function overPicture(name, x, y, px, py)
  local w, h = GetPictureSize(name)
  if px < x + 1 or px > x + w - 1 or py < y + 1 or py > y + h - 1 then return false end
  return InsidePicture(name, x + 1, y + 1, px, py, 0)
end

-- A_Update(time): every frame after loading. Draw the whole scene, back to front.
function A_Update(time)
  game.time = time
  DrawLine(0, 0, GAME_W, GAME_H, DARK, 255, true)
  DrawPicture("src", "planet.png", "x", 40, "y", 400, "angle", time / 8000)
  local x, y = SPOTS[game.spot][1], SPOTS[game.spot][2]
  DrawPicture("src", "gem.png", "x", x, "y", y)
  if time < game.flashUntil then
    -- Additive blending (outputmode 1) brightens what is below.
    local left = (game.flashUntil - time) / 600
    DrawPicture("src", "ring.png", "x", game.flashX - 64, "y", game.flashY - 64,
                "scalex", 2 - left, "scaley", 2 - left, "alpha", math.floor(255 * left),
                "outputmode", 1)
  end
  OutTextXY("Found: " .. game.found .. "   (saved in your profile)   Esc: quit", 16, 730)
end

-- A_MouseMove(oldX, oldY, x, y), A_MouseDown(x, y), A_MouseUp(x, y): the left button only,
-- in game coordinates.
function A_MouseMove(oldX, oldY, x, y)
  local spot = SPOTS[game.spot]
  SetCursor(overPicture("gem.png", spot[1], spot[2], x, y) and "hand" or "arrow")
end

function A_MouseDown(x, y)
  local spot = SPOTS[game.spot]
  if overPicture("gem.png", spot[1], spot[2], x, y) then
    game.found = game.found + 1
    SetProfileParam("found=" .. game.found)   -- saved in Profile.txt at once
    PlaySound(game.click, 80)
    game.flashX, game.flashY, game.flashUntil = x, y, game.time + 600
    game.spot = game.found % #SPOTS + 1
    print("found the gem at " .. x .. ", " .. y .. " (" .. game.found .. " in all)")
  end
end

function A_MouseUp(x, y)
end

-- A_KeyDown(key, char): special keys as key (Enter 13, Esc 27, arrows 37-40, ...) with char
-- 0; typed characters as char with key 0. An error in it is ignored.
function A_KeyDown(key, char)
  if key == 27 then
    QuitGame()   -- ends at once: G_EndGame is not called, so save before
  end
end

-- G_ShiftEffects(shiftX, shiftY, count [, 1]): after an arrow key or "q". Optional.
function G_ShiftEffects(shiftX, shiftY, count, q)
end

-- A_ChangeResolution(width, height, true): after a switch between window and full screen.
function A_ChangeResolution(width, height, flag)
end

-- Alt+Enter calls this by name; the host does not switch by itself.
function WOptions_OK_MouseUp_fromCode()
  AppChangeWindowMode()
end

-- G_EndGame(): the window was closed. Save here what is not saved yet.
function G_EndGame()
  print("bye")
end
