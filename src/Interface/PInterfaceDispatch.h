#pragma once
// The dispatch of the input system's events over the interface screens: each function calls the
// handler of the same name on every interface of the list, in list order. The cursor functions
// first tell the category "interface" where the cursor is.
#include <list>

#include "Input/NInput.h"

// What an interface screen answers; the screens implement it.
class CPInterfaceHandlers {
public:
    virtual ~CPInterfaceHandlers() = default;
    virtual void OnMouseMove(float x, float y) = 0;
    virtual void OnMouseDown(int button, float x, float y) = 0;
    virtual void OnMouseUp(int button, float x, float y) = 0;
    virtual void OnMenuUp() = 0;
    virtual void OnMenuDown() = 0;
    virtual void OnMenuLeft() = 0;
    virtual void OnMenuRight() = 0;
    virtual void OnEnterDown() = 0;
    virtual void OnEnterUp() = 0;
    virtual void OnFocusNext() = 0;
    virtual void OnFocusPrev() = 0;
};

// Every interface, in creation order.
std::list<CPInterfaceHandlers*>& GetInterfaceList();

// Sends "mouse_move" (x / screenWidth, y / screenHeight) and "mouse_move2" (x, y in pixels) to the
// category "interface", then moves the cursor on every interface.
void InterfacesMouseMove(float x, float y);
void InterfacesMouseDown(int button, float x, float y);
void InterfacesMouseUp(int button, float x, float y);
void InterfacesMenuUp();
void InterfacesMenuDown();
void InterfacesMenuLeft();
void InterfacesMenuRight();
void InterfacesEnterDown();
void InterfacesEnterUp();
// Called by the script functions IMenuRight and IMenuLeft.
void InterfacesFocusNext();
void InterfacesFocusPrev();

// The input system's view of the functions above.
class CPInterfaceDispatch final : public CNInterfaceDispatch {
public:
    void MouseMove(float x, float y) override { InterfacesMouseMove(x, y); }
    void MouseDown(int button, float x, float y) override { InterfacesMouseDown(button, x, y); }
    void MouseUp(int button, float x, float y) override { InterfacesMouseUp(button, x, y); }
    void MenuDown() override { InterfacesMenuDown(); }
    void MenuUp() override { InterfacesMenuUp(); }
    void MenuLeft() override { InterfacesMenuLeft(); }
    void MenuRight() override { InterfacesMenuRight(); }
    void EnterDown() override { InterfacesEnterDown(); }
    void EnterUp() override { InterfacesEnterUp(); }
};
