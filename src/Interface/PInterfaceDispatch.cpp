#include "Interface/PInterfaceDispatch.h"

#include <cstdio>
#include <vector>

#include "Core/PScriptManager.h"
#include "Core/PSettings.h"

namespace {

// A handler may change the list (an interface closing itself): walk a copy.
template <typename F>
void ForEach(F&& f) {
    std::vector<CPInterfaceHandlers*> copy(GetInterfaceList().begin(), GetInterfaceList().end());
    for (CPInterfaceHandlers* handlers : copy) f(*handlers);
}

} // namespace

std::list<CPInterfaceHandlers*>& GetInterfaceList() {
    static std::list<CPInterfaceHandlers*> list;
    return list;
}

void InterfacesMouseMove(float x, float y) {
    if (CPScriptManager* scripts = GetScriptManager()) {
        char text[96];
        std::snprintf(text, sizeof(text), "%f,%f", x / static_cast<float>(g_screenWidth),
                      y / static_cast<float>(g_screenHeight));
        scripts->SendCommandByCategory("interface", "mouse_move", text);
        std::snprintf(text, sizeof(text), "%f,%f", x, y);
        scripts->SendCommandByCategory("interface", "mouse_move2", text);
    }
    ForEach([&](CPInterfaceHandlers& h) { h.OnMouseMove(x, y); });
}

void InterfacesMouseDown(int button, float x, float y) {
    ForEach([&](CPInterfaceHandlers& h) { h.OnMouseDown(button, x, y); });
}
void InterfacesMouseUp(int button, float x, float y) {
    ForEach([&](CPInterfaceHandlers& h) { h.OnMouseUp(button, x, y); });
}
void InterfacesMenuUp() {
    ForEach([](CPInterfaceHandlers& h) { h.OnMenuUp(); });
}
void InterfacesMenuDown() {
    ForEach([](CPInterfaceHandlers& h) { h.OnMenuDown(); });
}
void InterfacesMenuLeft() {
    ForEach([](CPInterfaceHandlers& h) { h.OnMenuLeft(); });
}
void InterfacesMenuRight() {
    ForEach([](CPInterfaceHandlers& h) { h.OnMenuRight(); });
}
void InterfacesEnterDown() {
    ForEach([](CPInterfaceHandlers& h) { h.OnEnterDown(); });
}
void InterfacesEnterUp() {
    ForEach([](CPInterfaceHandlers& h) { h.OnEnterUp(); });
}
void InterfacesFocusNext() {
    ForEach([](CPInterfaceHandlers& h) { h.OnFocusNext(); });
}
void InterfacesFocusPrev() {
    ForEach([](CPInterfaceHandlers& h) { h.OnFocusPrev(); });
}
