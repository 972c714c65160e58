#include <gtest/gtest.h>

#include <QAction>
#include <filesystem>

#include "CommandIds.h"
#include "Dialogs.h"
#include "MainFrame.h"
#include "ModalDriver.h"
#include "VexelDoc.h"

namespace fs = std::filesystem;

// Output Preferences' "Verify after saving" starts unchecked; checked, a save
// reads the file back and shows the comparison, without marking the model
// changed.
TEST(VerifyAfterSave, ShowsTheComparisonAfterASave)
{
    const fs::path dir = fs::temp_directory_path() / ("trivex-verify-app-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    CVexelDoc doc;
    CMainFrame frame(doc);
    frame.show();
    ASSERT_TRUE(doc.OnOpenDocument(std::string(TRIVEX_SAMPLES_DIR) + "/house.obj"));
    // A scale the dialog's field shows in full, so that only the check box
    // could mark the model changed.
    doc.m_scale = 2.0f;
    doc.SetModified(false);
    bool wasChecked = true;
    OnNextModal([&](QWidget* w) {
        auto* dialog = qobject_cast<COutputPrefsDialog*>(w);
        wasChecked = dialog->m_verify->isChecked();
        dialog->m_verify->setChecked(true);
        dialog->accept();
    });
    frame.Action(ID_PREFS_OUTPUT)->trigger();
    EXPECT_FALSE(wasChecked);
    EXPECT_TRUE(doc.m_verifyAfterSave);
    EXPECT_FALSE(doc.IsModified());

    for (const char* name : {"house.nff", "house.pov"}) {
        QString shown;
        AnswerNextBox(&shown);
        ASSERT_TRUE(doc.OnSaveDocument((dir / name).string())) << name;
        const bool nff = std::string(name) == "house.nff";
        EXPECT_TRUE(shown.contains(nff ? QStringLiteral("verified: ") : QStringLiteral("not verifiable: no reader")))
            << name << ": " << shown.toStdString();
        if (nff) {
            EXPECT_TRUE(shown.contains(QStringLiteral("triangles"))) << shown.toStdString();
        }
    }
    doc.SetModified(false);
    fs::remove_all(dir);
}
