#include "Platform/GtkDialogs.h"

#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Platform {

namespace {

// A control of a template: where it sits in dialog units and what it is.
enum class ControlKind { Button, DefaultButton, CheckBox, DropDown, Label, Group, WebHost };
struct ControlTemplate {
    int id; // 0 for static controls
    ControlKind kind;
    const char* text;
    int x, y, width, height;
};
struct DialogTemplateData {
    int width, height;
    const char* caption; // null: no caption bar
    std::vector<ControlTemplate> controls;
};

const DialogTemplateData& TemplateFor(int dialogTemplate) {
    static const DialogTemplateData launcher{
        443,
        331,
        nullptr,
        {
            {ControlWebHost, ControlKind::WebHost, "", 7, 7, 429, 298},
            {ControlStartFullScreen, ControlKind::Button, "Start in fullscreen mode", 7, 311, 102, 14},
            {ControlStartWindowed, ControlKind::Button, "Start in windowed mode", 116, 311, 102, 14},
            {ControlOptions, ControlKind::Button, "Options", 225, 311, 102, 14},
            {ControlExit, ControlKind::Button, "Exit", 334, 311, 102, 14},
        }};
    static const DialogTemplateData options{
        186,
        81,
        "Options",
        {
            {0, ControlKind::Group, "Video", 7, 4, 172, 52},
            {0, ControlKind::Label, "Screen Resolution", 14, 18, 66, 10},
            {ControlResolution, ControlKind::DropDown, "", 82, 16, 90, 13},
            {ControlMotionBlur, ControlKind::CheckBox, "Motion Blur", 14, 36, 62, 10},
            {ControlBloom, ControlKind::CheckBox, "Bloom", 82, 36, 62, 10},
            {ControlOk, ControlKind::DefaultButton, "OK", 75, 61, 50, 14},
            {ControlCancel, ControlKind::Button, "Cancel", 129, 61, 50, 14},
        }};
    return dialogTemplate == OptionsDialog ? options : launcher;
}

bool StartGtk() {
    static const bool started = [] {
        // The process keeps the "C" numeric locale: GTK must not set the user's.
        gtk_disable_setlocale();
        if (!gtk_init_check(nullptr, nullptr)) return false;
        // The templates' font is an 8-point sans serif; the web host is black until a page shows.
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(css,
                                        ".vastrel-dialog, .vastrel-dialog * { font: 8pt Sans; }\n"
                                        ".vastrel-web-host { background-color: black; }\n",
                                        -1, nullptr);
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(css);
        return true;
    }();
    return started;
}

// The base units of the dialog font, measured the way the templates' units are defined: the
// average width of the 52 Latin letters, and the line height.
DialogBaseUnits MeasureBaseUnits(GtkWidget* window) {
    DialogBaseUnits base;
    PangoLayout* layout =
        gtk_widget_create_pango_layout(window, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    if (width > 0 && height > 0) {
        base.x = (width / 26 + 1) / 2;
        base.y = height;
    }
    return base;
}

class GtkDialog final : public Dialog {
public:
    GtkDialog(int dialogTemplate, const DialogProc& proc, GtkWindow* owner)
        : template_(TemplateFor(dialogTemplate)), proc_(proc) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_style_context_add_class(gtk_widget_get_style_context(window_), "vastrel-dialog");
        gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
        if (owner) {
            gtk_window_set_transient_for(GTK_WINDOW(window_), owner);
            gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
        }
        const DialogBaseUnits base = MeasureBaseUnits(window_);
        GtkWidget* fixed = gtk_fixed_new();
        gtk_widget_set_size_request(fixed, DialogUnitsToPixelsX(template_.width, base),
                                    DialogUnitsToPixelsY(template_.height, base));
        if (template_.caption) {
            gtk_window_set_title(GTK_WINDOW(window_), template_.caption);
            gtk_container_add(GTK_CONTAINER(window_), fixed);
        } else {
            // A pop-up with a thin border and no caption bar.
            gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
            GtkWidget* border = gtk_frame_new(nullptr);
            gtk_frame_set_shadow_type(GTK_FRAME(border), GTK_SHADOW_OUT);
            gtk_container_add(GTK_CONTAINER(border), fixed);
            gtk_container_add(GTK_CONTAINER(window_), border);
        }
        for (const ControlTemplate& c : template_.controls) {
            GtkWidget* w = MakeControl(c);
            gtk_widget_set_size_request(w, DialogUnitsToPixelsX(c.width, base), DialogUnitsToPixelsY(c.height, base));
            gtk_fixed_put(GTK_FIXED(fixed), w, DialogUnitsToPixelsX(c.x, base), DialogUnitsToPixelsY(c.y, base));
            if (c.id) controls_[c.id] = w;
            if (c.kind == ControlKind::DefaultButton) {
                gtk_widget_set_can_default(w, TRUE);
                gtk_window_set_default(GTK_WINDOW(window_), w);
            }
        }
        g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
        g_signal_connect(window_, "key-press-event", G_CALLBACK(OnKey), this);
    }

    ~GtkDialog() override {
        if (loop_) g_main_loop_unref(loop_);
        gtk_widget_destroy(window_);
        // Let the window go from the screen before anything else opens.
        while (gtk_events_pending()) gtk_main_iteration();
    }

    int Run() {
        proc_(*this, DialogMessage::Init, 0);
        if (ended_) return result_;
        gtk_widget_show_all(window_);
        if (webView_) gtk_widget_show(webView_);
        // Keyboard focus starts on the first button, as in the templates' tab order.
        for (const ControlTemplate& c : template_.controls) {
            if (c.kind == ControlKind::Button || c.kind == ControlKind::DefaultButton) {
                gtk_widget_grab_focus(controls_[c.id]);
                break;
            }
        }
        loop_ = g_main_loop_new(nullptr, FALSE);
        g_main_loop_run(loop_);
        return result_;
    }

    void SetCaption(const std::string& text) override { gtk_window_set_title(GTK_WINDOW(window_), text.c_str()); }
    void CentreOnScreen() override { gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER); }
    void End(int result) override {
        if (ended_) return;
        ended_ = true;
        result_ = result;
        if (loop_) g_main_loop_quit(loop_);
    }
    void SetChecked(int control, bool checked) override {
        GtkWidget* w = Find(control);
        if (!w || !GTK_IS_TOGGLE_BUTTON(w)) return;
        settingFromCode_ = true;
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), checked);
        settingFromCode_ = false;
    }
    bool IsChecked(int control) const override {
        GtkWidget* w = Find(control);
        return w && GTK_IS_TOGGLE_BUTTON(w) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w));
    }
    void AddListItem(int control, const std::string& text, int data) override {
        GtkWidget* w = Find(control);
        if (!w || !GTK_IS_COMBO_BOX_TEXT(w)) return;
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(w), text.c_str());
        itemData_[control].push_back(data);
    }
    void SelectListItem(int control, int index) override {
        GtkWidget* w = Find(control);
        const auto it = itemData_.find(control);
        if (!w || !GTK_IS_COMBO_BOX(w) || it == itemData_.end()) return;
        if (index >= 0 && index < static_cast<int>(it->second.size()))
            gtk_combo_box_set_active(GTK_COMBO_BOX(w), index);
    }
    int SelectedListItem(int control) const override {
        GtkWidget* w = Find(control);
        return w && GTK_IS_COMBO_BOX(w) ? gtk_combo_box_get_active(GTK_COMBO_BOX(w)) : -1;
    }
    int ListItemData(int control, int index) const override {
        const auto it = itemData_.find(control);
        if (it == itemData_.end() || index < 0 || index >= static_cast<int>(it->second.size())) return -1;
        return it->second[index];
    }
    bool ShowWebPage(int control, const std::string& file) override {
        GtkWidget* host = Find(control);
        if (!host || !GTK_IS_OVERLAY(host) || webView_) return false;
        if (file.empty() || access(file.c_str(), R_OK) != 0) return false;
        char* path = realpath(file.c_str(), nullptr);
        if (!path) return false;
        gchar* uri = g_filename_to_uri(path, nullptr, nullptr);
        free(path);
        if (!uri) return false;
        webView_ = webkit_web_view_new();
        if (!webView_) {
            g_free(uri);
            return false;
        }
        const GdkRGBA black{0, 0, 0, 1};
        webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(webView_), &black);
        // A web process that dies takes the page with it; the black area shows again.
        g_signal_connect(webView_, "web-process-terminated", G_CALLBACK(OnWebProcessGone), nullptr);
        gtk_overlay_add_overlay(GTK_OVERLAY(host), webView_);
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(webView_), uri);
        g_free(uri);
        return true;
    }
    int RunChild(int dialogTemplate, const DialogProc& proc) override {
        GtkDialog child(dialogTemplate, proc, GTK_WINDOW(window_));
        return child.Run();
    }

