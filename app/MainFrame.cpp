#include "MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>

#include "CommandIds.h"
#include "Dialogs.h"
#include "FileCommands.h"
#include "Icons.h"
#include "VexelDoc.h"
#include "VexelView.h"

namespace {

QSettings Settings()
{
    return QSettings(QStringLiteral("Trivex"), QStringLiteral("Trivex"));
}

}  // namespace

CMainFrame::CMainFrame(CVexelDoc& doc) : m_doc(doc)
{
    setWindowIcon(AppIcon());
    m_view = new CVexelView(doc, this);
    setCentralWidget(m_view);
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    setAcceptDrops(true);
    m_doc.SetFrame(this);

    connect(&m_doc, &CVexelDoc::TitleChanged, this, &CMainFrame::UpdateTitle);
    connect(&m_doc, &CVexelDoc::ViewsChanged, this, &CMainFrame::UpdateCommands);
    connect(&m_doc, &CVexelDoc::RecentFileUsed, this, &CMainFrame::AddRecentFile);

    resize(760, 540);
    QSettings settings = Settings();
    restoreGeometry(settings.value(QStringLiteral("MainWindow/geometry")).toByteArray());
    RebuildRecentMenu();
    UpdateTitle();
    UpdateCommands();
}

CMainFrame::~CMainFrame()
{
    m_doc.SetFrame(nullptr);
}

QAction* CMainFrame::AddCommand(QMenu* menu, int command, const QString& text, const QKeySequence& shortcut)
{
    auto* action = new QAction(text, this);
    action->setData(command);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    QIcon icon = ToolIcon(command);
    if (!icon.isNull())
        action->setIcon(icon);
    if (menu)
        menu->addAction(action);
    else
        addAction(action);  // keyboard only
    m_actions.insert(command, action);
    return action;
}

