#pragma once
// A menu screen or heads-up display, loaded from "Data\Interface\<name>1024.int": textured windows,
// three-state buttons, edit boxes, bitmap-font texts and an optional cursor, all sharing one texture
// and drawn as one render object in a screen layer. The input system feeds every interface the
// cursor, the mouse buttons, the arrow keys and Enter through the dispatch functions below; the
// interface answers with hover states and commands to its owner script or to the category
// "interface".
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PHashMap.h"
#include "Core/PManagedObject.h"
#include "Core/PTextReader.h"
#include "Interface/PInterfaceDispatch.h"
#include "Render/PLight.h"
#include "Render/PRenderObject.h"
#include "Render/PVertex.h"

class CPInterface;

// The horizontal and vertical factors from the 1024 x 768 frame to the screen.
float ScreenScaleX();
float ScreenScaleY();

// A textured rectangle of an interface.
class CPWindow : public CPManagedObject {
public:
    explicit CPWindow(CPInterface* owner);
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPWindow"; }

    virtual void SetEnabled(bool enabled) { enabled_ = enabled; }
    // Inclusive bounds from corner 0 to corners 1 (x) and 2 (y), moved by the position.
    virtual bool HitTest(float x, float y) const;
    // The quad from numbers in frame pixels and texels, scaled as the file's are; made visible.
    virtual void InitQuad(const std::string& name, float texWidth, float texHeight, float x, float y, float w, float h,
                          float u, float v, float du, float dv);
    // Reads the next line as a window definition; false when the lines ran out.
    virtual bool Parse(CPTextReader& stream, float texWidth, float texHeight);
    virtual const CPVertex* GetVertices() const { return quad_; }
    virtual const CPIndex* GetIndices() const { return indices_; }
    virtual void SetVisible(bool visible) { visible_ = visible; }
    // A true answer asks the interface to rebuild its buffers.
    virtual bool Over(float x, float y);
    virtual bool Out(float x, float y);
    virtual bool Down(int button, float x, float y);
    virtual bool Click(int button, float x, float y);

    const std::string& GetName() const { return name_; }
    bool IsVisible() const { return visible_; }
    bool IsEnabled() const { return enabled_; }
    float GetX() const { return x_; }
    float GetY() const { return y_; }
    void SetPosition(float x, float y) { x_ = x, y_ = y; }
    // The quad's corners become (0, 0), (w, 0), (w, h), (0, h), unscaled.
    void SetSize(float w, float h);
    CPInterface* GetOwner() const { return owner_; }

protected:
    // Sets the quad, the name and the position from one definition's numbers (already scaled).
    void SetQuad(const std::string& name, float x, float y, float w, float h, float u, float v, float du, float dv);

    CPInterface* owner_; // no reference: the interface holds its windows
    CPVertex quad_[4];
    CPIndex indices_[6] = {0, 1, 2, 0, 2, 3};
    std::string name_;
    bool visible_ = true;
    bool enabled_ = true;
    float x_ = 0, y_ = 0;
};

// A window with normal, over and pressed state windows.
class CPButton : public CPWindow {
public:
    enum State { Normal = 0, Hovered = 1, Pressed = 2 };
    explicit CPButton(CPInterface* owner) : CPWindow(owner) {}
    const char* GetTypeName() const override { return "CPButton"; }

    void SetEnabled(bool enabled) override;
    bool HitTest(float x, float y) const override;
    bool Parse(CPTextReader& stream, float texWidth, float texHeight) override;
    const CPVertex* GetVertices() const override;
    const CPIndex* GetIndices() const override;
    void SetVisible(bool visible) override;
    bool Over(float x, float y) override;
    bool Out(float x, float y) override;
    bool Down(int button, float x, float y) override;
    bool Click(int button, float x, float y) override;

    int GetState() const { return state_; }
    CPWindow* GetStateWindow(int state) const { return states_[state].Get(); }

private:
    CPWindow* Current() const;

    CPRefPtr<CPWindow> states_[3];
    int state_ = Normal;
};

// A text-entry box: its text object shows the text followed by "_".
class CPEditBox : public CPManagedObject {
public:
    CPEditBox(const CPRefPtr<CPGameObject>& textObject, const std::string& font, float x, float y, int maxLength);
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPEditBox"; }

    // Sets the text and rebuilds the display.
    void SetText(const std::string& text);
    const std::string& GetText() const { return text_; }
    int GetMaxLength() const { return maxLength_; }
    // Shows the text followed by "_" through the font manager.
    void Redraw();

private:
    CPRefPtr<CPGameObject> textObject_;
    std::string font_;
    float x_, y_;
    std::string text_;
    int maxLength_;
};

