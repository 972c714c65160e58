#include "VexelDoc.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <cctype>
#include <cstdio>
#include <functional>
#include <new>

#include "Dialogs.h"
#include "FileCommands.h"
#include "MainFrame.h"
#include "Verify.h"

const char* const kAppTitle = "Trivex Windows Application";

namespace {

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string LastThree(const std::string& path)
{
    return Lower(path.size() >= 3 ? path.substr(path.size() - 3) : path);
}

bool CanOpen(const std::string& path, const char* mode)
{
    FILE* fp = std::fopen(path.c_str(), mode);
    if (!fp)
        return false;
    std::fclose(fp);
    return true;
}

std::string ToLocal(const QString& s)
{
    return s.toLocal8Bit().toStdString();
}

// Reads a file in the document's place: its texts and wait cursor are the
// document's, but nothing is drawn from it and it marks nothing modified
// until the document takes it over.
class CLoadModel : public CModel
{
public:
    explicit CLoadModel(CModel& shown) : m_shown(shown) {}
    ~CLoadModel() override
    {
        while (m_waits > 0)
            EndWait();
    }

    int Errors() const { return m_errors; }

    void ShowStatus(const char* text) override { m_shown.ShowStatus(text); }
    bool ShowsStatus() const override { return m_shown.ShowsStatus(); }
    void ShowError(const char* text) override
    {
        ++m_errors;
        m_shown.ShowError(text);
    }
    void ShowInfo(const char* text) override { m_shown.ShowInfo(text); }
    void ShowWarning(const char* text) override { m_shown.ShowWarning(text); }
    void ShowNotice(const char* text) override { m_shown.ShowNotice(text); }
    void BeginWait() override
    {
        ++m_waits;
        m_shown.BeginWait();
    }
    void EndWait() override
    {
        if (m_waits == 0)
            return;
        --m_waits;
        m_shown.EndWait();
    }

private:
    CModel& m_shown;
    int m_errors = 0;
    int m_waits = 0;
};

}  // namespace

CVexelDoc::CVexelDoc() = default;

CVexelDoc::~CVexelDoc()
{
    // The model's destructor must not reach back into a window that is gone.
    m_frame = nullptr;
    while (m_waitDepth > 0)
        EndWait();
}

void CVexelDoc::ShowStatus(const char* text)
{
    if (!m_frame)
        return;  // during start-up and shut-down the text has nowhere to go
    QStatusBar* bar = m_frame->statusBar();
    m_frame->SetStatusText(QString::fromLocal8Bit(text));
    // Long operations hold the event loop, so the text is painted now; a
    // paint already in progress on the same window cannot nest another.
    if (!m_painting && bar->isVisible())
        bar->repaint();
}

void CVexelDoc::ShowBox(int icon, const char* text)
{
    std::fflush(stdout);
    if (!m_interactive)
        return;
    if (m_heldBoxes) {
        try {
            m_heldBoxes->emplace_back(icon, text);
            return;
        } catch (const std::bad_alloc&) {
            // Shown now, then.
        }
    }
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), QString::fromLatin1(kAppTitle), QString::fromLocal8Bit(text),
                    QMessageBox::Ok, m_frame);
    FitTitle(box);
    box.exec();
}

bool CVexelDoc::Write(const std::function<bool()>& write)
{
    std::vector<std::pair<int, std::string>> held;
    m_heldBoxes = &held;
    const bool written = write();
    m_heldBoxes = nullptr;
    for (const auto& [icon, text] : held)
        ShowBox(icon, text.c_str());
    return written;
}

void CVexelDoc::ShowVerification(const CFormat* format, const std::string& path, const CWriteTally& tally)
{
    if (!format)
        return;
    const CVerifyReport report = VerifyWrittenFile(*this, *format, path, tally);
    const std::string table = report.Table();
    std::printf("Verify: %s", table.c_str());
    std::fflush(stdout);
    if (!m_interactive)
        return;
    // The table lines up only in a fixed-width font.
    QMessageBox box(report.verdict == EVerdict::Differs ? QMessageBox::Warning : QMessageBox::Information,
                    QString::fromLatin1(kAppTitle),
                    QStringLiteral("<pre>") + QString::fromLocal8Bit(table.c_str()).toHtmlEscaped() +
                        QStringLiteral("</pre>"),
                    QMessageBox::Ok, m_frame);
    box.setTextFormat(Qt::RichText);
    FitTitle(box);
    box.exec();
}