void CMainFrame::BuildMenus()
{
    CVexelView* v = m_view;
    CVexelDoc* d = &m_doc;

    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QMenu* file = m_fileMenu;
    connect(AddCommand(file, ID_FILE_NEW, QStringLiteral("&New"), QKeySequence::New), &QAction::triggered, d,
            &CVexelDoc::OnFileNew);
    // The generic open goes by the file name; it has the keyboard and the toolbar.
    connect(AddCommand(nullptr, ID_FILE_OPEN, QStringLiteral("Open"), QKeySequence::Open), &QAction::triggered, d,
            &CVexelDoc::OnFileOpen);
    QMenu* open = file->addMenu(QStringLiteral("&Open"));
    for (const CFileCommand& c : kOpenCommands) {
        const char* format = c.format;
        connect(AddCommand(open, c.id, QString::fromLatin1(c.menuText)), &QAction::triggered, d,
                [d, format] { d->OnOpenFormat(format); });
    }
    connect(AddCommand(file, ID_FILE_SAVE, QStringLiteral("&Save"), QKeySequence::Save), &QAction::triggered, d,
            &CVexelDoc::OnFileSave);
    QMenu* saveAs = file->addMenu(QStringLiteral("Save &As"));
    for (const CFileCommand& c : kSaveCommands) {
        const char* format = c.format;
        connect(AddCommand(saveAs, c.id, QString::fromLatin1(c.menuText)), &QAction::triggered, d,
                [d, format] { d->OnSaveFormat(format); });
    }
    // Some desktops define no key for Save As; this one is the common one.
    QAction* saveAsKey = AddCommand(nullptr, ID_FILE_SAVE_AS, QStringLiteral("Save As"));
    saveAsKey->setShortcuts({QKeySequence(QKeySequence::SaveAs), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
    connect(saveAsKey, &QAction::triggered, d, &CVexelDoc::OnFileSaveAs);
    file->addSeparator();
    connect(AddCommand(file, ID_FILE_PRINT, QStringLiteral("&Print..."), QKeySequence::Print), &QAction::triggered,
            v, &CVexelView::OnPrint);
    connect(AddCommand(file, ID_FILE_PRINT_PREVIEW, QStringLiteral("Print Pre&view")), &QAction::triggered, v,
            &CVexelView::OnPrintPreview);
    connect(AddCommand(file, ID_FILE_PRINT_SETUP, QStringLiteral("P&rint Setup...")), &QAction::triggered, v,
            &CVexelView::OnPrintSetup);
    m_recentSeparator = file->addSeparator();
    for (int i = 0; i < kRecentFiles; ++i) {
        auto* action = new QAction(this);
        action->setVisible(false);
        file->addAction(action);
        m_actions.insert(ID_FILE_MRU_FIRST + i, action);
        m_recentActions << action;
        connect(action, &QAction::triggered, this, [this, action] {
            m_doc.OpenNamed(action->data().toString().toLocal8Bit().toStdString());
        });
    }
    file->addSeparator();
    connect(AddCommand(file, ID_APP_EXIT, QStringLiteral("E&xit")), &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    // Nothing in the model can be undone or put on the clipboard.
    AddCommand(edit, ID_EDIT_UNDO, QStringLiteral("&Undo"), QKeySequence::Undo)->setEnabled(false);
    edit->addSeparator();
    AddCommand(edit, ID_EDIT_CUT, QStringLiteral("Cu&t"), QKeySequence::Cut)->setEnabled(false);
    AddCommand(edit, ID_EDIT_COPY, QStringLiteral("&Copy"), QKeySequence::Copy)->setEnabled(false);
    AddCommand(edit, ID_EDIT_PASTE, QStringLiteral("&Paste"), QKeySequence::Paste)->setEnabled(false);

    QMenu* object = menuBar()->addMenu(QStringLiteral("&Object"));
    connect(AddCommand(object, ID_OBJECT_ROTATE, QStringLiteral("&Rotate...")), &QAction::triggered, v,
            &CVexelView::OnRotate);
    connect(AddCommand(object, ID_OBJECT_COLORS, QStringLiteral("&Colors...")), &QAction::triggered, v,
            &CVexelView::OnColors);
    QMenu* mirror = object->addMenu(QStringLiteral("&Mirror"));
    connect(AddCommand(mirror, ID_MIRROR_X, QStringLiteral("&X Axis")), &QAction::triggered, v,
            &CVexelView::OnMirrorX);
    connect(AddCommand(mirror, ID_MIRROR_Y, QStringLiteral("&Y Axis")), &QAction::triggered, v,
            &CVexelView::OnMirrorY);
    connect(AddCommand(mirror, ID_MIRROR_Z, QStringLiteral("&Z Axis")), &QAction::triggered, v,
            &CVexelView::OnMirrorZ);
    QMenu* zoom = object->addMenu(QStringLiteral("&Zoom"));
    QAction* in = AddCommand(zoom, ID_ZOOM_IN, QStringLiteral("&In"));
    in->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::Key_Plus)});
    connect(in, &QAction::triggered, v, &CVexelView::OnZoomIn);
    QAction* out = AddCommand(zoom, ID_ZOOM_OUT, QStringLiteral("&Out"));
    out->setShortcuts({QKeySequence::ZoomOut, QKeySequence(Qt::Key_Minus)});
    connect(out, &QAction::triggered, v, &CVexelView::OnZoomOut);
    // Most CAD, 3D Studio and NFF scenes stand on Z and arrive lying on their back.
    connect(AddCommand(object, ID_OBJECT_Z_UP, QStringLiteral("Z &Up")), &QAction::triggered, v,
            [d] { d->TurnZUp(true); });
    connect(AddCommand(object, ID_OBJECT_INFO, QStringLiteral("Information...")), &QAction::triggered, v,
            &CVexelView::OnInfo);

    QMenu* backgrounds = menuBar()->addMenu(QStringLiteral("&Backgrounds"));
    connect(AddCommand(backgrounds, ID_BACKGROUND_FLOOR, QStringLiteral("&Floor...")), &QAction::triggered, v,
            &CVexelView::OnFloor);
    connect(AddCommand(backgrounds, ID_BACKGROUND_SKY, QStringLiteral("&Sky...")), &QAction::triggered, v,
            &CVexelView::OnSky);

    QMenu* prefs = menuBar()->addMenu(QStringLiteral("&Preferences"));
    connect(AddCommand(prefs, ID_PREFS_DXF, QStringLiteral("DXF...")), &QAction::triggered, v,
            &CVexelView::OnDxfPrefs);
    connect(AddCommand(prefs, ID_PREFS_VIEW, QStringLiteral("View...")), &QAction::triggered, v,
            &CVexelView::OnViewPrefs);
    connect(AddCommand(prefs, ID_PREFS_OUTPUT, QStringLiteral("Output...")), &QAction::triggered, v,
            &CVexelView::OnOutputPrefs);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    connect(AddCommand(help, ID_APP_ABOUT, QStringLiteral("&About Trivex...")), &QAction::triggered, this, [this] {
        CAboutDialog dialog(this);
        dialog.exec();
    });
    for (QMenu* menu : {file, object})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
    SetStatusTips();
}

