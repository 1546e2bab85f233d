-- One of the barrels on the race line (see barrel.lua).
dofile("Data/Scripts/barrel.lua")("barrel_a")
