#include "platform/linux/ApplicationActivationsLinux.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/ChildProcess.h"
#include "support/QtTestSupport.h"
#include "support/TestEnvironment.h"

// X11 defines macros (None, Status, Bool, ...) that break other headers: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace quillfen {
namespace {

using test::VirtualDisplay;

// The test plays the window manager: it makes windows and names the active one on the root.
class WindowManagerPlay {
public:
    explicit WindowManagerPlay(const std::string& displayName) : display_(XOpenDisplay(displayName.c_str())) {
        EXPECT_NE(display_, nullptr);
        activeAtom_ = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    }
    ~WindowManagerPlay() { XCloseDisplay(display_); }

    // An empty class leaves the window without WM_CLASS.
    Window window(const std::string& applicationClass) {
        Window w = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 10, 10, 0, 0, 0);
        if (!applicationClass.empty()) {
            std::string name = applicationClass + "-instance";
            XClassHint hint{name.data(), const_cast<char*>(applicationClass.c_str())};
            XSetClassHint(display_, w, &hint);
        }
        XFlush(display_);
        return w;
    }

    void activate(Window w) {
        unsigned long value = w;
        XChangeProperty(display_, DefaultRootWindow(display_), activeAtom_, XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&value), 1);
        XFlush(display_);
    }

private:
    Display* display_;
    Atom activeAtom_;
};

TEST(ApplicationActivationsLinux, CountsAChangeOfTheActiveApplication) {
    VirtualDisplay display;
    WindowManagerPlay wm(display.name());
    Window editor = wm.window("Editor");
    Window editorSecond = wm.window("Editor");
    Window browser = wm.window("Browser");
    Window unnamed = wm.window("");

    auto activations = makeX11ApplicationActivations(display.name());
    ASSERT_NE(activations, nullptr);
    int count = 0;
    auto subscription = activations->subscribe([&] { ++count; });
    auto reaches = [&](int expected) {
        return test::spinUntil([&] { return count >= expected; }) && count == expected;
    };

    wm.activate(editor);
    EXPECT_TRUE(reaches(1));
    wm.activate(editorSecond);  // another window of the same application
    wm.activate(browser);
    EXPECT_TRUE(reaches(2));
    wm.activate(None);  // nothing active for a moment
    wm.activate(browser);
    wm.activate(editor);
    EXPECT_TRUE(reaches(3));
    wm.activate(unnamed);
    EXPECT_TRUE(reaches(4));

    subscription.reset();
    wm.activate(browser);
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(count, 4);
}

TEST(ApplicationActivationsLinux, TheWindowActiveAtStartIsNoSwitch) {
    VirtualDisplay display;
    WindowManagerPlay wm(display.name());
    Window editor = wm.window("Editor");
    Window browser = wm.window("Browser");
    wm.activate(editor);

    auto activations = makeX11ApplicationActivations(display.name());
    int count = 0;
    auto subscription = activations->subscribe([&] { ++count; });
    wm.activate(editor);
    wm.activate(browser);
    EXPECT_TRUE(test::spinUntil([&] { return count >= 1; }));
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(count, 1);
}

TEST(ApplicationActivationsLinux, WithoutAnXServerNothingIsWatched) {
    EXPECT_EQ(makeX11ApplicationActivations(":65000"), nullptr);
    test::ScopedEnv noDisplay("DISPLAY", std::nullopt);
    auto silent = makeApplicationActivations(ApplicationActivationsParts{
        SessionType::x11, nullptr, QDBusConnection(QStringLiteral("quillfen-no-bus")), {}});
    ASSERT_NE(silent, nullptr);
    auto subscription = silent->subscribe([] { FAIL() << "no session signal to hear"; });
}

}  // namespace
}  // namespace quillfen
