#pragma once
// The sky's text files: lines cut by the engine's text reader, each a label (ignored) and values
// split at spaces, quotes honoured. Only a line's position gives its meaning; a missing line or
// value reads as empty text, so numbers read as 0 and names as empty.
#include <string>
#include <vector>

#include "Core/Math/Vector.h"

class SkyFile {
public:
    // "Data\Clouds\" + name through the file layer; false when it cannot be read (the file is then
    // empty).
    bool Open(const std::string& name);
    // Takes the text itself (for tests and tools).
    void SetText(const std::string& text, const std::string& name = "");

    // The next line's values, label dropped; empty past the end.
    std::vector<std::string> NextLine();
    float Real();
    int Integer();
    std::string Text();
    Vec3 Triple();
    // Two values of one line.
    void Pair(int& a, int& b);
    void Pair(float& a, float& b);

    bool AtEnd() const { return next_ >= lines_.size(); }
    size_t LineCount() const { return lines_.size(); }
    const std::string& GetName() const { return name_; }

    // A value as the sky reads it: a decimal number up to the first character that does not fit;
    // text that does not start with one, and a number too large for a float, read as 0.
    static float ParseReal(const std::string& text);
    static int ParseInteger(const std::string& text);

private:
    std::vector<std::vector<std::string>> lines_;
    size_t next_ = 0;
    std::string name_;
    bool reportedEnd_ = false;
};
