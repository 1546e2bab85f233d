// Prints each format's name and where the game reads it, one format a line; the seed corpus is
// taken from those places in the demo root.
#include <cstdio>

#include "Formats.h"

int main() {
    for (const Formats::Format& format : Formats::All()) std::printf("%s %s\n", format.name, format.path);
    return 0;
}
