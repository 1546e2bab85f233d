#include "Platform/GtkDialogs.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Platform/XDisplayFixture.h"

namespace {

using namespace Platform;

TEST(DialogUnits, ToPixels) {
    struct Case {
        int units;
        DialogBaseUnits base;
        int x, y;
    };
    const Case cases[] = {
        {443, {6, 13}, 665, 720}, // 664.5 and 719.875 round to the nearest
        {331, {6, 13}, 497, 538}, {4, {8, 16}, 8, 8},
        {0, {7, 17}, 0, 0},       {-2, {6, 13}, -3, -3}, // halves round away from zero both ways
        {186, {7, 15}, 326, 349},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DialogUnitsToPixelsX(c.units, c.base), c.x) << c.units;
        EXPECT_EQ(DialogUnitsToPixelsY(c.units, c.base), c.y) << c.units;
    }
}

// Without a display the dialog cannot open: the answer says so and nothing waits. Checked in a
// child process, since GTK starts once per process.
TEST(GtkDialogs, NoDisplayAnswersFailure) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("GDK_BACKEND", "x11", 1);
        // A user locale GTK would switch to if it set the locale itself.
        unsetenv("LC_ALL");
        setenv("LANG", "C.UTF-8", 1);
        GtkDialogBackend dialogs;
        bool procRan = false;
        const int answer =
            dialogs.RunModal(LauncherDialog, [&](Dialog&, DialogMessage, int) { return procRan = true; });
        const bool localeKept = std::string(std::setlocale(LC_ALL, nullptr)) == "C";
        _exit(answer == DialogFailed && !procRan && localeKept ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The real GTK launcher on an X display, driven by key presses that xdotool sends through the X
// server.
class GtkLauncherE2E : public XDisplayFixture {
protected:
    GtkLauncherE2E() : XDisplayFixture("1280x1024x24") {}
};

// Saves the screen for people to look at, next to the build's tests.
void SaveScreen(const char* name) {
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
    if (!shot) return;
    gdk_pixbuf_save(shot, (std::string(VASTREL_BINARY_DIR) + "/" + name).c_str(), "png", nullptr, nullptr);
    g_object_unref(shot);
}

// The centre column of the screen as runs of dark and light: "dark light dark light dark" is a
// light dialog on the black root window with a black area inside it.
std::string CentreColumnRuns() {
    GdkWindow* root = gdk_get_default_root_window();
    const int width = gdk_window_get_width(root), height = gdk_window_get_height(root);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(root, width / 2, 0, 1, height);
    if (!shot) return "no screen";
    const guchar* pixels = gdk_pixbuf_get_pixels(shot);
    const int stride = gdk_pixbuf_get_rowstride(shot);
    std::string runs;
    std::string last;
    for (int y = 0; y < height; ++y) {
        const guchar* p = pixels + y * stride;
        const std::string kind = p[0] + p[1] + p[2] < 60 ? "dark" : "light";
        if (kind != last) runs += (runs.empty() ? "" : " ") + kind;
        last = kind;
    }
    g_object_unref(shot);
    return runs;
}

void SendKeys(const std::string& xdotoolArguments) {
    const std::string command = "xdotool " + xdotoolArguments + " >/dev/null 2>&1 &";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

// Ends the dialog with -2 if the keys never arrive, so a broken run fails instead of hanging.
void Watchdog(Dialog& dialog) {
    g_timeout_add_seconds(
        30,
        [](gpointer d) -> gboolean {
            static_cast<Dialog*>(d)->End(-2);
            return G_SOURCE_REMOVE;
        },
        &dialog);
}

TEST_F(GtkLauncherE2E, StartButtonPressedWithTheKeyboard) {
    if (underXvfb_) return;
    GtkDialogBackend dialogs;
    std::vector<int> commands;
    std::string columnRuns;
    const int answer = dialogs.RunModal(LauncherDialog, [&](Dialog& dialog, DialogMessage message, int control) {
        switch (message) {
        case DialogMessage::Init:
            dialog.SetCaption("Vastrel");
            dialog.CentreOnScreen();
            EXPECT_FALSE(dialog.ShowWebPage(ControlWebHost, "no-such-page.html"));
            Watchdog(dialog);
            // Once it is on the screen (looked at every half second, for up to ten seconds on a
            // busy machine): keep a picture, then press Tab and Enter. Focus starts on the first
            // button; Tab moves it to "Start in windowed mode".
            g_timeout_add(
                500,
                [](gpointer runs) -> gboolean {
                    static int looks = 0;
                    auto& seen = *static_cast<std::string*>(runs);
                    seen = CentreColumnRuns();
                    if (seen != "dark light dark light dark" && ++looks < 20) return G_SOURCE_CONTINUE;
                    SaveScreen("gtk-launcher.png");
                    SendKeys("search --sync --onlyvisible --name '^Vastrel$' windowfocus sleep 0.3 key Tab Return");
                    return G_SOURCE_REMOVE;
                },
                &columnRuns);
            return true;
        case DialogMessage::Close: dialog.End(ControlExit); return true;
        case DialogMessage::Command:
            commands.push_back(control);
            if (control == ControlStartWindowed) dialog.End(control);
            return true;
        }
        return false;
    });
    EXPECT_EQ(answer, ControlStartWindowed);
    EXPECT_EQ(commands, std::vector<int>{ControlStartWindowed});
    // The host area stayed black without its page.
    EXPECT_EQ(columnRuns, "dark light dark light dark");
    // GTK left the process's locale alone.
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
    char number[16];
    std::snprintf(number, sizeof number, "%.1f", 1.5);
    EXPECT_STREQ(number, "1.5");
}

TEST_F(GtkLauncherE2E, OptionsOpenOverTheLauncher) {
    if (underXvfb_) return;
    GtkDialogBackend dialogs;
    int optionsAnswer = 0;
    std::vector<int> optionsCommands;
    int selected = -2;
    bool bloomChecked = false;
    const int answer = dialogs.RunModal(LauncherDialog, [&](Dialog& dialog, DialogMessage message, int control) {
        if (message == DialogMessage::Init) {
            dialog.SetCaption("Vastrel");
            Watchdog(dialog);
            // Options is the third button; in Options, Space presses OK, which has the focus.
            SendKeys("search --sync --onlyvisible --name '^Vastrel$' windowfocus sleep 0.3 key Tab Tab Return "
                     "search --sync --onlyvisible --name '^Options$' windowfocus sleep 0.3 key space");
            return true;
        }
        if (message == DialogMessage::Command && control == ControlOptions) {
            optionsAnswer = dialog.RunChild(OptionsDialog, [&](Dialog& options, DialogMessage m, int c) {
                if (m == DialogMessage::Init) {
                    options.AddListItem(ControlResolution, "1024 x 768 x 32", 0);
                    options.AddListItem(ControlResolution, "1280 x 1024 x 32", 1);
                    options.SelectListItem(ControlResolution, 1);
                    options.SetChecked(ControlBloom, true);
                    options.CentreOnScreen();
                    g_timeout_add(
                        800,
                        [](gpointer) -> gboolean {
                            SaveScreen("gtk-options.png");
                            return G_SOURCE_REMOVE;
                        },
                        nullptr);
                    return true;
                }
                if (m == DialogMessage::Command) {
                    optionsCommands.push_back(c);
                    if (c == ControlOk) {
                        selected = options.ListItemData(ControlResolution, options.SelectedListItem(ControlResolution));
                        bloomChecked = options.IsChecked(ControlBloom);
                        options.End(ControlOk);
                    }
                }
                return true;
            });
            dialog.End(ControlOptions);
            return true;
        }
        return message == DialogMessage::Command;
    });
    EXPECT_EQ(answer, ControlOptions);
    EXPECT_EQ(optionsAnswer, ControlOk);
    // Checking Bloom from code sent no command; OK is the only one.
    EXPECT_EQ(optionsCommands, std::vector<int>{ControlOk});
    EXPECT_EQ(selected, 1);
    EXPECT_TRUE(bloomChecked);
}

} // namespace
