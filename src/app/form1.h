#pragma once

#include "app/cursor_setting.h"
#include "app/dialog_error_report.h"
#include "app/dialogs.h"
#include "app/folder_slot_model.h"
#include "app/plan_model.h"
#include "app/settings_store.h"
#include "app/window_yielder.h"
#include "files/code_page.h"
#include "fs/file_system.h"
#include "handler/numbered_handler.h"
#include "handler/yielder.h"

#include <QCursor>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>

class QPushButton;
class QTreeView;

namespace quellomir {

// What the caption adds while a call into a drive has waited `unansweredAfter` or more:
// "; /mnt/share/photos/ has not answered for 5 s"; nothing otherwise.
QString unansweredNote(std::chrono::milliseconds unansweredAfter);

class SyncSession;

// What the window is given from outside, so tests can pin each of it.
struct Form1Environment {
    Dialogs& dialogs;
    SettingsStore& settings;
    FileSystem& fs;
    const CodePage& codePage;
    QString programFolder;                  // without a trailing separator
    std::function<int()> drawHomePageVisit; // 1 to 100
    // How often a long run lets the window answer; tests make it yield at every step.
    std::chrono::milliseconds yieldInterval{20};
    // How long a call into a drive may go unanswered before the caption names its folder.
    std::chrono::milliseconds unansweredAfter{3000};
    // Ends the program at once, for a window closed while a drive holds a run in the
    // kernel; none ends the process with status 0. A test's returns, and the run waits on.
    std::function<void()> endProgram{};
};

// The main window: the two folder slots, the plan, ten buttons and the cursor setting.
// Every user action is one handler below, named after its control and event; the
// handlers are defined in the folder of the subsystem they belong to.
class Form1 final : public QWidget {
    Q_OBJECT
  public:
    explicit Form1(Form1Environment environment);

    void Form_Load();

    void PushButton3_Click();  // "1. Choose Folder 1"
    void PushButton1_Click();  // "2. Choose Folder 2"
    void PushButton2_Click();  // "Clear Folder" for Folder 1
    void PushButton4_Click();  // "Clear Folder" for Folder 2
    void PushButton5_Click();  // "3. Start Comparing"
    void PushButton6_Click();  // "4. Start Syncing"
    void PushButton7_Click();  // "Check All"
    void PushButton8_Click();  // "Uncheck All"
    void PushButton9_Click();  // "Load Sample/Example Folders"
    void PushButton13_Click(); // "Help"

    // Right-click on the plan, or its Menu key: the menu of what the plan can do.
    void ListView3_ContextMenu(const QPoint& at);
    void ListView3_ColumnClick(int column);
    void ListView1_DblClick();
    void ListView2_DblClick();
    void ListView1_KeyDown(int keyCode, int shift);
    void ListView2_KeyDown(int keyCode, int shift);

    // True while a compare or sync run is under way: the buttons that change the slots
    // or the plan are disabled then, and their handlers return at once.
    bool runInProgress() const { return m_running; }

    CursorSetting cursorSetting() const { return m_cursor; }
    void setCursorSetting(CursorSetting setting);
    const QString& applicationTitleText() const { return m_applicationTitle; }

    FolderSlotModel& folder1() { return m_folder1; }
    FolderSlotModel& folder2() { return m_folder2; }
    PlanModel& plan() { return m_plan; }

  signals:
    // The window was closed while a run was under way; the run has unwound.
    void closedDuringRun();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void buildControls();
    QPushButton* addButton(const char* name, const QString& caption, QRect twips);
    QTreeView* addList(const char* name, ReportListModel& model, QRect twips);
    void setColumnWidth(QTreeView* list, int column, int twips);

    // Runs a compare or sync run with the window guarded: the slot and plan buttons off,
    // the caption saying how far it has got (from `progress`, asked at each yield), and
    // an end at once when the window is closed meanwhile.
    void carryOutRun(const QString& activity, const std::function<QString()>& progress,
                     const std::function<void(WindowYielder&)>& run);
    // Runs `work` on a thread of its own while the window keeps answering: a drive that
    // never answers then holds only that thread. `work` gets a yielder that ends it when
    // the window is closed; a window closed while a call into a drive has gone unanswered
    // ends the program.
    void runOffWindow(Yielder& windowYielder, const std::function<void(Yielder&)>& work);
    void setRunControlsEnabled(bool enabled);
    void removeSelectedSlotRow(QTreeView* list, FolderSlotModel& slot);
    void chooseFolderInto(NumberedHandler& h, FolderSlotModel& slot, const QString& key);
    void tickEveryRow(const char* location, bool ticked);
    void tickSelectedRows(bool ticked);
    // The setting "Exclude": the patterns of files and folders the comparison leaves out.
    QString exclusionsSetting() const;
    void addExclusions(const QStringList& patterns);
    QStringList leftOutBySelection(bool folder) const;
    void showSortIndicator();
    void compareSlotFolders(Yielder& yielder);
    void carryOutPlan(WindowYielder& window);
    // Whether the sync may go on: ticked rows that replace a file of another subfolder (paired
    // by name) are synced only after a clear yes, or unticked.
    bool rowsAcrossSubfoldersAgreed();
    class WindowRows; // the window's part in a sync run's rows
    // The window's turn while a row runs on its thread: it answers, and once it was closed,
    // the row is told to end, or the program ends when a drive holds the row in the kernel.
    void answerWhileRowRuns(WindowYielder& window, std::atomic<bool>& closed, bool& ended);
    // Once the window was closed: tells the row to end, or ends the program when a call into
    // a drive has gone unanswered too long for the run ever to end by itself.
    void endIfHeldAfterClosing(std::atomic<bool>& closed, bool& ended);

    // The caption after a comparison says what the plan holds, until the next run starts
    // or a slot changes.
    void showPlanSummary();
    // Whether the settings ask to pair files by their place in the folders ("PairBy=path").
    bool pairsByPlace() const;
    void endPlanSummary();
    void dropPlan();

    void applySkin(const QString& skinFile);
    void followDesktopPalette();
    void visitHomePageSometimes();
    void showMessage(const QString& text);

    Form1Environment m_env;
    DialogErrorReport m_errorReport;
    QString m_applicationTitle;
    QString m_captionBeforeSummary; // null while the caption shows no summary
    QString m_planSummary;          // of the plan the last comparison made
    CursorSetting m_cursor = CursorSetting::Default;
    bool m_running = false;
    bool m_closedDuringRun = false;
    std::atomic<std::size_t> m_filesListed{0}; // written by the compare's own thread
    int m_syncRow = 0;
    int m_syncRows = 0;
    // The bytes of the ticked rows, those of the rows done, and the run, for the caption.
    std::uint64_t m_syncBytes = 0;
    std::uint64_t m_syncBytesDone = 0;
    const SyncSession* m_syncSession = nullptr;
    // During a sync: writes its record as it stands, for a program ended while a drive holds
    // the run, which would otherwise leave none.
    std::function<void()> m_recordBeforeEnding;
    QCursor m_handCursor{Qt::PointingHandCursor};

    FolderSlotModel m_folder1;
    FolderSlotModel m_folder2;
    PlanModel m_plan;

    QTreeView* ListView1 = nullptr;
    QTreeView* ListView2 = nullptr;
    QTreeView* ListView3 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QPushButton* PushButton9 = nullptr;
    QPushButton* PushButton13 = nullptr;
};

// Pixels at 96 dpi for a length in twips; Qt scales them on high-density screens.
int twipsToPixels(int twips);

} // namespace quellomir
