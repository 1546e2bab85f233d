#include "Core/PSettings.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <locale>
#include <sstream>

#include "Core/PFileWriter.h"
#include "Core/PPath.h"
#include "Core/PUtils.h"

int g_screenWidth;
int g_screenHeight;
int g_screenBPP;
int g_fullScreen;
int g_weightDiv;
int g_static;
int g_rolling;
int g_texlod;
int g_quadlevels;
int g_bboxes;
int g_channels;
int g_frequency;
int g_bitrate;
float g_soundVolume;
float g_musicVolume;
float g_mouse;
float g_plane;
int g_camSpeed;
int g_distance;
int g_startmenu;
float g_friction;
float g_restitution;
int g_shadows;
int g_bloom;
int g_lensflare;
int g_dust;
int g_wheel;
int g_psystems;
int g_weather;
int g_blur;
int g_contrast;
float g_aniso;

namespace {

struct SettingRow {
    const char* key;
    int* intVariable;
    float* floatVariable;
    float defaultValue;
};

// The order of registration; with the engine hash map it decides the order of "config.cfg".
const SettingRow kSettings[] = {
    {"screenWidth", &g_screenWidth, nullptr, 640},
    {"screenHeight", &g_screenHeight, nullptr, 480},
    {"screenBPP", &g_screenBPP, nullptr, 16},
    {"fullScreen", &g_fullScreen, nullptr, 0},
    {"weight_div", &g_weightDiv, nullptr, 0},
    {"static", &g_static, nullptr, 0},
    {"rolling", &g_rolling, nullptr, 0},
    {"texlod", &g_texlod, nullptr, -1},
    {"quadlevels", &g_quadlevels, nullptr, 0},
    {"bboxes", &g_bboxes, nullptr, 0},
    {"channels", &g_channels, nullptr, 2},
    {"frequency", &g_frequency, nullptr, 22050},
    {"bitrate", &g_bitrate, nullptr, 8},
    {"soundVolume", nullptr, &g_soundVolume, 0.5f},
    {"musicVolume", nullptr, &g_musicVolume, 0.5f},
    {"mouse", nullptr, &g_mouse, 0},
    {"plane", nullptr, &g_plane, 0.5f},
    {"cam_speed", &g_camSpeed, nullptr, 0},
    {"distance", &g_distance, nullptr, 200},
    {"startmenu", &g_startmenu, nullptr, 1},
    {"friction", nullptr, &g_friction, 0.2f},
    {"restitution", nullptr, &g_restitution, 0},
    {"shadows", &g_shadows, nullptr, 1},
    {"bloom", &g_bloom, nullptr, 1},
    {"lensflare", &g_lensflare, nullptr, 1},
    {"dust", &g_dust, nullptr, 1},
    {"wheel", &g_wheel, nullptr, 1},
    {"psystems", &g_psystems, nullptr, 25},
    {"weather", &g_weather, nullptr, 1},
    {"blur", &g_blur, nullptr, 1},
    {"contrast", &g_contrast, nullptr, 1},
    {"aniso", nullptr, &g_aniso, 0},
};
constexpr size_t kSettingCount = sizeof(kSettings) / sizeof(kSettings[0]);

// The process-wide handle of each setting's dator, beside its variable.
CPRefPtr<CPDator> g_dators[kSettingCount];

// Stream extraction in the classic locale: leading blanks, a sign, the longest number; the rest
// is ignored. A text that holds no number leaves the value as it was.
template <typename T>
bool ExtractNumber(const std::string& text, T& out) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    T value{};
    in >> value;
    if (in.fail()) return false;
    out = value;
    return true;
}

const bool g_defaultsApplied = (CPSettingsManager::ResetDefaults(), true);

} // namespace

int WeightDivisor() { return g_weightDiv > 0 ? g_weightDiv : 1; }

template <typename T>
void CPTypedDator<T>::SetText(const std::string& text) {
    ExtractNumber(text, *variable_);
}

template <typename T>
void CPTypedDator<T>::AddText(const std::string& text) {
    T v;
    if (ExtractNumber(text, v)) *variable_ += v;
}

template <typename T>
void CPTypedDator<T>::SubtractText(const std::string& text) {
    T v;
    if (ExtractNumber(text, v)) *variable_ -= v;
}

template <>
std::string CPTypedDator<int>::GetText() const {
    return std::to_string(*variable_);
}

template <>
std::string CPTypedDator<float>::GetText() const {
    // General notation, 6 significant digits, of the value widened to double: 0.2f reads "0.2".
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), static_cast<double>(*variable_), std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

template class CPTypedDator<int>;
template class CPTypedDator<float>;

CPSettingsManager::CPSettingsManager() { RegisterAll(); }

CPSettingsManager::~CPSettingsManager() {
    ReleaseDators();
    table_.Clear();
}

void CPSettingsManager::ResetDefaults() {
    for (const SettingRow& row : kSettings) {
        if (row.intVariable) *row.intVariable = static_cast<int>(row.defaultValue);
        else *row.floatVariable = row.defaultValue;
    }
}

void CPSettingsManager::RegisterAll() {
    for (size_t i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = kSettings[i];
        CPDator* dator = row.intVariable ? static_cast<CPDator*>(new CPIntDator(row.intVariable))
                                         : static_cast<CPDator*>(new CPFloatDator(row.floatVariable));
        g_dators[i].Reset(dator);
        Register(row.key, g_dators[i]);
    }
}

void CPSettingsManager::Register(const std::string& name, const CPRefPtr<CPDator>& dator) { table_[name] = dator; }

CPDator* CPSettingsManager::Find(const std::string& name) {
    CPRefPtr<CPDator>* entry = table_.Find(name);
    return entry ? entry->Get() : nullptr;
}

void CPSettingsManager::Apply(const std::string& name, const std::string& value, int /*sign*/) {
    CPDator* dator = Find(name);
    if (!dator || dator->IsList()) return;
    dator->SetText(value);
}

void CPSettingsManager::Load(const std::string& path) {
    FILE* file = OpenFileForRead(path);
    if (!file) return;
    std::string line;
    int c;
    bool more = true;
    while (more) {
        // Whole lines, however long: a long line is one setting, never several.
        line.clear();
        while ((c = std::fgetc(file)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
        more = (c != EOF);
        if (line.empty()) continue;
        int sign = 0;
        if (line[0] == '+' || line[0] == '-') {
            sign = line[0] == '+' ? 1 : -1;
            line.erase(0, 1);
        }
        std::string name, value;
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            name = line.substr(0, eq);
            value = line.substr(eq + 1);
        } else {
            name = line;
            value = std::to_string((sign + 1) / 2);
        }
        Trim(name);
        Trim(value);
        Apply(name, value, sign);
    }
    std::fclose(file);
}

void CPSettingsManager::Save(const std::string& path) {
    CPFileWriter writer(path, false);
    for (const auto& entry : table_) {
        std::string line = entry.first + " = " + (entry.second ? entry.second->GetText() : std::string()) + "\r\n";
        writer.Write(line.data(), static_cast<int>(line.size()));
    }
    writer.SaveReplacing();
}

void CPSettingsManager::ReleaseDators() {
    for (auto& dator : g_dators) dator.Reset();
}
