-- Benchmark scenes, written as a game. The scene and its size come from the environment:
--   BENCH_SCENE    sprites | mixed | startup | atlases | hittest | sound
--   BENCH_COUNT    sprites per frame (sprites)            BENCH_SIZE  2 or 32 (sprites)
--   BENCH_WARMUP   ms before measuring (default 1000)     BENCH_SECONDS  measured span (5)
--   BENCH_OUT      the file the result lines go to ("key=value", one a line)
--   BENCH_FRAMES   (soak) run this many frames instead of a measured span, and every 1,000
--                  frames append "frames resident_kb" to BENCH_SAMPLES
-- The same scenes are written for the peer engine in ../love/main.lua; both measure the same
-- way: frames counted over a fixed wall time after the warm-up, process CPU time from
-- os.clock, resident memory from /proc/self/status. A one-off job (loading the atlases) is
-- timed as the frame interval around it less the mean interval before it; the hit test and the
-- sound load, too short for the millisecond frame times, by the CPU time of the job itself.

-- START Textures.lua
Textures = {
{name="sprite32.png"; Texture="sprites"; PosX=0; PosY=0; Width=32; Height=32; Rotate=false; Compress=false;},
{name="sprite2.png"; Texture="sprites"; PosX=32; PosY=0; Width=2; Height=2; Rotate=false; Compress=false;},
}
-- END Textures.lua

local scene = os.getenv("BENCH_SCENE") or "sprites"
local count = tonumber(os.getenv("BENCH_COUNT") or "") or 1
local size = tonumber(os.getenv("BENCH_SIZE") or "") or 32
local warmup = tonumber(os.getenv("BENCH_WARMUP") or "") or 1000
local span = (tonumber(os.getenv("BENCH_SECONDS") or "") or 5) * 1000
local out = os.getenv("BENCH_OUT") or "bench-result.txt"
local soakFrames = tonumber(os.getenv("BENCH_FRAMES") or "")
local samples = os.getenv("BENCH_SAMPLES") or "bench-samples.txt"
local soakDone = 0

local viewW, viewH = 800, 600
local frames, started, measureFrom, cpuFrom = 0, nil, nil, nil
local lastTime, frameTimes = nil, {}
local results = {}

local function memoryKb(key)
  local f = io.open("/proc/self/status")
  if not f then return 0 end
  for line in f:lines() do
    local v = line:match("^" .. key .. ":%s*(%d+)")
    if v then
      f:close()
      return tonumber(v)
    end
  end
  f:close()
  return 0
end

local function finish()
  results.rss_kb = memoryKb("VmRSS")
  results.peak_kb = memoryKb("VmHWM")
  local f = assert(io.open(out, "w"))
  for k, v in pairs(results) do f:write(k, "=", tostring(v), "\n") end
  f:close()
  QuitGame()
end