void CVexelDoc::ShowError(const char* text)
{
    std::printf("ErrorMessage: %s\n", text);
    ShowBox(QMessageBox::Warning, text);
}

void CVexelDoc::ShowInfo(const char* text)
{
    std::printf("InfoMessage: %s\n", text);
    ShowBox(QMessageBox::NoIcon, text);
}

void CVexelDoc::UpdateViews()
{
    emit ViewsChanged();
}

void CVexelDoc::SetModified(bool flag)
{
    if (m_modified == flag)
        return;
    m_modified = flag;
    emit TitleChanged();
}

void CVexelDoc::BeginWait()
{
    ++m_waitDepth;
    if (qApp)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CVexelDoc::EndWait()
{
    if (m_waitDepth == 0)
        return;
    --m_waitDepth;
    if (qApp)
        QApplication::restoreOverrideCursor();
}

QString CVexelDoc::Title() const
{
    return m_pathName.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(m_pathName).fileName();
}

void CVexelDoc::SetPathName(const QString& path, bool addToRecent)
{
    m_pathName = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (addToRecent && !m_pathName.isEmpty())
        emit RecentFileUsed(m_pathName);
    emit TitleChanged();
}

void CVexelDoc::DeleteContents()
{
    Clear(true);
}

bool CVexelDoc::OnNewDocument()
{
    DeleteContents();
    SetPathName(QString(), false);
    SetModified(false);
    return true;
}

bool CVexelDoc::OnOpenDocument(const std::string& path)
{
    if (LastThree(path) == "ttf") {
        if (!CanOpen(path, "rb")) {
            ErrorMessage("Couldn't open file %s", path.c_str());
            return false;
        }
        if (!RunTrueType(path))
            return false;
        SetPathName(QString::fromLocal8Bit(path.c_str()));
        return true;
    }
    if (!Load(path, [&path](CModel& model) { return OpenByName(model, path); }))
        return false;
    SetPathName(QString::fromLocal8Bit(path.c_str()));
    return true;
}

bool CVexelDoc::Load(const std::string& path, const std::function<bool(CModel&)>& read)
{
    CLoadModel load(*this);
    load.CopySettings(*this);
    bool ok = read(load) && load.Errors() == 0;
    if (ok && load.GetPolygonCount() == 0) {
        const std::string name = QFileInfo(QString::fromLocal8Bit(path.c_str())).fileName().toLocal8Bit().toStdString();
        load.ErrorMessage("%s: no polygons found", name.c_str());
        ok = false;
    }
    if (!ok) {
        // The reader's last text ("File Read Finished") would say it worked.
        StatusMessage("Ready");
        return false;
    }
    Swap(load);
    UpdateViews();
    SetModified(false);
    return true;
}

bool CVexelDoc::OnSaveDocument(const std::string& path, bool chosen)
{
    std::string target = path;
    for (;;) {
        CWriteTally tally;
        const CWriteTallyScope counting(*this, m_verifyAfterSave ? &tally : nullptr);
        ESaveResult result = ESaveResult::Failed;
        Write([&] {
            result = SaveByName(*this, target);
            return result == ESaveResult::Saved;
        });
        if (result == ESaveResult::Saved) {
            if (m_verifyAfterSave)
                ShowVerification(FormatForExtension(ExtensionOf(target), true), target, tally);
            return true;
        }
        if (result == ESaveResult::Failed)
            return false;
        // An extension the generic save does not write: ask for another name.
        std::string last = target.size() >= 3 ? target.substr(target.size() - 3) : target;
        last.insert(0, 3 - last.size(), ' ');
        if (!m_interactive) {
            ErrorMessage("Unsupported file type of %c%c%c", last[0], last[1], last[2]);
            return false;
        }
        // A name the user typed is told why it is asked again.
        if (chosen)
            ErrorMessage("Unsupported file type of %c%c%c\nSave As writes .pov, .inc, .dxf, .raw, .tpo, .nff, .cob and "
                         ".stl files; the Save As submenu has a command for every format.",
                         last[0], last[1], last[2]);
        QString name = AskFileName(true, DialogFilter(kGenericSaveFilter));
        if (name.isEmpty())
            return true;
        target = ToLocal(name);
        chosen = true;
    }
}

bool CVexelDoc::SaveModified()
{
    if (!m_modified || !m_interactive)
        return true;
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppTitle),
                    QStringLiteral("Save changes to %1?").arg(Title()),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_frame);
    FitTitle(box);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return OnFileSave();
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void CVexelDoc::OnFileNew()
{
    if (SaveModified())
        OnNewDocument();
}

