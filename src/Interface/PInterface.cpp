#include "Interface/PInterface.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Core/PTokenizer.h"
#include "Core/PUtils.h"
#include "Input/NInput.h"
#include "Interface/PFontManager.h"
#include "Race/PGameData.h"
#include "Render/PMaterialManager.h"
#include "Render/PRender.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"

namespace {

// Texture sizes and the like that data can make zero divide by 1.
float Divisor(float value) { return value != 0.0f ? value : 1.0f; }

std::vector<std::string> Split(const std::string& text, const char* delimiter) {
    std::vector<std::string> fields;
    CPTokenizer tokens(text, delimiter, true);
    std::string field;
    while (tokens.NextToken(field)) fields.push_back(field);
    return fields;
}

float Number(const std::vector<std::string>& fields, size_t i) {
    return i < fields.size() ? static_cast<float>(std::atof(fields[i].c_str())) : 0.0f;
}

// A count from the file: a number beyond int's range saturates, one that is not a number is 0.
int Count(const std::vector<std::string>& fields, size_t i) {
    const double value = i < fields.size() ? std::atof(fields[i].c_str()) : 0.0;
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::clamp(std::trunc(value), static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

const std::string& Field(const std::vector<std::string>& fields, size_t i) {
    static const std::string empty;
    return i < fields.size() ? fields[i] : empty;
}

// A definition line: the name, then the second field split at ",".
bool ReadDefinition(CPTextReader& reader, std::string& name, std::vector<std::string>& fields) {
    std::string line;
    if (!reader.GetLine(line)) return false;
    std::vector<std::string> parts = Split(line, " ");
    name = Field(parts, 0);
    fields = Split(Field(parts, 1), ",");
    return true;
}

void SendToCategory(const char* command, const std::string& params) {
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByCategory("interface", command, params);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

void PlayClick() {
    CNAudio* audio = GetSoundManager();
    if (!audio) return;
    CPRefPtr<CNSound> click = audio->GetSound("click");
    if (!click) return;
    if (click->IsPlaying()) {
        click->Stop();
        click->Rewind();
    }
    click->Play(0, 0);
}

} // namespace

float ScreenScaleX() { return g_screenWidth / 1024.0f; }
float ScreenScaleY() { return g_screenHeight / 768.0f; }

// ---- CPWindow ----

CPWindow::CPWindow(CPInterface* owner) : owner_(owner) {}

bool CPWindow::HitTest(float x, float y) const {
    return x_ + quad_[0].position.x <= x && x <= x_ + quad_[1].position.x && y_ + quad_[0].position.y <= y &&
           y <= y_ + quad_[2].position.y;
}

void CPWindow::SetQuad(const std::string& name, float x, float y, float w, float h, float u, float v, float du,
                       float dv) {
    name_ = name;
    x_ = x, y_ = y;
    const float corners[4][4] = {{0, 0, u, v}, {w, 0, u + du, v}, {w, h, u + du, v + dv}, {0, h, u, v + dv}};
    for (int i = 0; i < 4; ++i) {
        quad_[i] = CPVertex{};
        quad_[i].position = {corners[i][0], corners[i][1], 0};
        quad_[i].tu = corners[i][2];
        quad_[i].tv = corners[i][3];
    }
}

void CPWindow::SetSize(float w, float h) {
    quad_[0].position = {0, 0, 0};
    quad_[1].position = {w, 0, 0};
    quad_[2].position = {w, h, 0};
    quad_[3].position = {0, h, 0};
}

void CPWindow::InitQuad(const std::string& name, float texWidth, float texHeight, float x, float y, float w, float h,
                        float u, float v, float du, float dv) {
    const float tw = Divisor(texWidth), th = Divisor(texHeight);
    SetQuad(name, x * ScreenScaleX() - 0.5f, y * ScreenScaleY() - 0.5f, w * ScreenScaleX(), h * ScreenScaleY(), u / tw,
            v / th, du / tw, dv / th);
    visible_ = true;
}

bool CPWindow::Parse(CPTextReader& stream, float texWidth, float texHeight) {
    std::string name;
    std::vector<std::string> f;
    if (!ReadDefinition(stream, name, f)) return false;
    const float tw = Divisor(texWidth), th = Divisor(texHeight);
    float w = Number(f, 2) * ScreenScaleX(), h = Number(f, 3) * ScreenScaleY();
    // "stretch" scales the size a second time; the anchors leave the position as it is.
    if (Field(f, 9) == "stretch") w *= ScreenScaleX(), h *= ScreenScaleY();
    SetQuad(name, Number(f, 0) * ScreenScaleX() - 0.5f, Number(f, 1) * ScreenScaleY() - 0.5f, w, h, Number(f, 4) / tw,
            Number(f, 5) / th, Number(f, 6) / tw, Number(f, 7) / th);
    visible_ = Field(f, 8) != "false";
    return true;
}

bool CPWindow::Over(float x, float y) {
    SendToCategory("mouse_window_over", Format("%s,%d,%d", name_.c_str(), static_cast<int>(x), static_cast<int>(y)));
    return false;
}

bool CPWindow::Out(float, float) {
    SendToCategory("mouse_window_out", name_);
    return false;
}

bool CPWindow::Down(int, float x, float y) {
    if (owner_) owner_->SendToOwner("window_down", Format("%s,%f,%f", name_.c_str(), x, y));
    return true;
}

bool CPWindow::Click(int, float x, float y) {
    if (HitTest(x, y) && owner_) owner_->SendToOwner("window", Format("%s,%f,%f", name_.c_str(), x, y));
    return false;
}

// ---- CPButton ----

CPWindow* CPButton::Current() const { return states_[state_].Get(); }

void CPButton::SetEnabled(bool enabled) {
    state_ = Normal;
    if (owner_) owner_->UpdateBuffers();
    enabled_ = enabled;
}

bool CPButton::HitTest(float x, float y) const { return states_[Normal] && states_[Normal]->HitTest(x, y); }

bool CPButton::Parse(CPTextReader& stream, float texWidth, float texHeight) {
    for (auto& state : states_) {
        state = new CPWindow(owner_);
        state->SetVisible(true);
        if (!state->Parse(stream, texWidth, texHeight)) return false;
    }
    visible_ = states_[Normal]->IsVisible();
    name_ = states_[Normal]->GetName();
    x_ = states_[Normal]->GetX();
    y_ = states_[Normal]->GetY();
    for (int i = 0; i < 4; ++i) quad_[i] = states_[Normal]->GetVertices()[i];
    return true;
}

const CPVertex* CPButton::GetVertices() const { return Current() ? Current()->GetVertices() : quad_; }
const CPIndex* CPButton::GetIndices() const { return Current() ? Current()->GetIndices() : indices_; }

void CPButton::SetVisible(bool visible) {
    state_ = Normal;
    visible_ = visible;
}

bool CPButton::Over(float, float) {
    state_ = Hovered;
    SendToCategory("mouse_button_over", name_);
    return true;
}

bool CPButton::Out(float, float) {
    state_ = Normal;
    SendToCategory("mouse_button_out", name_);
    return true;
}

bool CPButton::Down(int button, float, float) {
    if (button != 0) return false;
    state_ = Pressed;
    if (owner_) owner_->SendToOwner("button_down", name_);
    return true;
}

bool CPButton::Click(int button, float x, float y) {
    if (button != 0) return false;
    if (HitTest(x, y)) {
        PlayClick();
        state_ = Hovered;
        if (owner_) owner_->SendToOwner("button", name_);
    } else {
        state_ = Normal;
    }
    return true;
}

// ---- CPEditBox ----

CPEditBox::CPEditBox(const CPRefPtr<CPGameObject>& textObject, const std::string& font, float x, float y, int maxLength)
    : textObject_(textObject), font_(font), x_(x), y_(y), maxLength_(maxLength) {}

void CPEditBox::SetText(const std::string& text) {
    text_ = text;
    Redraw();
}

void CPEditBox::Redraw() {
    if (CPFontManager* fonts = GetFontManager()) fonts->SetText(textObject_.Get(), x_, y_, font_, text_ + "_");
}

// ---- CPInterface ----

CPInterface::CPInterface() : CPGameObject("Interface") {
    renderObject_ = new CPRenderObject(this);
    SetRenderPart(CPRefPtr<CPManagedObject>(renderObject_.Get()));
    light_.Type = 3; // directional
    GetInterfaceList().push_back(this);
}

CPInterface::~CPInterface() { GetInterfaceList().remove(this); }

void CPInterface::SendToOwner(const char* command, const std::string& params) const {
    if (CPScriptManager* scripts = GetScriptManager())
        scripts->SendCommandByObject(GetScriptPointer(), command, params);
}

CPRefPtr<CPGameObject> CPInterface::MakeTextObject() {
    CPRefPtr<CPGameObject> text(new CPGameObject("text"));
    text->SetRenderPart(CPRefPtr<CPManagedObject>(new CPRenderObject(text.Get())));
    text->SetRenderType(RenderMesh);
    return text;
}

void CPInterface::Load(const std::string& name, int layerOffset) {
    SetName(name);
    typeName_ = "CPInterface - " + name;
    SetRenderType(RenderMesh);
    layerOffset_ = layerOffset;
    CPFileReader file("Data\\Interface\\" + name + "1024.int");
    if (FAILED(file.Load())) {
        GetLog().Write(0, "interface %s: no file %s\n", name.c_str(), file.GetPath().c_str());
        UpdateBuffers();
        return;
    }
    CPTextReader reader(file.GetData(), file.GetLength());
    std::string line;
    reader.GetLine(line);
    ToLower(line);
    if (CPScriptManager* scripts = GetScriptManager()) {
        CPRefPtr<CPLuaScript> owner = scripts->GetScript(line);
        if (owner) SetScript(owner.Get());
        else
            GetLog().Write(0, "interface %s: %s names no owner script (\"%s\")\n", name.c_str(), file.GetPath().c_str(),
                           line.c_str());
    }
    reader.GetLine(line);
    std::vector<std::string> texture = Split(line, ",");
    textureName_ = Field(texture, 0);
    const float texWidth = Number(texture, 1), texHeight = Number(texture, 2);
    reader.GetLine(line);
    std::vector<std::string> light = Split(line, ",");
    lit_ = Field(light, 1) == "on";
    light_ = LightRecord{};
    light_.Type = 3;
    light_.Direction = {Number(light, 2), Number(light, 3), Number(light, 4)};
    light_.Diffuse = light_.Specular = Color(Number(light, 5), Number(light, 6), Number(light, 7), 1.0f);
    light_.Range = 10000.0f;
    const bool smooth = Field(light, 8) == "smooth";
    if (CPMaterialManager* materials = GetMaterialManager())
        renderObject_->SetMaterial(
            materials->GetMaterial(200 + layerOffset, smooth ? "interface2.fx" : "interface.fx", {textureName_}));
    ReadElements(reader, texWidth, texHeight);
    UpdateBuffers();
}

void CPInterface::ReadElements(CPTextReader& reader, float texWidth, float texHeight) {
    std::string keyword;
    while (reader.GetLine(keyword)) {
        ToLower(keyword);
        if (keyword == "window") {
            CPRefPtr<CPWindow> window(new CPWindow(this));
            window->SetVisible(true);
            if (!window->Parse(reader, texWidth, texHeight)) break;
            if (window->GetName() == "cursor") {
                MakeCursor(*window);
                continue;
            }
            elementMap_.Set(window->GetName(), window);
            elements_.push_back(window);
        } else if (keyword == "button") {
            CPRefPtr<CPButton> button(new CPButton(this));
            button->SetVisible(true);
            if (!button->Parse(reader, texWidth, texHeight)) {
                GetLog().Write(0, "interface %s: button block cut short\n", GetName().c_str());
                break;
            }
            elementMap_.Set(button->GetName(), CPRefPtr<CPWindow>(button.Get()));
            elements_.push_back(CPRefPtr<CPWindow>(button.Get()));
            buttons_.push_back(button);
        } else if (keyword == "text") {
            std::string name;
            std::vector<std::string> f;
            if (!ReadDefinition(reader, name, f)) break;
            CPInterfaceText text;
            text.font = Field(f, 0);
            text.x = Number(f, 1) * ScreenScaleX() + 0.5f;
            text.y = Number(f, 2) * ScreenScaleY() + 0.5f;
            text.object = MakeTextObject();
            AddChild(text.object);
            texts_.Set(name, text);
            std::string string;
            if (CPGameData* data = GetGameData()) string = data->GetString(Field(f, 3));
            if (CPFontManager* fonts = GetFontManager())
                fonts->SetText(text.object.Get(), text.x, text.y, text.font, string);
        } else if (keyword == "textedit") {
            std::string name;
            std::vector<std::string> f;
            if (!ReadDefinition(reader, name, f)) break;
            CPInterfaceText text;
            text.x = Number(f, 0) * ScreenScaleX() + 0.5f;
            text.y = Number(f, 1) * ScreenScaleY() + 0.5f;
            text.font = Field(f, 2);
            text.object = MakeTextObject();
            CPRefPtr<CPEditBox> box(new CPEditBox(text.object, text.font, text.x, text.y, Count(f, 3)));
            editBoxes_.Set(name, box);
            AddChild(text.object);
            texts_.Set(name, text);
            box->SetText(f.size() > 5 ? f[5] : std::string());
        }
        // Any other line is skipped.
    }
}

void CPInterface::MakeCursor(const CPWindow& window) {
    CPRefPtr<CPGameObject> cursor(new CPGameObject("cursor"));
    CPRefPtr<CPRenderObject> part(new CPRenderObject(cursor.Get()));
    part->vertices.assign(window.GetVertices(), window.GetVertices() + 4);
    part->indices.assign(window.GetIndices(), window.GetIndices() + 6);
    if (CPMaterialManager* materials = GetMaterialManager())
        part->SetMaterial(materials->GetMaterial(205, "interface.fx", {textureName_}));
    cursor->SetRenderPart(CPRefPtr<CPManagedObject>(part.Get()));
    cursor->SetRenderType(RenderMesh);
    cursor->SetPosition({window.GetX(), window.GetY(), 0});
    cursor->UpdateTransform();
    cursor_ = cursor;
    objects_.Set("cursor", cursor);
    AddChild(cursor);
}

void CPInterface::UpdateBuffers() {
    CPRenderObject& r = *renderObject_;
    r.vertices.clear();
    r.worldVertices.clear();
    r.indices.clear();
    int appended = 0;
    for (const auto& element : elements_) {
        if (!element->IsVisible()) continue;
        if (appended >= kMaxQuads) {
            GetLog().Write(0, "interface %s cut at %d quads\n", GetName().c_str(), kMaxQuads);
            break;
        }
        const CPVertex* quad = element->GetVertices();
        for (int i = 0; i < 4; ++i) {
            CPVertex v = quad[i];
            v.position.x += element->GetX();
            v.position.y += element->GetY();
            r.vertices.push_back(v);
        }
        const CPIndex* indices = element->GetIndices();
        for (int i = 0; i < 6; ++i) r.indices.push_back(static_cast<CPIndex>(indices[i] + 4 * appended));
        ++appended;
    }
    r.worldVertices = r.vertices;
}

void CPInterface::Activate(int priority) {
    interfaceActive_ = true;
    int x = static_cast<int>(cursorX_), y = static_cast<int>(cursorY_);
    if (CNInput* input = GetInput()) input->GetMousePosition(x, y);
    InterfacesMouseMove(static_cast<float>(x), static_cast<float>(y));
    CPGameObject::Activate(priority);
}

void CPInterface::SilentActivate(int priority) {
    interfaceActive_ = true;
    CPGameObject::Activate(priority);
}

void CPInterface::Deactivate() {
    interfaceActive_ = false;
    CPGameObject::Deactivate();
}

void CPInterface::Draw() {
    if (CPRender* render = GetRender()) {
        if (lit_ && render->GetLightCount() < CPRender::kMaxLights) render->AddLight(light_);
        if (render->GetDynamicRenderBlock()) render->GetDynamicRenderBlock()->DrawDynamicObject(this);
    }
}

bool CPInterface::IsButton(const CPWindow* element) const {
    return element && std::any_of(buttons_.begin(), buttons_.end(), [&](const auto& b) { return b.Get() == element; });
}

void CPInterface::MouseMove(float x, float y) {
    cursorX_ = x, cursorY_ = y;
    if (!interfaceActive_ || !cursor_) return;
    cursor_->SetPosition({x, y, 0});
    cursor_->UpdateTransform();
    HoverAt(x, y, true);
}

// Steps 3 and 4 of a move: the old element left, the first one under the point hovered. With the
// mouse (stay) the new element stays hovered whatever its Over answers.
void CPInterface::HoverAt(float x, float y, bool stay) {
    bool rebuild = false;
    if (hovered_ && !hovered_->HitTest(x, y)) {
        rebuild = hovered_->Out(x, y);
        hovered_.Reset();
    }
    for (const auto& element : elements_) {
        if (!element->IsEnabled() || !element->IsVisible() || !element->HitTest(x, y)) continue;
        // Overlapping elements: the one left behind is told before another takes the hover; a
        // button left untold would stay lit beside the new one, its "out" never sent.
        if (hovered_ && hovered_ != element) {
            rebuild |= hovered_->Out(x, y);
            hovered_.Reset();
        }
        const bool over = element->Over(x, y);
        if (over || stay) hovered_ = element;
        else hovered_.Reset();
        if (over) {
            UpdateBuffers();
            return;
        }
        break;
    }
    if (rebuild) UpdateBuffers();
}

void CPInterface::HoverAt(float x, float y) { HoverAt(x, y, false); }

void CPInterface::MouseDown(int button, float x, float y) {
    if (hovered_ && hovered_->Down(button, x, y)) UpdateBuffers();
}

void CPInterface::MouseUp(int button, float x, float y) {
    SendToOwner("mouse_released", "");
    if (hovered_ && hovered_->Click(button, x, y)) UpdateBuffers();
}

void CPInterface::MenuUp() {
    if (interfaceActive_) SendToOwner("menu_up", "");
}
void CPInterface::MenuDown() {
    if (interfaceActive_) SendToOwner("menu_down", "");
}
void CPInterface::MenuLeft() {
    if (interfaceActive_) SendToOwner("menu_left", "");
}
void CPInterface::MenuRight() {
    if (interfaceActive_) SendToOwner("menu_right", "");
}

void CPInterface::EnterDown() {
    if (!interfaceActive_ || !IsButton(hovered_.Get())) return;
    CPWindow* b = hovered_.Get();
    if (b->Down(0, b->GetX() + 1, b->GetY() + 1)) UpdateBuffers();
}

void CPInterface::EnterUp() {
    if (!interfaceActive_ || !IsButton(hovered_.Get())) return;
    CPWindow* b = hovered_.Get();
    if (b->Click(0, b->GetX() + 1, b->GetY() + 1)) UpdateBuffers();
}

void CPInterface::Focus(int step) {
    if (!interfaceActive_ || buttons_.empty()) return;
    const int n = static_cast<int>(buttons_.size());
    int start = step > 0 ? -1 : n; // the first (or last) button when nothing of the list is hovered
    for (int i = 0; i < n; ++i)
        if (buttons_[i].Get() == hovered_.Get()) start = i;
    for (int k = 1; k <= n; ++k) {
        const int i = ((start + step * k) % n + n) % n;
        CPButton* b = buttons_[i].Get();
        if (!b->IsEnabled() || !b->IsVisible()) continue;
        HoverAt(b->GetX() + 1, b->GetY() + 1);
        return;
    }
}

void CPInterface::FocusNext() { Focus(1); }
void CPInterface::FocusPrev() { Focus(-1); }

CPWindow* CPInterface::FindElement(const std::string& name) const {
    const CPRefPtr<CPWindow>* e = elementMap_.Find(name);
    return e ? e->Get() : nullptr;
}

// From the button list, where a later button of the name wins: a later element of another kind may
// carry a button's name in the element map.
CPButton* CPInterface::FindButton(const std::string& name) const {
    for (auto it = buttons_.rbegin(); it != buttons_.rend(); ++it)
        if ((*it)->GetName() == name) return it->Get();
    return nullptr;
}

CPEditBox* CPInterface::FindEditBox(const std::string& name) const {
    const CPRefPtr<CPEditBox>* e = editBoxes_.Find(name);
    return e ? e->Get() : nullptr;
}

CPInterfaceText* CPInterface::FindText(const std::string& name) { return texts_.Find(name); }

void CPInterface::SetCursor(const std::string& name) {
    if (cursor_) cursor_->SetVisible(false);
    cursor_ = objects_[name];
    cursorName_ = name;
    if (cursor_) {
        cursor_->SetVisible(true);
        cursor_->SetPosition({cursorX_, cursorY_, 0});
        cursor_->UpdateTransform();
    }
}
