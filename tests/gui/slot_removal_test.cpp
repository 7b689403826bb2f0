#include "gui/window_fixture.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTreeView>

namespace quellomir::testing {
namespace {

class SlotRemoval : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        store("ListView1", "/one/");
        store("ListView2", "/two/");
    }
    static void select(Form1& window, const char* list) {
        auto* view = window.findChild<QTreeView*>(QString::fromLatin1(list));
        view->selectionModel()->select(view->model()->index(0, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
};

TEST_F(SlotRemoval, DoubleClickRemovesTheSelectedRowButNotTheStoredFolder) {
    Form1& window = start();
    select(window, "ListView2");
    window.ListView2_DblClick();
    EXPECT_EQ(window.folder2().count(), 0);
    EXPECT_EQ(window.folder1().count(), 1);
    EXPECT_EQ(stored("ListView2"), QStringLiteral("/two/"));

    window.PushButton5_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Please select two folders to compare."));
}

TEST_F(SlotRemoval, DeleteKeyRemovesOtherKeysDoNot) {
    Form1& window = start();
    select(window, "ListView1");
    window.ListView1_KeyDown(45, 0);
    EXPECT_EQ(window.folder1().count(), 1);
    window.ListView1_KeyDown(46, 0);
    EXPECT_EQ(window.folder1().count(), 0);
}

TEST_F(SlotRemoval, RealDeleteKeyPressRemovesTheRowOtherKeysAndTheFullStopDoNot) {
    Form1& window = start();
    select(window, "ListView2");
    auto* list = window.findChild<QTreeView*>(QStringLiteral("ListView2"));
    // Qt's "." (on the number pad too) is 46, the Delete key's code in the handlers' terms.
    for (Qt::KeyboardModifier pad : {Qt::NoModifier, Qt::KeypadModifier})
        for (int key : {int(Qt::Key_Period), int(Qt::Key_N), int(Qt::Key_Delete)}) {
            QKeyEvent press(QEvent::KeyPress, key, pad, QKeySequence(key).toString());
            QApplication::sendEvent(list, &press);
            EXPECT_EQ(window.folder2().count(), key == Qt::Key_Delete ? 0 : 1) << key;
            if (window.folder2().count() == 0) window.folder2().add(QStringLiteral("/two/"));
            select(window, "ListView2");
        }
}

TEST_F(SlotRemoval, NothingIsRemovedWithoutSelectionOrUnderTheBusyCursor) {
    Form1& window = start();
    window.ListView1_DblClick(); // nothing selected
    EXPECT_EQ(window.folder1().count(), 1);
    select(window, "ListView1");
    window.setCursorSetting(CursorSetting::Busy);
    window.ListView1_DblClick();
    window.ListView1_KeyDown(46, 0);
    EXPECT_EQ(window.folder1().count(), 1);
}

} // namespace
} // namespace quellomir::testing