void CVexelDoc::OnFileOpen()
{
    if (!SaveModified())
        return;
    QString name = AskFileName(false, DialogFilter(kGenericOpenFilter));
    if (!name.isEmpty())
        OnOpenDocument(ToLocal(name));
}

void CVexelDoc::OpenNamed(const std::string& path)
{
    if (SaveModified())
        OnOpenDocument(path);
}

bool CVexelDoc::OnFileSave()
{
    if (m_pathName.isEmpty()) {
        QString name = AskFileName(true, DialogFilter(kGenericSaveFilter));
        if (name.isEmpty())
            return false;
        if (!OnSaveDocument(ToLocal(name), true))
            return false;
        if (!m_modified)
            SetPathName(name);
        return !m_modified;
    }
    return OnSaveDocument(ToLocal(m_pathName)) && !m_modified;
}

void CVexelDoc::OnFileSaveAs()
{
    QString name = AskFileName(true, DialogFilter(kGenericSaveFilter));
    if (!name.isEmpty())
        OnSaveDocument(ToLocal(name), true);
}

void CVexelDoc::OnOpenFormat(const char* formatName)
{
    const CFileCommand* command = FindFileCommand(formatName, false);
    if (!command || !SaveModified())
        return;
    if (command->format == std::string("ttf")) {
        OnOpenTrueType();
        return;
    }
    QString name = AskFileName(false, DialogFilter(command->filter));
    if (name.isEmpty())
        return;
    const std::string path = ToLocal(name);
    // A file that cannot be opened ends the command without a word.
    if (!CanOpen(path, command->readMode ? command->readMode : "r"))
        return;
    const CFormat* format = FindFormat(formatName);
    if (!format->CanRead()) {
        ErrorMessage("Reading %s files is not supported", format->description);
        return;
    }
    if (Load(path, [format, &path](CModel& model) { return ReadModelFile(model, *format, path); }))
        SetPathName(name);
}

void CVexelDoc::OnSaveFormat(const char* formatName)
{
    const CFileCommand* command = FindFileCommand(formatName, true);
    if (!command)
        return;
    // The format was chosen from the menu: a bare name gets its extension.
    const CFormat* format = FindFormat(formatName);
    QString name = AskFileName(true, DialogFilter(command->filter), QString(), QString::fromLatin1(format->extension));
    if (name.isEmpty())
        return;
    CWriteTally tally;
    const CWriteTallyScope counting(*this, m_verifyAfterSave ? &tally : nullptr);
    if (Write([&] { return WriteModelFile(*this, *format, ToLocal(name)); }) && m_verifyAfterSave)
        ShowVerification(format, ToLocal(name), tally);
}

void CVexelDoc::OnOpenTrueType()
{
    const CFileCommand* command = FindFileCommand("ttf", false);
    QString name = AskFileName(false, DialogFilter(command->filter));
    if (!name.isEmpty())
        RunTrueType(ToLocal(name));
}

bool CVexelDoc::RunTrueType(const std::string& fontPath)
{
    std::string text = "Test";
    if (m_interactive) {
        CTrueTypeDialog dialog(m_frame);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        text = dialog.Text().toStdString();
    }
    return Load(fontPath, [&](CModel& model) { return BuildTrueTypeText(model, fontPath, text); });
}

namespace {
// Icons and the Type column from the name alone. By default they come from
// the MIME database, which reads each listed file's first bytes on the
// window's thread, and a special file that never answers (/proc/kmsg, to
// the superuser) would freeze the window as soon as its folder is shown.
class CNameOnlyIcons : public QFileIconProvider
{
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo& info) const override { return icon(info.isDir() ? Folder : File); }
    QString type(const QFileInfo& info) const override
    {
        if (info.isDir())
            return QStringLiteral("Folder");
        return info.suffix().isEmpty() ? QStringLiteral("File") : info.suffix().toUpper() + QStringLiteral(" File");
    }
};
}  // namespace

QString CVexelDoc::AskFileName(bool save, const QString& filter, const QString& caption, const QString& suffix)
{
    if (!m_interactive)
        return QString();
    CNameOnlyIcons icons;
    QFileDialog dialog(m_frame, caption.isEmpty() ? (save ? QStringLiteral("Save As") : QStringLiteral("Open"))
                                                  : caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setNameFilter(filter);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(suffix);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::ReadOnly, false);
    }
    if (!m_pathName.isEmpty())
        dialog.setDirectory(QFileInfo(m_pathName).absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}
