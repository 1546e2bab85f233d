#pragma once

#include <cstdio>
#include <string>

// Game paths ("Data\Textures\X.TGA", "DATA/saves/save1.sav") name files the way a case-blind
// file system with either slash would. ResolvePath turns one into the real path on disk: "\" and
// "/" both separate, each component takes the spelling of an existing directory entry that equals
// it ignoring ASCII case (an exact match wins), and a component that does not exist keeps its case.
// Relative paths stay relative to the working directory.
std::string ResolvePath(const std::string& path);

// Drops the cached directory listings. Call after creating or renaming files.
void InvalidatePathCache();

// Opens a game path for binary reading; null when it does not resolve to a regular file (on Linux
// a directory would otherwise open).
FILE* OpenFileForRead(const std::string& path);
