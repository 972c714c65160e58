#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Formats.h"
#include "Model.h"

class CMainFrame;

// The one document of the program: it is the model, and it turns the model's
// notifications into what the user sees (status bar, message boxes, wait
// cursor, redraws, the modified mark in the title).
class CVexelDoc : public QObject, public CModel
{
    Q_OBJECT

public:
    CVexelDoc();
    ~CVexelDoc() override;

    void SetFrame(CMainFrame* frame) { m_frame = frame; }
    // False while nobody can answer a message box or a file dialog (an
    // unattended conversion without a display): texts then go to standard
    // output only and dialogs count as cancelled.
    void SetInteractive(bool interactive) { m_interactive = interactive; }
    bool IsInteractive() const { return m_interactive; }
    // Set by the view while it paints, when the status bar may not be
    // repainted synchronously.
    void SetPainting(bool painting) { m_painting = painting; }

    // Notifications.
    void ShowStatus(const char* text) override;
    void ShowError(const char* text) override;
    void ShowInfo(const char* text) override;
    void UpdateViews() override;
    void SetModified(bool flag) override;
    void BeginWait() override;
    void EndWait() override;

    bool IsModified() const { return m_modified; }
    // Output Preferences' "Verify after saving": every save is read back and
    // compared, and the comparison shown.
    bool m_verifyAfterSave = false;
    int WaitDepth() const { return m_waitDepth; }
    const QString& PathName() const { return m_pathName; }
    // The name the title and the save prompt use: the file's name, or "Untitled".
    QString Title() const;
    void SetPathName(const QString& path, bool addToRecent = true);

    // Document operations.
    void DeleteContents();
    bool OnNewDocument();
    bool OnOpenDocument(const std::string& path);
    // `chosen`: the name came from a file dialog, so an extension that cannot
    // be saved is explained before the dialog asks again.
    bool OnSaveDocument(const std::string& path, bool chosen = false);
    // Before replacing or closing a modified document: asks "Save changes to
    // %1?". False when the user cancelled or the save failed.
    bool SaveModified();

    // File menu commands.
    void OnFileNew();
    void OnFileOpen();
    bool OnFileSave();
    void OnFileSaveAs();
    void OnOpenFormat(const char* formatName);
    void OnSaveFormat(const char* formatName);
    void OnOpenTrueType();
    // Opens a file named by the recent-file list or dropped on the window.
    void OpenNamed(const std::string& path);

    // A file dialog: empty when cancelled. `filter` uses "|" separators.
    // A name typed without an extension gets `suffix`, when one is given.
    QString AskFileName(bool save, const QString& filter, const QString& caption = QString(),
                        const QString& suffix = QString());

signals:
    void ViewsChanged();
    void TitleChanged();
    void RecentFileUsed(const QString& path);

private:
    bool RunTrueType(const std::string& fontPath);
    // Runs `read` on a model of its own and takes it over when it read
    // polygons without an error; otherwise the document stays as it was.
    bool Load(const std::string& path, const std::function<bool(CModel&)>& read);
    void ShowBox(int icon, const char* text);
    // Writes the document with `write`; the message boxes it raises wait
    // until it has ended, when a failed save has removed its temporary file
    // (on a full disk the space is back while the user reads why).
    bool Write(const std::function<bool()>& write);
    void ShowVerification(const CFormat* format, const std::string& path, const CWriteTally& tally);

    CMainFrame* m_frame = nullptr;
    QString m_pathName;
    bool m_modified = false;
    bool m_interactive = true;
    bool m_painting = false;
    int m_waitDepth = 0;
    // Boxes held back while a file is written, in order: icon and text.
    std::vector<std::pair<int, std::string>>* m_heldBoxes = nullptr;
};

// Builds extruded text from a TrueType font into the model as its only group.
bool BuildTrueTypeText(CModel& model, const std::string& fontPath, const std::string& utf8Text);

// The caption of the program's message boxes.
extern const char* const kAppTitle;
