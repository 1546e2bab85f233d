#include "DynamicSky/SkyFile.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"

bool SkyFile::Open(const std::string& name) {
    lines_.clear();
    next_ = 0;
    name_ = name;
    CPFileReader reader("Data\\Clouds\\" + name);
    if (name.empty() || reader.Load() != S_OK) {
        GetLog().Write(1, "sky: cannot read Data\\Clouds\\%s", name.c_str());
        return false;
    }
    SetText(std::string(reinterpret_cast<const char*>(reader.GetData()), static_cast<size_t>(reader.GetLength())),
            name);
    return true;
}

void SkyFile::SetText(const std::string& text, const std::string& name) {
    lines_.clear();
    next_ = 0;
    name_ = name;
    reportedEnd_ = false;
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    std::string line;
    while (reader.GetLine(line)) {
        if (line.empty()) continue;
        std::vector<std::string> values;
        CPTokenizer tokens(line, " ", true);
        std::string token;
        bool label = true;
        while (tokens.NextToken(token)) {
            if (label) label = false;
            else values.push_back(token);
        }
        lines_.push_back(std::move(values));
    }
}

std::vector<std::string> SkyFile::NextLine() {
    if (next_ < lines_.size()) return lines_[next_++];
    if (!reportedEnd_) {
        GetLog().Write(1, "sky: %s ends after %zu lines; the rest reads as empty", name_.c_str(), lines_.size());
        reportedEnd_ = true;
    }
    return {};
}

float SkyFile::ParseReal(const std::string& text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const bool digit = i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
    const bool point = i + 1 < text.size() && text[i] == '.' && std::isdigit(static_cast<unsigned char>(text[i + 1]));
    // Only a plain decimal number: strtof alone would also take "inf", "nan" and hexadecimal.
    if (!digit && !point) return 0.0f;
    size_t end = i;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    }
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t e = end + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        if (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) {
            while (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) ++e;
            end = e;
        }
    }
    const float value = std::strtof(text.substr(0, end).c_str(), nullptr);
    if (!std::isfinite(value)) {
        GetLog().Write(1, "sky: %s is no finite number, read as 0", text.c_str());
        return 0.0f;
    }
    return value;
}

int SkyFile::ParseInteger(const std::string& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i++] - '0');
        if (value > INT_MAX) value = INT_MAX; // saturates instead of wrapping
    }
    return static_cast<int>(negative ? -value : value);
}

float SkyFile::Real() {
    const std::vector<std::string> v = NextLine();
    return v.empty() ? 0.0f : ParseReal(v[0]);
}

int SkyFile::Integer() {
    const std::vector<std::string> v = NextLine();
    return v.empty() ? 0 : ParseInteger(v[0]);
}

std::string SkyFile::Text() {
    const std::vector<std::string> v = NextLine();
    return v.empty() ? std::string() : v[0];
}

Vec3 SkyFile::Triple() {
    const std::vector<std::string> v = NextLine();
    auto at = [&](size_t i) { return i < v.size() ? ParseReal(v[i]) : 0.0f; };
    return Vec3(at(0), at(1), at(2));
}

void SkyFile::Pair(int& a, int& b) {
    const std::vector<std::string> v = NextLine();
    a = v.size() > 0 ? ParseInteger(v[0]) : 0;
    b = v.size() > 1 ? ParseInteger(v[1]) : 0;
}

void SkyFile::Pair(float& a, float& b) {
    const std::vector<std::string> v = NextLine();
    a = v.size() > 0 ? ParseReal(v[0]) : 0.0f;
    b = v.size() > 1 ? ParseReal(v[1]) : 0.0f;
}
