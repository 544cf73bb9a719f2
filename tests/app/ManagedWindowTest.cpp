#include "ManagedWindow.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QWidget>

#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

// A released window is deleted later, but never after its slot: its views draw from models that
// the slot's owner holds and takes with it.
TEST(ManagedWindow, AReleasedWindowGoesWithItsSlotAtTheLatest) {
    QPointer<QWidget> hidden, disposed;
    {
        ManagedWindow closing("rhythm"), ending("desktop pane");
        closing.present([] { return new QWidget; });
        ending.present([] { return new QWidget; });
        hidden = closing.window();
        disposed = ending.window();
        closing.hide();
        ending.dispose();
        EXPECT_FALSE(hidden.isNull()) << "the close may come from the window's own handling";
    }
    EXPECT_TRUE(hidden.isNull());
    EXPECT_TRUE(disposed.isNull());
}

}  // namespace
}  // namespace quillfen