-- The mean of the last frame intervals, in ms: subtracted from a frame that did one long task.
local function meanFrameMs()
  local n, sum = 0, 0
  for i = math.max(1, #frameTimes - 29), #frameTimes do
    n, sum = n + 1, sum + frameTimes[i]
  end
  return n > 0 and sum / n or 0
end

-- ---- (a) moving sprites from one atlas ----

local spriteName = size == 2 and "sprite2.png" or "sprite32.png"

local function drawSprites(time)
  local phase = time * 0.001
  local w, h = viewW - size, viewH - size
  local name = spriteName
  for i = 1, count do
    local x = (i * 37 + phase * (40 + i % 50)) % w
    local y = (i * 91 + phase * (30 + i % 70)) % h
    DrawPicture("src", name, "x", x, "y", y)
  end
end

-- ---- (b) a hidden-object scene ----

local tints = {0xFFFFFF, 0xC0E0FF, 0xFFD0C0, 0xD0FFD0, 0xF0F0A0}
local mixed = {}

local function mixedList()
  local list = {"back.png|back|0|0|1024|768|false"}
  for k = 1, 4 do
    for c = 0, 15 do
      list[#list + 1] = string.format("m%d_%d.png|mix%d|%d|%d|256|256|false", k, c, k,
                                      (c % 4) * 256, math.floor(c / 4) * 256)
    end
  end
  return table.concat(list, ";")
end

local function setupMixed()
  for i = 1, 300 do
    mixed[i] = {
      name = string.format("m%d_%d.png", (i - 1) % 4 + 1, (i * 7) % 16),
      x = (i * 53) % 1024, y = (i * 29) % 768,
      speed = 20 + i % 40, spin = (i % 5) * 0.3, scale = 0.25 + 0.1 * (i % 4),
      tint = tints[i % 5 + 1], alpha = 200 + i % 56,
      additive = i % 10 == 0, overlay = i % 15 == 0,
    }
  end
end

local function drawMixed(time)
  local t = time * 0.001
  DrawPicture("src", "back.png", "x", 0, "y", 0)
  for i = 1, 300 do
    local p = mixed[i]
    local x = (p.x + t * p.speed) % 1024 - 64
    local y = (p.y + t * p.speed * 0.5) % 768 - 64
    if p.overlay then
      DrawPicture("src", p.name, "x", x, "y", y, "angle", t * p.spin, "scalex", p.scale,
                  "scaley", p.scale, "alpha", p.alpha, "color", 0x3060FF, "colorpower", 200)
    else
      DrawPicture("src", p.name, "x", x, "y", y, "angle", t * p.spin, "scalex", p.scale,
                  "scaley", p.scale, "alpha", p.alpha, "color", p.tint,
                  "outputmode", p.additive and 1 or 0)
    end
  end
  for i = 1, 100 do
    local x = math.floor((i * 41 + t * 30) % 1024)
    local y = math.floor((i * 23 + t * 20) % 768)
    DrawLine(x, y, x + 60, y + 25, 0x40FF40 + i, 255)
    DrawLine(x + 30, y + 40, x + 70, y + 70, 0x4040FF, 128, true)
  end
  for i = 1, 50 do
    local text = i <= 5 and ("Score " .. (frames * 10 + i)) or ("Find the lantern under line " .. i)
    OutTextXY(text, 10 + (i % 3) * 340, i * 15)
  end
end

-- ---- the game's entry points ----

function A_Init(time)
  if scene == "mixed" then viewW, viewH = 1024, 768 end
  local ok, w, h = SetSystemResolution(viewW, viewH)
  viewW, viewH = w, h
  if scene == "sprites" or scene == "startup" then
    LoadPictures("sprite32.png;sprite2.png")
  elseif scene == "mixed" then
    LoadPictures(mixedList())
    setupMixed()
  elseif scene == "hittest" then
    LoadPictures("m1_0.png|mix1|0|0|256|256|false")
  elseif scene == "sound" then
    InitSound()
  end
end

function A_Loading(time, percent)
end

-- Frame-by-frame tasks of the scenes that time one job: the job runs in frame `jobFrame`, and
-- its time is the next frame interval less the mean interval before it.
local jobFrame, jobStart = 30, nil

local function job(time)
  if scene == "atlases" then
    local list = {}
    for k = 1, 8 do list[k] = string.format("big%d.png|big%d|0|0|2048|2048|false", k, k) end
    LoadPictures(table.concat(list, ";"))
    for k = 1, 8 do
      DrawPicture("src", "big" .. k .. ".png", "x", k * 90, "y", 100, "scalex", 0.04,
                  "scaley", 0.04, "transx", 0, "transy", 0)
    end
  elseif scene == "hittest" then
    local cpu, hits = os.clock(), 0
    for i = 1, 100000 do
      if InsidePicture("m1_0.png", 0, 0, i % 256, (i * 7) % 256, 0, 102) then hits = hits + 1 end
    end
    results.hits = hits
    results.ms = (os.clock() - cpu) * 1000
  elseif scene == "sound" then
    local rss, cpu = memoryKb("VmRSS"), os.clock()
    local handle, ms = LoadSound("track.ogg")
    results.ms = (os.clock() - cpu) * 1000
    results.sound_kb = memoryKb("VmRSS") - rss
    results.duration_ms = ms
    results.handle = handle
  end
end

function A_Update(time)
  frames = frames + 1
  -- Only the one-off jobs read the intervals: a long run keeps none beyond them.
  if lastTime and frames <= jobFrame + 1 then frameTimes[#frameTimes + 1] = time - lastTime end
  lastTime = time
  started = started or time

  if scene == "startup" then
    -- The first frame has been presented when the second one starts.
    if frames == 2 then finish() end
    DrawPicture("src", "sprite32.png", "x", 100, "y", 100)
    return
  end

  if scene == "atlases" or scene == "hittest" or scene == "sound" then
    if scene == "hittest" then DrawPicture("src", "m1_0.png", "x", 0, "y", 0) end
    if frames == jobFrame then
      jobStart = time
      job(time)
    elseif frames == jobFrame + 1 then
      if not results.ms then results.ms = time - jobStart - meanFrameMs() end
      finish()
    end
    return
  end

  if soakFrames then
    soakDone = soakDone + 1
    if soakDone % 1000 == 0 then
      local f = assert(io.open(samples, "a"))
      f:write(soakDone, " ", memoryKb("VmRSS"), "\n")
      f:close()
    end
    if soakDone >= soakFrames then
      finish()
      return
    end
  elseif not measureFrom and time - started >= warmup then
    measureFrom, cpuFrom, frames = time, os.clock(), 0
  end
  if measureFrom and time - measureFrom >= span then
    local seconds = (time - measureFrom) / 1000
    results.fps = frames / seconds
    results.cpu = (os.clock() - cpuFrom) / seconds
    finish()
    return
  end

  if scene == "sprites" then
    drawSprites(time)
  elseif scene == "mixed" then
    drawMixed(time)
  end
end

function A_MouseMove() end
function A_MouseDown() end
function A_MouseUp() end
function G_EndGame() end
