#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMap>
#include <QStringList>

class CVexelDoc;
class CVexelView;
class QAction;
class QMenu;

// The main window: menus, toolbar, status bar with the lock-key indicators,
// the recent-file list and the window's remembered place on screen.
class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int kRecentFiles = 4;

    explicit CMainFrame(CVexelDoc& doc);
    ~CMainFrame() override;

    CVexelView* View() const { return m_view; }
    // The action of a command identifier (see CommandIds.h), or null.
    QAction* Action(int command) const { return m_actions.value(command); }
    QStringList RecentFiles() const;
    void AddRecentFile(const QString& path);
    // Enables the commands that depend on the model's state.
    void UpdateCommands();
    void UpdateTitle();
    void UpdateLockKeys();
    QLabel* LockIndicator(int i) const { return m_locks[i]; }
    // Shows a status text; it stays until the next one, menus or not.
    void SetStatusText(const QString& text);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, int command, const QString& text, const QKeySequence& shortcut = {});
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void RebuildRecentMenu();
    void SetStatusTips();

    CVexelDoc& m_doc;
    CVexelView* m_view;
    QMap<int, QAction*> m_actions;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    QList<QAction*> m_recentActions;
    QLabel* m_locks[3] = {nullptr, nullptr, nullptr};
    QString m_status;
};

// Which of Caps Lock, Num Lock and Scroll Lock are on, as bits 0, 1 and 2;
// -1 where the windowing system cannot tell.
int LockKeyState();
