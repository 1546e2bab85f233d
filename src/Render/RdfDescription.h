#pragma once
// An ".rdf" description as text: the main value, the sections by name and the file-level keys.
// The mesh manager builds objects from it.
#include <map>
#include <string>
#include <vector>

// Key to value of one section; a repeated key keeps the last value.
using RdfSection = std::map<std::string, std::string>;

struct RdfDescription {
    // The text after "=" on the first line, as written (empty when that line has no "=").
    std::string mainValue;
    // Lower-cased section name to its keys; a repeated header continues the same section.
    std::map<std::string, RdfSection> sections;
    // File-level list keys, one entry per line in file order.
    std::vector<std::string> sprites, lights, psystems, lineKeyPoints, lods;
    // File-level text keys; the last line wins.
    std::string lineColor, description, shadowTextures;

    // The section of that name, or an empty one.
    const RdfSection& Section(const std::string& name) const;
};

// Parses the text with the data-file line rules: the first line is the main line; every further
// line is a "[section]" header or "key = value" (split at the first "=" outside double quotes,
// quotes dropped, both trimmed and lower-cased; a line without "=" is a key with an empty value).
// File-level keys count wherever they stand; other keys belong to the current section and are
// ignored before the first header.
RdfDescription ParseRdf(const char* text, int size);

// A section value, or "" when the key is absent.
std::string RdfValue(const RdfSection& section, const char* key);