void CMainFrame::SetStatusTips()
{
    struct CTip
    {
        int command;
        const char* tip;
    };
    static constexpr CTip kTips[] = {
        {ID_FILE_NEW, "Start a new, empty model"},
        {ID_FILE_OPEN, "Open a model, choosing the format by the file name"},
        {ID_FILE_SAVE, "Save the model under its name, in the format of its extension"},
        {ID_FILE_SAVE_AS, "Save the model under a new name"},
        {ID_FILE_PRINT, "Print the wireframe picture"},
        {ID_FILE_PRINT_PREVIEW, "Show the printed page"},
        {ID_FILE_PRINT_SETUP, "Choose the printer and the page"},
        {ID_APP_EXIT, "Quit Trivex"},
        {ID_OBJECT_ROTATE, "Rotate the model about the X, Y and Z axes"},
        {ID_OBJECT_COLORS, "Give each group a colour, a finish, smoothing or an Ignore mark"},
        {ID_MIRROR_X, "Mirror the model on the X axis"},
        {ID_MIRROR_Y, "Mirror the model on the Y axis"},
        {ID_MIRROR_Z, "Mirror the model on the Z axis"},
        {ID_ZOOM_IN, "Draw the model larger"},
        {ID_ZOOM_OUT, "Draw the model smaller"},
        {ID_OBJECT_Z_UP, "Turn a model that stands on Z so that +Z points up"},
        {ID_OBJECT_INFO, "Show the counts and ranges of the model"},
        {ID_BACKGROUND_FLOOR, "Choose the floor of the POV-Ray scene"},
        {ID_BACKGROUND_SKY, "Choose the sky of the POV-Ray scene"},
        {ID_PREFS_DXF, "Settings for reading DXF drawings"},
        {ID_PREFS_VIEW, "Drawing, normal direction and smoothing settings"},
        {ID_PREFS_OUTPUT, "Output size and RAW group names"},
        {ID_APP_ABOUT, "Show the program's version"},
    };
    for (const CTip& t : kTips)
        if (QAction* action = m_actions.value(t.command))
            action->setStatusTip(QString::fromLatin1(t.tip));
    for (const CFileCommand& c : kOpenCommands)
        if (QAction* action = m_actions.value(c.id))
            action->setStatusTip(QStringLiteral("Open a %1 file").arg(QString::fromLatin1(c.menuText)));
    for (const CFileCommand& c : kSaveCommands)
        if (QAction* action = m_actions.value(c.id))
            action->setStatusTip(QStringLiteral("Save the model as a %1 file").arg(QString::fromLatin1(c.menuText)));
    for (QAction* action : m_recentActions)
        action->setStatusTip(QStringLiteral("Open this recently used file"));
}

void CMainFrame::SetStatusText(const QString& text)
{
    m_status = text;
    statusBar()->showMessage(text);
}

