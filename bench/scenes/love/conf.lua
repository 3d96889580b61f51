-- Window of the benchmark scenes: the size the scene needs, vsync as BENCH_VSYNC says (off
-- unless it is 1).
function love.conf(t)
  local scene = os.getenv("BENCH_SCENE") or "sprites"
  t.identity = "halvardine-bench"
  t.window.title = "bench"
  t.window.width, t.window.height = 800, 600
  if scene == "mixed" then t.window.width, t.window.height = 1024, 768 end
  t.window.vsync = os.getenv("BENCH_VSYNC") == "1" and 1 or 0
  t.modules.joystick = false
  t.modules.physics = false
  t.modules.video = false
  t.modules.audio = scene == "sound"
  t.modules.sound = scene == "sound"
end