// A named text of an interface.
struct CPInterfaceText {
    CPRefPtr<CPGameObject> object;
    std::string font;
    float x = 0, y = 0;
};

class CPInterface : public CPGameObject, public CPInterfaceHandlers {
public:
    CPInterface();
    ~CPInterface() override;
    int GetObjectSize() const override { return sizeof(*this); }
    // "CPInterface - " followed by the name.
    const char* GetTypeName() const override { return typeName_.c_str(); }

    // Sets active, sends the cursor to every interface, then activates as a game object.
    void Activate(int priority) override;
    void Deactivate() override;
    virtual void Load(const std::string& name, int layerOffset);
    // Queues the light (while the renderer has room), the interface and its children for this frame.
    virtual void Draw();
    // Activate without the cursor step.
    virtual void SilentActivate(int priority);

    // Rebuilds the render object from the visible elements.
    void UpdateBuffers();

    // Input handlers.
    void MouseMove(float x, float y);
    void MouseDown(int button, float x, float y);
    void MouseUp(int button, float x, float y);
    void MenuUp();
    void MenuDown();
    void MenuLeft();
    void MenuRight();
    void EnterDown();
    void EnterUp();
    void FocusNext();
    void FocusPrev();
    void HoverAt(float x, float y);

    // The dispatch's view of the handlers above.
    void OnMouseMove(float x, float y) override { MouseMove(x, y); }
    void OnMouseDown(int button, float x, float y) override { MouseDown(button, x, y); }
    void OnMouseUp(int button, float x, float y) override { MouseUp(button, x, y); }
    void OnMenuUp() override { MenuUp(); }
    void OnMenuDown() override { MenuDown(); }
    void OnMenuLeft() override { MenuLeft(); }
    void OnMenuRight() override { MenuRight(); }
    void OnEnterDown() override { EnterDown(); }
    void OnEnterUp() override { EnterUp(); }
    void OnFocusNext() override { FocusNext(); }
    void OnFocusPrev() override { FocusPrev(); }

    // Commands to the owner script.
    void SendToOwner(const char* command, const std::string& params) const;

    bool IsInterfaceActive() const { return interfaceActive_; }
    CPWindow* FindElement(const std::string& name) const;
    // True when the element is one of the interface's buttons.
    bool IsButton(const CPWindow* element) const;
    CPButton* FindButton(const std::string& name) const;
    CPEditBox* FindEditBox(const std::string& name) const;
    CPInterfaceText* FindText(const std::string& name);
    const std::vector<CPRefPtr<CPWindow>>& GetElements() const { return elements_; }
    const std::vector<CPRefPtr<CPButton>>& GetButtons() const { return buttons_; }
    CPWindow* GetHovered() const { return hovered_.Get(); }
    // Drops the hover (DeselectCurrentButton, LockButton).
    void ClearHovered() { hovered_.Reset(); }
    CPGameObject* GetCursor() const { return cursor_.Get(); }
    const std::string& GetCursorName() const { return cursorName_; }
    // The object of that name becomes the cursor (SetCursor); see the script function.
    void SetCursor(const std::string& name);
    float GetCursorX() const { return cursorX_; }
    float GetCursorY() const { return cursorY_; }
    CPRenderObject* GetRenderObject() const { return renderObject_.Get(); }
    bool IsLit() const { return lit_; }
    const LightRecord& GetLight() const { return light_; }

private:
    void ReadElements(CPTextReader& reader, float texWidth, float texHeight);
    CPRefPtr<CPGameObject> MakeTextObject();
    void MakeCursor(const CPWindow& window);
    void HoverAt(float x, float y, bool stay);
    void Focus(int step);

    std::string typeName_ = "CPInterface - Interface";
    CPRefPtr<CPRenderObject> renderObject_;
    CPHashMap<CPRefPtr<CPWindow>> elementMap_{100};
    std::vector<CPRefPtr<CPWindow>> elements_;
    std::vector<CPRefPtr<CPButton>> buttons_;
    CPHashMap<CPRefPtr<CPEditBox>> editBoxes_{100};
    CPRefPtr<CPWindow> hovered_;
    CPHashMap<CPInterfaceText> texts_{100};
    bool lit_ = false;
    LightRecord light_;
    CPRefPtr<CPGameObject> cursor_;
    CPHashMap<CPRefPtr<CPGameObject>> objects_{100};
    std::string cursorName_;
    bool interfaceActive_ = false;
    float cursorX_ = 0, cursorY_ = 0;
    std::string textureName_;
    int layerOffset_ = 0;
};
