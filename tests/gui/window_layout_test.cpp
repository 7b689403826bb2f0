#include "gui/window_fixture.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>

namespace quellomir::testing {
namespace {

struct ControlPlace {
    const char* name;
    const char* caption;
    int left, top, width, height;
};

// The window's controls in twips, as the layout fixes them.
const ControlPlace Buttons[] = {
    {"PushButton13", "Help", 120, 120, 3840, 405},
    {"PushButton9", "Load Sample/Example Folders", 4080, 120, 3840, 405},
    {"PushButton3", "1. Choose Folder 1", 120, 1320, 3840, 405},
    {"PushButton2", "Clear Folder", 4080, 1320, 3840, 405},
    {"PushButton1", "2. Choose Folder 2", 120, 2520, 3840, 405},
    {"PushButton4", "Clear Folder", 4080, 2520, 3840, 405},
    {"PushButton5", "3. Start Comparing", 120, 3030, 7800, 405},
    {"PushButton7", "Check All", 120, 5770, 3840, 405},
    {"PushButton8", "Uncheck All", 4080, 5770, 3840, 405},
    {"PushButton6", "4. Start Syncing", 120, 6280, 7800, 405},
};
const ControlPlace Lists[] = {
    {"ListView1", "", 120, 620, 7800, 615},
    {"ListView2", "", 120, 1820, 7800, 615},
    {"ListView3", "", 120, 3540, 7800, 2145},
};

QRect inPixels(const ControlPlace& place) {
    return QRect(twipsToPixels(place.left), twipsToPixels(place.top), twipsToPixels(place.width),
                 twipsToPixels(place.height));
}

using WindowLayout = WindowTest;

TEST_F(WindowLayout, IsFixedAtItsClientSize) {
    Form1& window = start();
    EXPECT_EQ(window.size(), QSize(536, 453));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
}

TEST_F(WindowLayout, ButtonsStandWhereTheLayoutPutsThemWithTheirCaptionsAndFont) {
    Form1& window = start();
    for (const ControlPlace& place : Buttons) {
        SCOPED_TRACE(place.name);
        auto* button = window.findChild<QPushButton*>(QString::fromLatin1(place.name));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromLatin1(place.caption));
        EXPECT_EQ(button->geometry(), inPixels(place));
        EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 11.25);
        EXPECT_TRUE(button->font().bold());
        EXPECT_TRUE(button->font().families().contains(QStringLiteral("Arial")));
        EXPECT_TRUE(button->toolTip().isEmpty());
    }
}

TEST_F(WindowLayout, ListsCarryTheirPlaceFontAndTooltip) {
    Form1& window = start();
    for (const ControlPlace& place : Lists) {
        SCOPED_TRACE(place.name);
        auto* list = window.findChild<QTreeView*>(QString::fromLatin1(place.name));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->geometry(), inPixels(place));
        EXPECT_DOUBLE_EQ(list->font().pointSizeF(), 9);
        EXPECT_TRUE(list->font().bold());
        EXPECT_EQ(list->toolTip(),
                  QStringLiteral("Double-click item to remove it. Move | line to right and out "
                                 "of window to reveal full names."));
    }
}

TEST_F(WindowLayout, ColumnsAreCreatedAtStartWithTheirWidths) {
    Form1 window(Form1Environment{dialogs, settings, fs, codePage, programFolder, [] { return 1; }});
    EXPECT_EQ(window.folder1().columnCount(), 0);
    EXPECT_EQ(window.plan().columnCount(), 0);
    window.Form_Load();

    auto header = [&](QAbstractItemModel& model, int column) {
        return model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    };
    ASSERT_EQ(window.folder1().columnCount(), 1);
    EXPECT_EQ(header(window.folder1(), 0), QStringLiteral("Folder 1"));
    ASSERT_EQ(window.folder2().columnCount(), 1);
    EXPECT_EQ(header(window.folder2(), 0), QStringLiteral("Folder 2"));
    ASSERT_EQ(window.plan().columnCount(), 3);
    EXPECT_EQ(header(window.plan(), 0), QStringLiteral("Source"));
    EXPECT_EQ(header(window.plan(), 1), QStringLiteral("Action"));
    EXPECT_EQ(header(window.plan(), 2), QStringLiteral("Destination"));

    auto* list1 = window.findChild<QTreeView*>(QStringLiteral("ListView1"));
    auto* list3 = window.findChild<QTreeView*>(QStringLiteral("ListView3"));
    EXPECT_EQ(list1->columnWidth(0), twipsToPixels(7000));
    EXPECT_EQ(list3->columnWidth(0), twipsToPixels(2600));
    EXPECT_EQ(list3->columnWidth(1), twipsToPixels(2000));
    EXPECT_EQ(list3->columnWidth(2), twipsToPixels(2600));
}

TEST_F(WindowLayout, TabGoesThroughTheControlsInTheirOrder) {
    Form1& window = start();
    const QStringList expected = {"ListView3",   "ListView1",    "ListView2",   "PushButton3", "PushButton1",
                                  "PushButton2", "PushButton4",  "PushButton5", "PushButton7", "PushButton8",
                                  "PushButton6", "PushButton13", "PushButton9"};
    // The focus chain also holds the lists' inner parts; the named controls are what Tab visits.
    QStringList visited;
    QWidget* widget = window.findChild<QWidget*>(expected.first());
    while (widget && visited.size() < expected.size()) {
        if (expected.contains(widget->objectName()) && (widget->focusPolicy() & Qt::TabFocus))
            visited.append(widget->objectName());
        widget = widget->nextInFocusChain();
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(WindowLayout, CaptionAndApplicationTitleAreTheProductName) {
    Form1& window = start();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quellomir"));
    EXPECT_EQ(window.applicationTitleText(), QStringLiteral("Quellomir"));
}

} // namespace
} // namespace quellomir::testing

namespace quellomir::testing {
namespace {

TEST_F(WindowLayout, WindowCarriesTheProgramIcon) {
    Form1& window = start();
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_FALSE(window.windowIcon().pixmap(32, 32).isNull());
}

} // namespace
} // namespace quellomir::testing
