-- Halvardine demo game: a small scene that shows what a game script does.
--
-- The host loads this one file (data\AllLua.lua), reads the picture catalogue between the
-- "-- START Textures.lua" and "-- END Textures.lua" lines, runs the whole file once, and then
-- calls the functions whose names begin with A_ and G_:
--
--   A_Init(time, 0, 1, 1, effects, startName, fullScreen)  once, at start
--   A_Loading(time, percent)     every frame while LoadTextures/LoadPictures runs
--   A_Update(time)               every other frame: draw the whole scene here
--   A_MouseMove(oldX, oldY, x, y), A_MouseDown(x, y), A_MouseUp(x, y)   left button only
--   A_KeyDown(key, char)         key: Enter 13, Esc 27, arrows 37-40, ...; other keys as char
--   A_ChangeResolution(w, h, true)   after a switch between window and full screen
--   G_EndGame()                  when the window is closed (not after QuitGame)
--
-- Times are milliseconds since start; positions are game pixels, origin top left, y down.
-- Colours are numbers with red in the low byte: 0x0000FF is red, 0xFF0000 is blue.
-- Every A_ function the host calls must exist: a missing one is a script error.

-- START Textures.lua
Textures = {
{name="sky.png"; Texture="sky"; PosX=0; PosY=0; Width=256; Height=256; Rotate=false; Compress=false;},
{name="planet.png"; Texture="sprites"; PosX=0; PosY=0; Width=256; Height=256; Rotate=false; Compress=false;},
{name="star.png"; Texture="sprites"; PosX=256; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{name="crystal.png"; Texture="sprites"; PosX=320; PosY=0; Width=128; Height=128; Rotate=false; Compress=false;},
{name="ring.png"; Texture="sprites"; PosX=256; PosY=128; Width=128; Height=128; Rotate=false; Compress=false;},
{name="arrow.png"; Texture="sprites"; PosX=384; PosY=128; Width=48; Height=128; Rotate=true; Compress=false;},
{name="title.png"; Texture="sprites"; PosX=0; PosY=256; Width=512; Height=96; Rotate=false; Compress=false;},
}
-- END Textures.lua
-- Catalogue lines: one picture each, written exactly in this shape. "Texture" is the atlas file
-- in data\Textures\ (the ".png" comes from the picture's name), PosX..Height its rectangle in
-- texels. Rotate=true: the picture is stored turned a quarter clockwise in the atlas (arrow.png
-- is 48 x 128 there and 128 x 48 on screen). Atlases should have power-of-two sizes.

-- The game's coordinate space, in pixels. In a window nothing is scaled: the play area is drawn
-- at this size from the window's top-left corner, and a window chosen larger than it (the host
-- picks the window's size from the desktop unless the command line gives one, as in -w
-- [1024,768]) shows black beyond it. Only in full screen, when the screen has no mode of this
-- size, is the play area stretched over the whole screen.
GAME_W, GAME_H = 1024, 768

-- Colours (red in the low byte).
WHITE = 0xFFFFFF
BLACK = 0x000000
GOLD = 0x40D0FF
GRID = 0xA08020
HILL = 0x301810
PANEL = 0x200C08

-- The crystal the player clicks, drawn unturned and unscaled at this position (the
-- DrawPicture "x" and "y"), so that a click can be tested against its pixels exactly.
CRYSTAL_X, CRYSTAL_Y = 676, 296

state = {}

-- Opacity for DrawPicture must stay within 0..255: the host keeps only the low 8 bits, so 256
-- would be drawn as 0.
local function alpha(a)
  if a < 0 then return 0 end
  if a > 255 then return 255 end
  return math.floor(a + 0.5)
end

-- The player's profile comes back as "key!value!key!value!...".
local function readProfile()
  local profile = {}
  for key, value in string.gmatch(GetProfileFromCode(), "([^!]*)!([^!]*)!") do
    profile[key] = value
  end
  return profile
end

function A_Init(time, a, b, c, effects, startName, fullScreen)
  -- Create the display first: nothing can be drawn or loaded before it.
  local ok, w, h = SetSystemResolution(GAME_W, GAME_H)
  state.viewW, state.viewH = w, h
  state.fullScreen = fullScreen

  -- Sound: 0 as the handle means the file could not be opened; playing it then does nothing.
  InitSound()
  state.pop = LoadSound("Sounds\\pop.wav")

  -- The saved counter from earlier runs.
  local profile = readProfile()
  state.saved = tonumber(profile["clicks"]) or 0
  state.clicks = state.saved
  state.playedBefore = tonumber(profile["playseconds"]) or 0

  state.started = time
  state.last = time
  state.fps, state.frames, state.fpsSince = 0, 0, time
  state.mouseX, state.mouseY = -1, -1
  state.hover = false
  state.glow = 0          -- the crystal's glow: 1 right after a click, fading to 0
  state.ripples = {}
  state.message, state.messageUntil = "", 0

  -- A fixed star field: the same sky on every run.
  math.randomseed(7)
  state.stars = {}
  for i = 1, 70 do
    state.stars[i] = {
      x = math.random(0, GAME_W), y = math.random(0, 540),
      scale = 0.15 + math.random() * 0.35,
      phase = math.random() * 6.28, speed = 0.5 + math.random() * 2,
    }
  end

  -- Load both atlases with progress: A_Loading draws the frames while they load.
  LoadTextures("sky;sprites", true)
end

-- The loading screen: only shapes and text, the pictures are not there yet.
function A_Loading(time, percent)
  OutTextXY("Loading " .. percent .. "%", 462, 340)
  DrawLine(312, 372, 312 + percent * 4, 396, GOLD, 255, true)
  DrawPoligon("(310,370)(714,370)(714,398)(310,398)", WHITE)
end

local function drawSky(time)
  -- One 256 x 256 picture stretched over the play area, pivot at its top-left corner.
  DrawPicture("src", "sky.png", "x", -4, "y", -4, "transx", 0, "transy", 0,
              "scalex", 4.05, "scaley", 3.05, "filter", true)
  -- Twinkling stars with additive blending (outputmode 1): they brighten what is below.
  local seconds = time / 1000
  for _, s in ipairs(state.stars) do
    local a = 150 + 100 * math.sin(seconds * s.speed + s.phase)
    DrawPicture("src", "star.png", "x", s.x - 32, "y", s.y - 32, "scalex", s.scale,
                "scaley", s.scale, "alpha", alpha(a), "outputmode", 1)
  end
end

-- Shapes are kept by the host per exact position and colour, so a line that stays put costs
-- nothing after its first frame. Keep moving shapes to a few positions.
local function drawGround()
  -- Hills: filled triangles on the horizon.
  DrawTriangle(0, 560, 140, 500, 300, 560, HILL, 255, true)
  DrawTriangle(220, 560, 420, 470, 600, 560, HILL, 255, true)
  DrawTriangle(520, 560, 700, 510, 880, 560, HILL, 255, true)
  DrawTriangle(800, 560, 940, 490, 1024, 560, HILL, 255, true)
  DrawLine(0, 560, GAME_W, 700, BLACK, 255, true)
  -- A floor grid in perspective, down to the panel at the bottom.
  for i = -8, 8 do
    DrawLine(512 + i * 40, 560, 512 + i * 120, 700, GRID)
  end
  local y, step = 566, 6
  while y < 700 do
    DrawLine(0, y, GAME_W, y, GRID)
    step = step * 1.35
    y = math.floor(y + step)
  end
end

local function drawPlanet(time)
  -- A drawing group moves, scales and fades everything drawn inside it: the planet floats.
  local seconds = time / 1000
  GroupBegin("planet", 0, math.sin(seconds * 0.8) * 10, 1, 1, 1)
  DrawPicture("src", "planet.png", "x", 120, "y", 200, "angle", seconds * 0.15)
  GroupEnd("planet")
end

local function drawCrystal(time)
  -- The outline around the crystal lights up while the mouse is over it.
  local frame = "(700,276)(780,276)(828,330)(828,390)(780,444)(700,444)(652,390)(652,330)"
  DrawPoligon(frame, state.hover and GOLD or 0x803060)

  -- The crystal stays put (its hit test below takes it as drawn unturned and unscaled); a
  -- copy drawn on top with additive blending makes it glow after a click and shimmer under
  -- the mouse.
  DrawPicture("src", "crystal.png", "x", CRYSTAL_X, "y", CRYSTAL_Y)
  local glow = math.max(state.glow, state.hover and 0.25 + 0.1 * math.sin(time / 150) or 0)
  if glow > 0 then
    DrawPicture("src", "crystal.png", "x", CRYSTAL_X, "y", CRYSTAL_Y, "alpha", alpha(255 * glow),
                "outputmode", 1)
  end
  -- Ripples spread from each click and fade out.
  local keep = {}
  for _, r in ipairs(state.ripples) do
    local age = (time - r.time) / 700
    if age < 1 then
      DrawPicture("src", "ring.png", "x", r.x - 64, "y", r.y - 64, "scalex", 0.2 + age * 1.8,
                  "scaley", 0.2 + age * 1.8, "alpha", alpha(255 * (1 - age)), "outputmode", 1)
      keep[#keep + 1] = r
    end
  end
  state.ripples = keep

  -- Until the first click an arrow points at the crystal.
  if state.clicks == state.saved and #state.ripples == 0 then
    DrawPicture("src", "arrow.png", "x", 520 + 12 * math.sin(time / 160), "y", 336)
  end
end

local function drawPanel(time)
  DrawLine(0, 700, GAME_W, 768, PANEL, 200, true)
  OutTextXY("Crystal clicks: " .. state.clicks .. "    saved in your profile: " .. state.saved,
            16, 708)
  OutTextXY("Click the crystal   Space: save   F or Alt+Enter: full screen   Esc: quit", 16, 736)
  if time < state.messageUntil then OutTextXY(state.message, 660, 708) end
end

function A_Update(time)
  local dt = (time - state.last) / 1000
  state.last = time

  -- Frame rate, measured over half-second spans of the times the host gives.
  state.frames = state.frames + 1
  if time - state.fpsSince >= 500 then
    state.fps = state.frames * 1000 / (time - state.fpsSince)
    state.frames, state.fpsSince = 0, time
  end

  -- Animation by elapsed time, so it runs at the same speed at any frame rate.
  state.glow = state.glow * math.exp(-dt * 3)

  drawSky(time)
  drawGround()
  drawPlanet(time)
  DrawPicture("src", "title.png", "x", 256, "y", 24, "alpha", alpha(215 + 40 * math.sin(time / 600)))
  drawPanel(time)
  drawCrystal(time)

  OutTextXY(string.format("%.1f frames/s", state.fps), 12, 8)
  local mode = state.fullScreen and "Full screen" or "Window"
  OutTextXY(mode .. " " .. state.viewW .. " x " .. state.viewH, 780, 8)
end

-- Is the game pixel (px, py) on a visible pixel of the picture drawn unturned and unscaled at
-- (x, y)? A picture drawn at (x, y) lands one pixel right and down: its texel (i, j) shows on
-- the pixel (x + 1 + i, y + 1 + j), and its last texel column and row are not drawn, so a
-- w x h picture covers x + 1 .. x + w - 1 across and y + 1 .. y + h - 1 down. InsidePicture is
-- given that corner and radius 0, so it reads exactly the texel under the point; the point
-- counts when that texel is more than 40% opaque (alpha above the default threshold 102).
local function overPicture(name, x, y, px, py)
  local w, h = GetPictureSize(name)
  if px < x + 1 or px > x + w - 1 or py < y + 1 or py > y + h - 1 then return false end
  return InsidePicture(name, x + 1, y + 1, px, py, 0)
end

-- True on the crystal's visible pixels, not on the transparent corners of its rectangle.
local function overCrystal(x, y)
  return overPicture("crystal.png", CRYSTAL_X, CRYSTAL_Y, x, y)
end

function A_MouseMove(oldX, oldY, x, y)
  state.mouseX, state.mouseY = x, y
  local hover = overCrystal(x, y)
  if hover ~= state.hover then
    SetCursor(hover and "hand" or "arrow")
    state.hover = hover
  end
end

function A_MouseDown(x, y)
  if overCrystal(x, y) then
    state.clicks = state.clicks + 1
    state.glow = 1
    state.ripples[#state.ripples + 1] = {x = x, y = y, time = state.last}
    PlaySound(state.pop, 80)
  end
end

function A_MouseUp(x, y)
end

local function toggleFullScreen()
  AppChangeWindowMode()
end

local function show(text)
  state.message = text
  state.messageUntil = state.last + 2000
end

-- Keeps the play time across runs; called on every way out of the game.
local function savePlayTime()
  local seconds = math.floor((state.last - state.started) / 1000)
  SetProfileParam("playseconds=" .. (state.playedBefore + seconds))
end

function A_KeyDown(key, char)
  if key == 27 then
    -- QuitGame ends the program at once without G_EndGame: save first.
    savePlayTime()
    QuitGame()
  elseif char == 32 then
    SetProfileParam("clicks=" .. state.clicks)
    state.saved = state.clicks
    show("Saved!")
  elseif char == 102 or char == 70 then
    toggleFullScreen()
  end
end

-- Alt+Enter calls this function by name.
function WOptions_OK_MouseUp_fromCode()
  toggleFullScreen()
end

-- The game parameters come back as count, key, value, key, value, ...
local function readParams()
  local values, params = {GetParamsFromCode()}, {}
  for i = 2, #values - 1, 2 do params[values[i]] = values[i + 1] end
  return params
end

-- The window or screen changed: remember what is shown now. The host keeps the player's
-- choice in the game parameters as Fullscreen=true or false.
function A_ChangeResolution(w, h, flag)
  state.viewW, state.viewH = w, h
  state.fullScreen = readParams()["Fullscreen"] == "true"
  show(state.fullScreen and "Full screen" or "Window")
end

function G_EndGame()
  savePlayTime()
end
