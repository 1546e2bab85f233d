#pragma once
// Every kind of file the game reads, each with the game's own reader of it: the fuzz targets and the
// mutation test feed these readers damaged bytes. A reader runs in the working directory, which must
// be a game root (the files it names besides its own are read from there).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Formats {

struct Format {
    const char* name;
    // Where the game reads it, relative to the root ("/" separated); the demo root has one there.
    const char* path;
    // Lines of words and numbers: text mutants (numbers made NaN, inf or huge; long lines) apply.
    bool text;
    // The bytes as the game reads them: laid at `path` and loaded by the game's own call, or handed
    // straight to the reader the game calls when that reader takes bytes.
    void (*read)(const uint8_t* data, size_t size);
    // The game's load of whatever lies at `path` (also a folder, or nothing).
    void (*load)();
};

const std::vector<Format>& All();
const Format* Find(const std::string& name);

// Writes `bytes` at `path` in the root (a folder or a file there is replaced) and lets the path
// resolver see it.
void Place(const char* path, const uint8_t* data, size_t size);

// The reader of bytes when the format has one, else the bytes placed and loaded.
void Feed(const Format& format, const uint8_t* data, size_t size);

// Makes the managers the readers report to and look things up in; once per process.
void SetUp();

// A writer of this kind wrote back what a reader accepted and the reader refused it, or read it
// differently: the reader accepts what it should not. Aborts, naming the format.
[[noreturn]] void Disagree(const char* format);

} // namespace Formats
