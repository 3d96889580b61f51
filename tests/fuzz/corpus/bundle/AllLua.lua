-- a small game
function A_Init() SetSystemResolution(800, 600) frames = 0 end
function A_Update() frames = frames + 1 DrawPicture("a.png", 10, 20) end
local t = { "x", 'y', [[long
string]], 0x1F, 1e308 }
