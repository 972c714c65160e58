#include "App.h"

#include <QApplication>

#include "CommandLine.h"
#include "MainFrame.h"
#include "VexelDoc.h"

int RunTrivex(QApplication& app, const std::vector<std::string>& args)
{
    QApplication::setApplicationName(QStringLiteral("Trivex"));
    QApplication::setOrganizationName(QStringLiteral("Trivex"));

    const CCommandLine line = ScanCommandLine(args);
    CVexelDoc doc;
    // An unattended conversion on a machine without a screen has nobody to
    // answer a message box; its errors go to standard output alone.
    const QString platform = QGuiApplication::platformName();
    const bool headless = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
    doc.SetInteractive(!(line.quit && headless));

    CMainFrame frame(doc);
    doc.OnNewDocument();
    // With -t the window stays hidden: the conversion shows nothing but errors.
    if (!line.quit)
        frame.show();

    bool ok = true;
    if (!line.input.empty())
        ok = doc.OnOpenDocument(line.input);
    if (ok && !line.output.empty())
        ok = doc.OnSaveDocument(line.output);
    if (line.quit) {
        // Nothing to ask on the way out: the user chose the output already.
        doc.SetModified(false);
        frame.close();
        return ok ? 0 : 1;
    }
    return app.exec();
}