bool CMainFrame::event(QEvent* event)
{
    // A menu item without a tip would blank the bar; the last status text
    // comes back once the pointer leaves the items.
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        statusBar()->showMessage(tip.isEmpty() ? m_status : tip);
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::BuildToolBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Toolbar"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setMovable(false);
    bar->setIconSize(QSize(20, 20));
    const int layout[] = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0,
                          ID_ZOOM_IN, ID_ZOOM_OUT, 0, ID_OBJECT_ROTATE, 0, ID_MIRROR_X, ID_MIRROR_Y, ID_MIRROR_Z, 0,
                          ID_OBJECT_INFO, 0, ID_OBJECT_COLORS, 0, ID_BACKGROUND_FLOOR, ID_BACKGROUND_SKY, 0,
                          ID_FILE_PRINT, ID_APP_ABOUT};
    for (int command : layout) {
        if (command == 0) {
            bar->addSeparator();
            continue;
        }
        QAction* action = m_actions.value(command);
        bar->addAction(action);
        // Buttons show their menu text as a tip, without the keyboard marker.
        action->setToolTip(action->text().remove('&').remove(QStringLiteral("...")));
    }
    // Their menu texts ("X Axis") say nothing on their own.
    m_actions.value(ID_MIRROR_X)->setToolTip(QStringLiteral("Mirror X"));
    m_actions.value(ID_MIRROR_Y)->setToolTip(QStringLiteral("Mirror Y"));
    m_actions.value(ID_MIRROR_Z)->setToolTip(QStringLiteral("Mirror Z"));
}

void CMainFrame::BuildStatusBar()
{
    QStatusBar* bar = statusBar();
    const char* names[3] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        m_locks[i] = new QLabel(QString::fromLatin1(names[i]), bar);
        m_locks[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_locks[i]->setAlignment(Qt::AlignCenter);
        m_locks[i]->setMinimumWidth(m_locks[i]->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
        bar->addPermanentWidget(m_locks[i]);
    }
    SetStatusText(QStringLiteral("Ready"));
    // Lock keys change state without the window seeing a key, so look now and then.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CMainFrame::UpdateLockKeys);
    timer->start(500);
    UpdateLockKeys();
}

void CMainFrame::UpdateLockKeys()
{
    int state = LockKeyState();
    for (int i = 0; i < 3; ++i)
        m_locks[i]->setEnabled(state >= 0 && (state & (1 << i)) != 0);
}

void CMainFrame::keyPressEvent(QKeyEvent* event)
{
    UpdateLockKeys();
    QMainWindow::keyPressEvent(event);
}

void CMainFrame::keyReleaseEvent(QKeyEvent* event)
{
    UpdateLockKeys();
    QMainWindow::keyReleaseEvent(event);
}

void CMainFrame::UpdateCommands()
{
    m_actions.value(ID_OBJECT_COLORS)->setEnabled(m_doc.GetGroupCount() > 0);
}

void CMainFrame::UpdateTitle()
{
    setWindowTitle(QStringLiteral("%1[*] - Trivex").arg(m_doc.Title()));
    setWindowModified(m_doc.IsModified());
}

QStringList CMainFrame::RecentFiles() const
{
    QSettings settings = Settings();
    QStringList files = settings.value(QStringLiteral("RecentFiles")).toStringList();
    while (files.size() > kRecentFiles)
        files.removeLast();
    return files;
}

void CMainFrame::AddRecentFile(const QString& path)
{
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles)
        files.removeLast();
    QSettings settings = Settings();
    settings.setValue(QStringLiteral("RecentFiles"), files);
    RebuildRecentMenu();
}

void CMainFrame::RebuildRecentMenu()
{
    QStringList files = RecentFiles();
    for (int i = 0; i < kRecentFiles; ++i) {
        QAction* action = m_recentActions[i];
        bool used = i < files.size();
        action->setVisible(used);
        if (used) {
            QString shown = files[i];
            shown.replace('&', QStringLiteral("&&"));
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
            action->setData(files[i]);
        }
    }
    m_recentSeparator->setVisible(!files.isEmpty());
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!m_doc.SaveModified()) {
        event->ignore();
        return;
    }
    if (isVisible()) {
        QSettings settings = Settings();
        settings.setValue(QStringLiteral("MainWindow/geometry"), saveGeometry());
    }
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    activateWindow();
    // Opening may ask questions; the drag's source must not wait for them.
    std::string path = urls.first().toLocalFile().toLocal8Bit().toStdString();
    QTimer::singleShot(0, this, [this, path] { m_doc.OpenNamed(path); });
}
