#include "gui/tree_builder.h"
#include "gui/window_fixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeView>

#include <map>

namespace quellomir::testing {
namespace {

// The controls in the order Tab visits them, starting from the one that has the focus
// when the window opens.
const QStringList TabOrder = {"ListView3",   "ListView1",    "ListView2",   "PushButton3", "PushButton1",
                              "PushButton2", "PushButton4",  "PushButton5", "PushButton7", "PushButton8",
                              "PushButton6", "PushButton13", "PushButton9"};

class Keyboard : public WindowTest {
  protected:
    // Shows the window and makes it the active one, so keys reach its focused control.
    Form1& shown() {
        Form1& window = start();
        window.show();
        window.activateWindow();
        for (int i = 0; i < 100 && QApplication::activeWindow() != &window; ++i)
            QCoreApplication::processEvents();
        return window;
    }

    // A key typed on the keyboard: pressed and released on the control that has the focus.
    static void type(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
        QWidget* target = QApplication::focusWidget();
        if (!target) throw std::runtime_error("no control has the keyboard focus");
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(target, &release);
    }
    static void space() { type(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" ")); }

    static QString focused() {
        const QWidget* widget = QApplication::focusWidget();
        return widget ? widget->objectName() : QStringLiteral("<nothing>");
    }

    static QStringList ticks(Form1& window) {
        QStringList result;
        for (int n = 1; n <= window.plan().count(); ++n)
            result.append(window.plan().checked(n) ? QStringLiteral("ticked") : QStringLiteral("unticked"));
        return result;
    }

    // A plan of three copy rows, all ticked, from a compare run on real folders.
    Form1& shownWithPlan() {
        one.file("a.txt");
        one.file("b.txt");
        one.file("c.txt");
        store("ListView1", one.slotText());
        store("ListView2", two.slotText());
        Form1& window = shown();
        window.PushButton5_Click();
        return window;
    }

    QTreeView* resultList(Form1& window) { return window.findChild<QTreeView*>(QStringLiteral("ListView3")); }

    TreeBuilder one;
    TreeBuilder two;
};

TEST_F(Keyboard, TheResultListHasTheFocusWhenTheWindowOpens) {
    shown();
    EXPECT_EQ(focused().toStdString(), "ListView3");
}

TEST_F(Keyboard, TabVisitsEveryControlInOrderAndComesBackToTheFirst) {
    shown();
    QStringList visited{focused()};
    for (qsizetype i = 0; i < TabOrder.size(); ++i) {
        type(Qt::Key_Tab);
        visited.append(focused());
    }
    EXPECT_EQ(visited, TabOrder + QStringList{TabOrder.first()});
}

TEST_F(Keyboard, ShiftTabGoesBackThroughTheSameOrder) {
    shown();
    QStringList visited;
    for (qsizetype i = 0; i < TabOrder.size(); ++i) {
        type(Qt::Key_Backtab, Qt::ShiftModifier);
        visited.append(focused());
    }
    QStringList expected = TabOrder;
    std::reverse(expected.begin(), expected.end()); // the last control first, the first one last
    EXPECT_EQ(visited, expected);
}

TEST_F(Keyboard, SpacePressesTheFocusedButton) {
    shown();
    for (int i = 0; i < TabOrder.size() && focused() != QStringLiteral("PushButton13"); ++i)
        type(Qt::Key_Tab);
    ASSERT_EQ(focused().toStdString(), "PushButton13");
    space();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Please follow steps 1 - 4 in order.")));
    EXPECT_EQ(focused().toStdString(), "PushButton13");
}

TEST_F(Keyboard, EveryButtonIsReachedByTabAndPressedBySpaceReturnAndEnter) {
    Form1& window = shown();
    std::map<QString, int> clicks;
    for (QPushButton* button : window.findChildren<QPushButton*>())
        QObject::connect(button, &QPushButton::clicked,
                         [&clicks, button] { ++clicks[button->objectName()]; });

    std::map<QString, int> expected;
    for (qsizetype i = 1; i < TabOrder.size(); ++i) {
        type(Qt::Key_Tab);
        ASSERT_EQ(focused().toStdString(), TabOrder[i].toStdString());
        if (!TabOrder[i].startsWith(QStringLiteral("PushButton"))) continue;
        space();
        type(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        type(Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r"));
        expected[TabOrder[i]] += 3;
        EXPECT_EQ(clicks, expected) << "after Space, Return and Enter on " << TabOrder[i].toStdString();
    }
    EXPECT_EQ(expected.size(), 10u);
}

TEST_F(Keyboard, SpaceOnStartComparingFillsThePlanAndLeavesTheFocusOnTheButton) {
    one.file("a.txt");
    store("ListView1", one.slotText());
    store("ListView2", two.slotText());
    Form1& window = shown();
    for (int i = 0; i < TabOrder.size() && focused() != QStringLiteral("PushButton5"); ++i)
        type(Qt::Key_Tab);
    ASSERT_EQ(focused().toStdString(), "PushButton5");
    space();
    EXPECT_EQ(window.plan().count(), 1);
    EXPECT_EQ(focused().toStdString(), "PushButton5");
    type(Qt::Key_Tab);
    EXPECT_EQ(focused().toStdString(), "PushButton7");
}

TEST_F(Keyboard, SpaceTogglesTheTickOfTheFocusedRow) {
    Form1& window = shownWithPlan();
    ASSERT_EQ(ticks(window), (QStringList{"ticked", "ticked", "ticked"}));
    ASSERT_EQ(focused().toStdString(), "ListView3");

    type(Qt::Key_Down); // onto the first row
    type(Qt::Key_Down); // onto the second
    ASSERT_EQ(resultList(window)->currentIndex().row(), 1);
    space();
    EXPECT_EQ(ticks(window), (QStringList{"ticked", "unticked", "ticked"}));
    space();
    EXPECT_EQ(ticks(window), (QStringList{"ticked", "ticked", "ticked"}));
}

TEST_F(Keyboard, SpaceTogglesTheTickWhicheverColumnOfTheRowWasClicked) {
    Form1& window = shownWithPlan();
    QTreeView* list = resultList(window);
    // A click on a row's destination makes that cell the current one; the focus frame
    // still spans the whole row, so Space must still mean the row's tick.
    for (int column : {1, 2}) {
        SCOPED_TRACE(column);
        list->setCurrentIndex(window.plan().index(2, column));
        space();
        EXPECT_EQ(ticks(window), (QStringList{"ticked", "ticked", "unticked"}));
        space();
        EXPECT_EQ(ticks(window), (QStringList{"ticked", "ticked", "ticked"}));
    }
}

TEST_F(Keyboard, SpaceOnAnEmptyResultListChangesNothing) {
    Form1& window = shown();
    ASSERT_EQ(focused().toStdString(), "ListView3");
    space();
    EXPECT_EQ(window.plan().count(), 0);
    EXPECT_TRUE(dialogs.messages.empty());
}

} // namespace
} // namespace quellomir::testing
