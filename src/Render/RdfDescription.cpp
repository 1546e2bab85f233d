#include "Render/RdfDescription.h"

#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"
#include "Core/PUtils.h"

namespace {

// Splits at the first "=" outside double quotes. Key and value are read as tokens are: quotes
// group and are dropped, a doubled quote inside them is one quote, blanks at the ends go. A line
// without "=" is a key with an empty value.
void SplitKeyValue(const std::string& line, std::string& key, std::string& value) {
    size_t equals = line.size();
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (line[i] == '=' && !quoted) {
            equals = i;
            break;
        }
    }
    // A line feed never stands inside a line, so these tokenizers read the whole text as one token.
    CPTokenizer(line.substr(0, equals), "\n", true).NextToken(key);
    value.clear();
    if (equals < line.size()) CPTokenizer(line.substr(equals + 1), "\n", true).NextToken(value);
}

} // namespace

const RdfSection& RdfDescription::Section(const std::string& name) const {
    static const RdfSection empty;
    auto found = sections.find(name);
    return found != sections.end() ? found->second : empty;
}

std::string RdfValue(const RdfSection& section, const char* key) {
    auto found = section.find(key);
    return found != section.end() ? found->second : std::string();
}

RdfDescription ParseRdf(const char* text, int size) {
    RdfDescription rdf;
    CPTextReader reader(text, size);
    std::string line;
    if (!reader.GetLine(line)) return rdf;
    if (reader.GetLineType() != 0) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            rdf.mainValue = line.substr(equals + 1);
            Trim(rdf.mainValue);
        }
    }

    RdfSection* current = nullptr;
    while (reader.GetLine(line)) {
        if (reader.GetLineType() == 0) {
            ToLower(line);
            current = &rdf.sections[line];
            continue;
        }
        std::string key, value;
        SplitKeyValue(line, key, value);
        ToLower(key);
        ToLower(value);
        if (key == "sprite") rdf.sprites.push_back(value);
        else if (key == "light") rdf.lights.push_back(value);
        else if (key == "psystem") rdf.psystems.push_back(value);
        else if (key == "linekeypoint") rdf.lineKeyPoints.push_back(value);
        else if (key == "lod") rdf.lods.push_back(value);
        else if (key == "linecolor") rdf.lineColor = value;
        else if (key == "description") rdf.description = value;
        else if (key == "shadowtextures") rdf.shadowTextures = value;
        else if (current != nullptr) (*current)[key] = value;
    }
    return rdf;
}
