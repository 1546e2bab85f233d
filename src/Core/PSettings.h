#pragma once
// The program's 32 settings: process-wide variables that their users read and write directly, bound
// to their names by typed dators and kept in "config.cfg".
#include <string>

#include "Core/PHashMap.h"
#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"

extern int g_screenWidth;
extern int g_screenHeight;
extern int g_screenBPP;
extern int g_fullScreen;
extern int g_weightDiv;
extern int g_static;
extern int g_rolling;
extern int g_texlod;
extern int g_quadlevels;
extern int g_bboxes;
extern int g_channels;
extern int g_frequency;
extern int g_bitrate;
extern float g_soundVolume;
extern float g_musicVolume;
extern float g_mouse;
extern float g_plane;
extern int g_camSpeed;
extern int g_distance;
extern int g_startmenu;
extern float g_friction;
extern float g_restitution;
extern int g_shadows;
extern int g_bloom;
extern int g_lensflare;
extern int g_dust;
extern int g_wheel;
extern int g_psystems;
extern int g_weather;
extern int g_blur;
extern int g_contrast;
extern float g_aniso;

// "weight_div" divides every physics mass; a value of 0 or less divides by 1.
int WeightDivisor();

// One named setting bound to a program variable.
class CPDator : public CPManagedObject {
public:
    virtual void SetText(const std::string& text) = 0;
    virtual void AddText(const std::string& text) = 0;
    virtual void SubtractText(const std::string& text) = 0;
    virtual bool EqualsText(const std::string& text) const { return GetText() == text; }
    virtual bool DiffersText(const std::string& text) const { return !EqualsText(text); }
    virtual bool IsList() const { return false; }
    virtual std::string GetText() const = 0;
    const char* GetTypeName() const override { return "CPDator"; }
};

// The two kinds: an integer setting and a real one.
template <typename T>
class CPTypedDator : public CPDator {
public:
    explicit CPTypedDator(T* variable) : variable_(variable) {}
    void SetText(const std::string& text) override;
    void AddText(const std::string& text) override;
    void SubtractText(const std::string& text) override;
    std::string GetText() const override;
    int GetObjectSize() const override { return sizeof(*this); }

private:
    T* variable_;
};

using CPIntDator = CPTypedDator<int>;
using CPFloatDator = CPTypedDator<float>;

class CPSettingsManager : public CPSingleton<CPSettingsManager> {
public:
    CPSettingsManager();
    virtual ~CPSettingsManager();

    void RegisterAll();
    void Register(const std::string& name, const CPRefPtr<CPDator>& dator);
    // Reads "name = value" lines over the current values; a missing file changes nothing.
    void Load(const std::string& path);
    // Writes every setting as "name = value\r\n" in the table's order, replacing the file whole.
    void Save(const std::string& path);
    // Sets one setting from text; unknown names are ignored.
    void Apply(const std::string& name, const std::string& value, int sign);
    // Lets go of the process-wide dator handles; the table keeps its entries, so Save still works.
    void ReleaseDators();

    CPDator* Find(const std::string& name);
    const CPHashMap<CPRefPtr<CPDator>>& GetTable() const { return table_; }

    // Puts every variable back to its default (tests, and a fresh profile of settings).
    static void ResetDefaults();

private:
    CPHashMap<CPRefPtr<CPDator>> table_;
};

inline CPSettingsManager* GetSettingsManager() { return CPSingleton<CPSettingsManager>::Instance(); }
