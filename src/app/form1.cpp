#include "app/form1.h"

#include "app/key_code.h"
#include "app/plan_path_delegate.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>

#include <utility>

namespace quellomir {
namespace {

QFont arialBold(qreal pointSize) {
    QFont font;
    // Arial where installed; Liberation Sans has the same metrics, so captions fit alike.
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(pointSize);
    font.setBold(true);
    return font;
}

QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

} // namespace

int twipsToPixels(int twips) {
    return qRound(twips / 15.0);
}

Form1::Form1(Form1Environment environment)
    : m_env(std::move(environment)), m_errorReport(m_env.dialogs, this) {
    setObjectName(QStringLiteral("Form1"));
    setFont(arialBold(9));
    followDesktopPalette();
    setAutoFillBackground(true);
    setMouseTracking(true);

    buildControls();

    // A plan belongs to the folders it was made of: whatever changes a slot (a choice, a
    // cancelled one, "Clear Folder", a removal, the sample folders) takes the plan away,
    // so that "4. Start Syncing" can never write into a folder no longer shown.
    for (FolderSlotModel* slot : {&m_folder1, &m_folder2}) {
        for (auto change : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(slot, change, this, [this] { dropPlan(); });
        connect(slot, &QAbstractItemModel::modelReset, this, [this] { dropPlan(); });
    }

    // A fixed window: nothing re-lays the controls out, so it cannot be resized or maximised.
    setFixedSize(twipsToPixels(8040), twipsToPixels(6795));
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Form1::buildControls() {
    PushButton13 = addButton("PushButton13", QStringLiteral("Help"), twipsRect(120, 120, 3840, 405));
    PushButton9 = addButton("PushButton9", QStringLiteral("Load Sample/Example Folders"),
                            twipsRect(4080, 120, 3840, 405));
    ListView1 = addList("ListView1", m_folder1, twipsRect(120, 620, 7800, 615));
    ListView1->setItemDelegate(new PlanPathDelegate({0}, ListView1));
    PushButton3 =
        addButton("PushButton3", QStringLiteral("1. Choose Folder 1"), twipsRect(120, 1320, 3840, 405));
    PushButton2 = addButton("PushButton2", QStringLiteral("Clear Folder"), twipsRect(4080, 1320, 3840, 405));
    ListView2 = addList("ListView2", m_folder2, twipsRect(120, 1820, 7800, 615));
    ListView2->setItemDelegate(new PlanPathDelegate({0}, ListView2));
    PushButton1 =
        addButton("PushButton1", QStringLiteral("2. Choose Folder 2"), twipsRect(120, 2520, 3840, 405));
    PushButton4 = addButton("PushButton4", QStringLiteral("Clear Folder"), twipsRect(4080, 2520, 3840, 405));
    PushButton5 =
        addButton("PushButton5", QStringLiteral("3. Start Comparing"), twipsRect(120, 3030, 7800, 405));
    ListView3 = addList("ListView3", m_plan, twipsRect(120, 3540, 7800, 2145));
    // A path's end holds the file name, which tells one row from another: the paths are
    // cut in the middle, between their beginning and their last part, and so is the action.
    ListView3->setTextElideMode(Qt::ElideMiddle);
    // Every row as tall as a row of text, with the mark or without: sorting never changes it.
    const int markSize = ListView3->fontMetrics().ascent();
    ListView3->setIconSize(QSize(markSize, markSize));
    ListView3->setUniformRowHeights(true);
    ListView3->setItemDelegate(new PlanPathDelegate({0, 2}, ListView3));
    // Shift and Ctrl with clicks and arrows, Ctrl+A: rows are ticked and unticked together.
    ListView3->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Right-click and the Menu key alike.
    ListView3->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView3, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ListView3_ContextMenu(ListView3->viewport()->mapToGlobal(at)); });
    // A header click sorts the rows shown; the sync still takes them in the plan's order.
    ListView3->header()->setSectionsClickable(true);
    connect(ListView3->header(), &QHeaderView::sectionClicked, this, &Form1::ListView3_ColumnClick);
    connect(&m_plan, &QAbstractItemModel::modelReset, this, &Form1::showSortIndicator);
    PushButton7 = addButton("PushButton7", QStringLiteral("Check All"), twipsRect(120, 5770, 3840, 405));
    PushButton8 = addButton("PushButton8", QStringLiteral("Uncheck All"), twipsRect(4080, 5770, 3840, 405));
    PushButton6 =
        addButton("PushButton6", QStringLiteral("4. Start Syncing"), twipsRect(120, 6280, 7800, 405));

    // What a screen reader says of each control: the buttons' captions are their names, but
    // two read "Clear Folder", and the lists have none to show.
    const std::pair<QWidget*, std::pair<QString, QString>> spoken[] = {
        {ListView1, {tr("Folder 1"), tr("The first folder to bring into step")}},
        {ListView2, {tr("Folder 2"), tr("The second folder to bring into step")}},
        {ListView3,
         {tr("Plan"), tr("One row per file to copy, with its source, what will happen and its "
                         "destination; untick the rows you do not want")}},
        {PushButton2, {tr("Clear Folder 1"), tr("Empties the Folder 1 slot")}},
        {PushButton4, {tr("Clear Folder 2"), tr("Empties the Folder 2 slot")}},
        {PushButton3, {PushButton3->text(), tr("Chooses the first folder")}},
        {PushButton1, {PushButton1->text(), tr("Chooses the second folder")}},
        {PushButton5, {PushButton5->text(), tr("Compares the two folders and shows the plan")}},
        {PushButton6, {PushButton6->text(), tr("Carries out every ticked row of the plan")}},
        {PushButton7, {PushButton7->text(), tr("Ticks every row of the plan")}},
        {PushButton8, {PushButton8->text(), tr("Unticks every row of the plan")}},
        {PushButton9, {PushButton9->text(), tr("Puts the two sample folders into the slots")}},
        {PushButton13, {PushButton13->text(), tr("Shows how to use the program")}},
    };
    for (const auto& [control, words] : spoken) {
        control->setAccessibleName(words.first);
        control->setAccessibleDescription(words.second);
    }

    const QList<QWidget*> tabOrder = {ListView3,   ListView1,    ListView2,   PushButton3, PushButton1,
                                      PushButton2, PushButton4,  PushButton5, PushButton7, PushButton8,
                                      PushButton6, PushButton13, PushButton9};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    // The first in the tab order has the focus when the window opens.
    ListView3->setFocus();

    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(PushButton13, &QPushButton::clicked, this, &Form1::PushButton13_Click);
}

QPushButton* Form1::addButton(const char* name, const QString& caption, QRect geometry) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(arialBold(11.25));
    button->setGeometry(geometry);
    button->setMouseTracking(true);
    button->installEventFilter(this);
    return button;
}

