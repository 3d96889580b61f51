-- The benchmark scenes of ../halvardine/data/AllLua.lua, written as a LÖVE game the way such a
-- game is usually written: one draw call per picture (LÖVE batches them itself), quads of an
-- atlas, a small shader for the flat-colour silhouette. Same environment variables, same
-- measurement, same result lines.

local scene = os.getenv("BENCH_SCENE") or "sprites"
local count = tonumber(os.getenv("BENCH_COUNT") or "") or 1
local size = tonumber(os.getenv("BENCH_SIZE") or "") or 32
local warmup = tonumber(os.getenv("BENCH_WARMUP") or "") or 1000
local span = (tonumber(os.getenv("BENCH_SECONDS") or "") or 5) * 1000
local out = os.getenv("BENCH_OUT") or "bench-result.txt"

local viewW, viewH = 800, 600
local frames, started, measureFrom, cpuFrom = 0, nil, nil, nil
local lastTime, frameTimes = nil, {}
local results = {}
local now = function() return love.timer.getTime() * 1000 end

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
  love.event.quit()
end

local function meanFrameMs()
  local n, sum = 0, 0
  for i = math.max(1, #frameTimes - 29), #frameTimes do
    n, sum = n + 1, sum + frameTimes[i]
  end
  return n > 0 and sum / n or 0
end

local sprites, spriteQuad
local back, atlases, cells, overlay, font = nil, {}, {}, nil, nil
local tints = {0xFFFFFF, 0xC0E0FF, 0xFFD0C0, 0xD0FFD0, 0xF0F0A0}
local mixed = {}
local hitData, hitImage, bigImages

-- Script colours have red in the low byte.
local function rgb(c)
  return (c % 256) / 255, (math.floor(c / 256) % 256) / 255, (math.floor(c / 65536) % 256) / 255
end

function love.load()
  viewW, viewH = love.graphics.getDimensions()
  if scene == "sprites" or scene == "startup" then
    sprites = love.graphics.newImage("data/sprites.png")
    spriteQuad = size == 2 and love.graphics.newQuad(32, 0, 2, 2, 64, 64)
                 or love.graphics.newQuad(0, 0, 32, 32, 64, 64)
  elseif scene == "mixed" then
    back = love.graphics.newImage("data/back.png")
    for k = 1, 4 do atlases[k] = love.graphics.newImage("data/mix" .. k .. ".png") end
    for c = 0, 15 do
      cells[c] = love.graphics.newQuad((c % 4) * 256, math.floor(c / 4) * 256, 256, 256, 1024, 1024)
    end
    overlay = love.graphics.newShader([[
      vec4 effect(vec4 color, Image tex, vec2 tc, vec2 sc) {
        return vec4(color.rgb, Texel(tex, tc).a * color.a);
      }]])
    font = love.graphics.newFont(20)
    for i = 1, 300 do
      mixed[i] = {
        atlas = (i - 1) % 4 + 1, cell = (i * 7) % 16,
        x = (i * 53) % 1024, y = (i * 29) % 768,
        speed = 20 + i % 40, spin = (i % 5) * 0.3, scale = 0.25 + 0.1 * (i % 4),
        tint = tints[i % 5 + 1], alpha = 200 + i % 56,
        additive = i % 10 == 0, overlay = i % 15 == 0,
      }
    end
  elseif scene == "hittest" then
    hitData = love.image.newImageData("data/mix1.png")
    hitImage = love.graphics.newImage(hitData)
  end
end

local function drawSprites(time)
  local phase = time * 0.001
  local w, h = viewW - size, viewH - size
  local draw, image, quad = love.graphics.draw, sprites, spriteQuad
  for i = 1, count do
    local x = (i * 37 + phase * (40 + i % 50)) % w
    local y = (i * 91 + phase * (30 + i % 70)) % h
    draw(image, quad, x, y)
  end
end

local function drawMixed(time)
  local g = love.graphics
  local t = time * 0.001
  g.setColor(1, 1, 1, 1)
  g.draw(back, 0, 0)
  for i = 1, 300 do
    local p = mixed[i]
    local x = (p.x + t * p.speed) % 1024 - 64
    local y = (p.y + t * p.speed * 0.5) % 768 - 64
    local r, gr, b = rgb(p.tint)
    if p.overlay then
      r, gr, b = rgb(math.floor(200 * 0x3060FF / 255))
      g.setShader(overlay)
    end
    g.setBlendMode(p.additive and "add" or "alpha")
    g.setColor(r, gr, b, p.alpha / 255)
    g.draw(atlases[p.atlas], cells[p.cell], x + 128, y + 128, t * p.spin, p.scale, p.scale, 128, 128)
    if p.overlay then g.setShader() end
  end
  g.setBlendMode("alpha")
  for i = 1, 100 do
    local x = math.floor((i * 41 + t * 30) % 1024)
    local y = math.floor((i * 23 + t * 20) % 768)
    g.setColor(rgb(0x40FF40 + i))
    g.line(x, y, x + 60, y + 25)
    local r, gr, b = rgb(0x4040FF)
    g.setColor(r, gr, b, 128 / 255)
    g.rectangle("fill", x + 30, y + 40, 40, 30)
  end
  g.setColor(1, 1, 1, 1)
  g.setFont(font)
  for i = 1, 50 do
    local text = i <= 5 and ("Score " .. (frames * 10 + i)) or ("Find the lantern under line " .. i)
    g.print(text, 10 + (i % 3) * 340, i * 15)
  end
end

local jobFrame, jobStart = 30, nil

local function job()
  if scene == "atlases" then
    bigImages = {}
    for k = 1, 8 do bigImages[k] = love.graphics.newImage("data/big" .. k .. ".png") end
  elseif scene == "hittest" then
    local cpu, hits, getPixel = os.clock(), 0, hitData.getPixel
    for i = 1, 100000 do
      local _, _, _, a = getPixel(hitData, i % 256, (i * 7) % 256)
      if a * 255 > 102 then hits = hits + 1 end
    end
    results.hits = hits
    results.ms = (os.clock() - cpu) * 1000
  elseif scene == "sound" then
    local rss, cpu = memoryKb("VmRSS"), os.clock()
    local source = love.audio.newSource("data/track.ogg", "stream")
    results.ms = (os.clock() - cpu) * 1000
    results.sound_kb = memoryKb("VmRSS") - rss
    results.duration_ms = math.floor(source:getDuration() * 1000 + 0.5)
    bigImages = {source}
  end
end

function love.update()
  local time = now()
  frames = frames + 1
  -- Only the one-off jobs read the intervals: a long run keeps none beyond them.
  if lastTime and frames <= jobFrame + 1 then frameTimes[#frameTimes + 1] = time - lastTime end
  lastTime = time
  started = started or time

  if scene == "startup" then
    if frames == 2 then finish() end
    return
  end
  if scene == "atlases" or scene == "hittest" or scene == "sound" then
    if frames == jobFrame then
      jobStart = time
      job()
    elseif frames == jobFrame + 1 then
      if not results.ms then results.ms = time - jobStart - meanFrameMs() end
      finish()
    end
    return
  end
  if not measureFrom and time - started >= warmup then
    measureFrom, cpuFrom, frames = time, os.clock(), 0
  end
  if measureFrom and time - measureFrom >= span then
    local seconds = (time - measureFrom) / 1000
    results.fps = frames / seconds
    results.cpu = (os.clock() - cpuFrom) / seconds
    finish()
  end
end

function love.draw()
  local time = lastTime or now()
  if scene == "sprites" then
    drawSprites(time)
  elseif scene == "startup" then
    love.graphics.draw(sprites, spriteQuad, 100, 100)
  elseif scene == "mixed" then
    drawMixed(time)
  elseif scene == "hittest" then
    love.graphics.draw(hitImage, 0, 0)
  elseif scene == "atlases" and bigImages and frames == jobFrame then
    for k = 1, 8 do love.graphics.draw(bigImages[k], k * 90, 100, 0, 0.04, 0.04) end
  end
end
