#pragma once

// One car body with two fans of 17 wheel rays driving over a 100k-triangle terrain for 60 s, on
// this engine (terrain through the triangle query, a 7-unit grid) and on the peer engine (its
// own static triangle mesh, the same 34 ray casts per tick). Prints the scene line and returns
// the number of failures.
int RunCarTerrainScene(bool smoke);