QTreeView* Form1::addList(const char* name, ReportListModel& model, QRect geometry) {
    auto* list = new QTreeView(this);
    list->setObjectName(QString::fromLatin1(name));
    list->setModel(&model);
    list->setFont(arialBold(9));
    list->setGeometry(geometry);
    list->setToolTip(QString::fromLatin1(ListToolTip));
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true); // a plan of a million rows must not measure each row
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    list->viewport()->setMouseTracking(true);
    list->viewport()->installEventFilter(this);
    list->installEventFilter(this);
    return list;
}

void Form1::setColumnWidth(QTreeView* list, int column, int twips) {
    list->setColumnWidth(column, twipsToPixels(twips));
}

void Form1::setCursorSetting(CursorSetting setting) {
    m_cursor = setting;
    switch (setting) {
    case CursorSetting::Default:
        setCursor(Qt::ArrowCursor);
        break;
    case CursorSetting::Busy:
        setCursor(Qt::WaitCursor);
        break;
    case CursorSetting::Hand:
        setCursor(m_handCursor);
        break;
    }
}

// The window sits on the colour the desktop gives its lists: white in a light theme, and
// in a dark one dark, with no white frame left around the lists. Taken as a role, not as
// a colour, it follows a switch of theme while the window is open.
void Form1::followDesktopPalette() {
    setBackgroundRole(QPalette::Base);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == ListView1->viewport())
            ListView1_DblClick();
        else if (watched == ListView2->viewport())
            ListView2_DblClick();
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // The focus frame spans the whole row, so Space ticks the row whichever of its
        // cells was clicked; the list itself would only toggle it from the first column.
        if (watched == ListView3 && key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier &&
            ListView3->currentIndex().isValid()) {
            // Every selected row takes the tick the current row did not have.
            const int n = m_plan.rowAt(ListView3->currentIndex());
            const bool ticked = !m_plan.checked(n);
            m_plan.setChecked(n, ticked);
            tickSelectedRows(ticked);
            return true;
        }
        // Return and Enter press the focused button, as Space does and as desktops are used to.
        auto* button = qobject_cast<QPushButton*>(watched);
        const bool plainKey = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && plainKey) {
            if (!key->isAutoRepeat()) button->click();
            return true;
        }
        const int keyCode = keyCodeOf(*key);
        if (watched == ListView1)
            ListView1_KeyDown(keyCode, int(key->modifiers()));
        else if (watched == ListView2)
            ListView2_KeyDown(keyCode, int(key->modifiers()));
    }
    if (event->type() == QEvent::MouseMove && m_cursor != CursorSetting::Busy) {
        const bool overButton = qobject_cast<QPushButton*>(watched) != nullptr;
        setCursorSetting(overButton ? CursorSetting::Hand : CursorSetting::Default);
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    // Moves that a control ignored arrive here too; only the bare background counts.
    const bool overBackground = childAt(event->position().toPoint()) == nullptr;
    if (overBackground && m_cursor != CursorSetting::Busy) setCursorSetting(CursorSetting::Default);
    QWidget::mouseMoveEvent(event);
}

void Form1::showMessage(const QString& text) {
    m_env.dialogs.showMessage(this, text, m_applicationTitle, Dialogs::Icon::None);
}

} // namespace quellomir