private:
    GtkWidget* Find(int control) const {
        const auto it = controls_.find(control);
        return it == controls_.end() ? nullptr : it->second;
    }

    GtkWidget* MakeControl(const ControlTemplate& c) {
        switch (c.kind) {
        case ControlKind::Button:
        case ControlKind::DefaultButton: {
            GtkWidget* w = gtk_button_new_with_label(c.text);
            g_object_set_data(G_OBJECT(w), "vastrel-id", GINT_TO_POINTER(c.id));
            g_signal_connect(w, "clicked", G_CALLBACK(OnCommand), this);
            return w;
        }
        case ControlKind::CheckBox: {
            GtkWidget* w = gtk_check_button_new_with_label(c.text);
            g_object_set_data(G_OBJECT(w), "vastrel-id", GINT_TO_POINTER(c.id));
            g_signal_connect(w, "toggled", G_CALLBACK(OnCommand), this);
            return w;
        }
        case ControlKind::DropDown: return gtk_combo_box_text_new();
        case ControlKind::Label: {
            GtkWidget* w = gtk_label_new(c.text);
            gtk_label_set_xalign(GTK_LABEL(w), 0);
            return w;
        }
        case ControlKind::Group: return gtk_frame_new(c.text);
        case ControlKind::WebHost: {
            GtkWidget* black = gtk_event_box_new();
            gtk_style_context_add_class(gtk_widget_get_style_context(black), "vastrel-web-host");
            GtkWidget* overlay = gtk_overlay_new();
            gtk_container_add(GTK_CONTAINER(overlay), black);
            return overlay;
        }
        }
        return gtk_label_new("");
    }

    static void OnCommand(GtkWidget* widget, gpointer self) {
        auto* dialog = static_cast<GtkDialog*>(self);
        if (dialog->settingFromCode_ || dialog->ended_) return;
        dialog->proc_(*dialog, DialogMessage::Command,
                      GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "vastrel-id")));
    }
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
        auto* dialog = static_cast<GtkDialog*>(self);
        if (!dialog->ended_) dialog->proc_(*dialog, DialogMessage::Close, 0);
        return TRUE; // the window goes when the dialog ends, not before
    }
    // Esc means Cancel in a dialog; the procedure decides what Cancel does.
    static gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer self) {
        auto* dialog = static_cast<GtkDialog*>(self);
        if (event->keyval != GDK_KEY_Escape || dialog->ended_) return FALSE;
        dialog->proc_(*dialog, DialogMessage::Command, ControlCancel);
        return TRUE;
    }
    static void OnWebProcessGone(WebKitWebView* view, WebKitWebProcessTerminationReason, gpointer) {
        gtk_widget_hide(GTK_WIDGET(view));
    }

    const DialogTemplateData& template_;
    DialogProc proc_;
    GtkWidget* window_ = nullptr;
    GtkWidget* webView_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::map<int, GtkWidget*> controls_;
    std::map<int, std::vector<int>> itemData_;
    bool settingFromCode_ = false;
    bool ended_ = false;
    int result_ = 0;
};

} // namespace

int GtkDialogBackend::RunModal(int dialogTemplate, const DialogProc& proc) {
    if (!StartGtk()) return DialogFailed;
    GtkDialog dialog(dialogTemplate, proc, nullptr);
    return dialog.Run();
}

} // namespace Platform
