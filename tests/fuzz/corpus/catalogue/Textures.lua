-- START Textures.lua
Textures = {
{Name="a.png";Texture="atlas1";PosX=0;PosY=0;Width=32;Height=32;
{Name="b.png";Texture="atlas1";PosX=32;PosY=0;Width=16;Height=64;Rotate=True;Compress=0;
 {Name="blank.png";Texture="atlas2";PosX=1;PosY=2;Width=3;Height=4;
{Name = "spaced.png";Texture="atlas2";X=9;PosY=2;Width=3;Height=4;
{Name="short.png";Texture="t";PosX=5
{Name="bad.jpg";Texture="t";PosX=1;PosY=1;Width=1;Height=1;Rotate=maybe;
{N;
}
-- END Textures.lua
