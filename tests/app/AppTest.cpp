#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QAbstractFileIconProvider>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QDropEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "CommandIds.h"
#include "Dialogs.h"
#include "MainFrame.h"
#include "ModalDriver.h"
#include "TestFiles.h"
#include "VexelDoc.h"
#include "VexelView.h"

namespace fs = std::filesystem;

namespace {

const std::string kHouse = std::string(TRIVEX_SAMPLES_DIR) + "/house.obj";

class AppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("trivex-app-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        frame = std::make_unique<CMainFrame>(doc);
        frame->resize(640, 480);
        frame->show();
        view = frame->View();
    }
    void TearDown() override
    {
        doc.SetModified(false);
        frame.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void Trigger(int command) { frame->Action(command)->trigger(); }
    std::vector<CVector> Vertices() const
    {
        std::vector<CVector> v;
        for (int i = 0; i < doc.GetVertexCount(); ++i)
            v.push_back(*doc.m_vertices.GetAt(i));
        return v;
    }
    CGroup* Group(const std::string& name)
    {
        for (int i = 0; i < doc.GetGroupCount(); ++i)
            if (doc.GetGroup(i)->name == name)
                return doc.GetGroup(i);
        return nullptr;
    }

    fs::path dir;
    CVexelDoc doc;
    std::unique_ptr<CMainFrame> frame;
    CVexelView* view = nullptr;
};

TEST_F(AppTest, OpenShowsModelTitleAndStatus)
{
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("house.obj[*] - Trivex"));
    EXPECT_FALSE(frame->isWindowModified());
    EXPECT_GT(doc.GetPolygonCount(), 0);
    EXPECT_TRUE(frame->Action(ID_OBJECT_COLORS)->isEnabled());
    QImage picture = view->grab().toImage();
    EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("Ready"));
    int inked = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            inked += picture.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(inked, 500);
    EXPECT_EQ(doc.WaitDepth(), 0);
    EXPECT_EQ(view->PixelScale(), PixelScale(view->width(), view->height(), doc.m_zoom));

    // Names the generic open refuses leave the model as it was.
    const long polygons = doc.GetPolygonCount();
    QString message;
    AnswerNextBox(&message);
    EXPECT_FALSE(doc.OnOpenDocument((dir / "x.asc").string()));
    EXPECT_EQ(message, QStringLiteral("Unsupported file type of asc"));
    EXPECT_EQ(doc.GetPolygonCount(), polygons);

    // A reader that gives up leaves the model that was shown.
    testfiles::WriteAll(dir / "bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nv 1 x\n");
    AnswerNextBox(&message);
    EXPECT_FALSE(doc.OnOpenDocument((dir / "bad.obj").string()));
    EXPECT_EQ(doc.GetPolygonCount(), polygons);
    EXPECT_EQ(doc.WaitDepth(), 0);
}

TEST_F(AppTest, ViewCommandsChangeTheModel)
{
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    const std::vector<CVector> before = Vertices();

    Trigger(ID_MIRROR_X);
    std::vector<CVector> mirrored = Vertices();
    ASSERT_EQ(mirrored.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(mirrored[i], CVector(-before[i].x, before[i].y, before[i].z)) << i;
    EXPECT_TRUE(frame->isWindowModified());
    Trigger(ID_MIRROR_X);

    const float zoom = doc.m_zoom;
    Trigger(ID_ZOOM_IN);
    Trigger(ID_ZOOM_OUT);
    EXPECT_FLOAT_EQ(doc.m_zoom, zoom * 0.9375f);
    EXPECT_EQ(view->PixelScale(), PixelScale(view->width(), view->height(), doc.m_zoom));

    // Rotate: only the non-zero angle turns the model.
    OnNextModal([](QWidget* w) {
        auto* d = qobject_cast<CRotateDialog*>(w);
        // The fields line up, though "Rotate Y: " is narrower than the others.
        EXPECT_EQ(d->m_y->x(), d->m_x->x());
        EXPECT_EQ(d->m_z->x(), d->m_x->x());
        d->m_x->setText("90");
        d->m_z->setText("-0");
        d->accept();
    });
    Trigger(ID_OBJECT_ROTATE);
    std::vector<CVector> turned = Vertices();
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(turned[i], before[i].RotateX(90)) << i;

    // Information reports the counts in one box.
    QString info;
    AnswerNextBox(&info);
    Trigger(ID_OBJECT_INFO);
    EXPECT_TRUE(info.startsWith(QStringLiteral("vertices   = %1").arg(doc.GetVertexCount()))) << info.toStdString();
}

TEST_F(AppTest, ColorsDialogEditsGroupsAndRefits)
{
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    const float scale = doc.m_scale;
    // The chimney stands above the roof; without it the model is smaller.
    OnNextModal([this](QWidget* w) {
        auto* d = qobject_cast<CColorsDialog*>(w);
        int chimney = d->m_groups->row(d->m_groups->findItems("chimney", Qt::MatchExactly).first());
        d->m_groups->setCurrentRow(chimney);
        d->m_ignore->click();
        d->m_colors->setCurrentRow(FindColor("Wheat"));
        d->SmoothAll();
        EXPECT_TRUE(d->m_smooth->isChecked());
        // Renaming the door: everything but letters and digits becomes "_".
        d->m_groups->setCurrentRow(d->m_groups->row(d->m_groups->findItems("door", Qt::MatchExactly).first()));
        OnNextModal([](QWidget* n) {
            auto* named = qobject_cast<CGroupNameDialog*>(n);
            named->m_name->setText("my part #2");
            named->accept();
        }, d);
        d->EditName();
        EXPECT_EQ(d->m_groups->currentItem()->text(), QStringLiteral("my_part__2"));
        d->accept();
    });
    Trigger(ID_OBJECT_COLORS);

    ASSERT_NE(Group("chimney"), nullptr);
    EXPECT_EQ(Group("chimney")->active, 0);
    EXPECT_EQ(Group("chimney")->colorIndex, FindColor("Wheat"));
    EXPECT_NE(Group("my_part__2"), nullptr);
    for (int i = 0; i < doc.GetGroupCount(); ++i)
        EXPECT_EQ(doc.GetGroup(i)->smooth, 1) << i;  // ignored groups too
    EXPECT_LT(doc.m_scale, scale);
    doc.ComputeRange();
    for (int axis = 0; axis < 3; ++axis)
        EXPECT_NEAR(doc.m_min[axis] + doc.m_max[axis], 0.0f, 1e-4f) << axis;  // centred on what remains
}

// Each numeric field refuses text that is no number and values out of range,
// and the dialog stays open.
TEST_F(AppTest, NumericFieldsRefuseBadInput)
{
    struct Case { int command; std::function<QLineEdit*(QWidget*)> field; const char* text; const char* message; };
    const Case cases[] = {
        {ID_OBJECT_ROTATE, [](QWidget* w) { return qobject_cast<CRotateDialog*>(w)->m_x; }, "400",
         "Please enter a number between -360 and 360."},
        {ID_OBJECT_ROTATE, [](QWidget* w) { return qobject_cast<CRotateDialog*>(w)->m_z; }, "ten",
         "Please enter a number."},
        {ID_PREFS_VIEW, [](QWidget* w) { return qobject_cast<CViewPrefsDialog*>(w)->m_angle; }, "180.5",
         "Please enter a number between 0 and 180."},
        {ID_PREFS_OUTPUT, [](QWidget* w) { return qobject_cast<COutputPrefsDialog*>(w)->m_scale; }, "0.0001",
         "Please enter a number between 0.001 and 500."},
        {ID_PREFS_DXF, [](QWidget* w) { return qobject_cast<CDxfPrefsDialog*>(w)->m_extrusion; }, "",
         "Please enter a number."},
        {ID_BACKGROUND_FLOOR, [](QWidget* w) { return qobject_cast<CFloorDialog*>(w)->m_offset; }, "1e",
         "Please enter a number."},
        // Text that reads as a number but is none a user means.
        {ID_OBJECT_ROTATE, [](QWidget* w) { return qobject_cast<CRotateDialog*>(w)->m_x; }, "nan",
         "Please enter a number."},
        {ID_PREFS_OUTPUT, [](QWidget* w) { return qobject_cast<COutputPrefsDialog*>(w)->m_scale; }, "NaN",
         "Please enter a number."},
        {ID_PREFS_DXF, [](QWidget* w) { return qobject_cast<CDxfPrefsDialog*>(w)->m_extrusion; }, "nan",
         "Please enter a number."},
        {ID_BACKGROUND_FLOOR, [](QWidget* w) { return qobject_cast<CFloorDialog*>(w)->m_offset; }, "1e39",
         "Please enter a number."},
        {ID_BACKGROUND_FLOOR, [](QWidget* w) { return qobject_cast<CFloorDialog*>(w)->m_offset; }, "-inf",
         "Please enter a number."},
    };
    for (const Case& c : cases) {
        QString message;
        bool stayedOpen = false;
        OnNextModal([&](QWidget* w) {
            QLineEdit* edit = c.field(w);
            ASSERT_NE(edit, nullptr);
            edit->setText(QString::fromLatin1(c.text));
            OnNextModal([&, w](QWidget* box) {
                message = qobject_cast<QMessageBox*>(box)->text();
                qobject_cast<QMessageBox*>(box)->accept();
                OnNextModal([&, w](QWidget* again) {
                    stayedOpen = again == w;
                    qobject_cast<QDialog*>(again)->reject();
                });
            }, w);
            qobject_cast<QDialog*>(w)->accept();
        });
        Trigger(c.command);
        EXPECT_EQ(message.toStdString(), c.message) << c.text;
        EXPECT_TRUE(stayedOpen) << c.text;
    }
}

TEST_F(AppTest, FloorAndViewPreferences)
{
    doc.SetGroup("g", 0, 0);
    doc.AddTriangle({0, -2, 0}, {1, 0, 0}, {0, 1, 0});
    doc.CreateXRef();
    doc.CalculateNormals();
    doc.m_scale = 3;
    QString shown;
    OnNextModal([&](QWidget* w) {
        auto* d = qobject_cast<CFloorDialog*>(w);
        shown = d->m_offset->text();
        d->m_buttons[2]->setChecked(true);
        d->accept();
    });
    Trigger(ID_BACKGROUND_FLOOR);
    EXPECT_EQ(shown, QStringLiteral("-6"));
    EXPECT_FLOAT_EQ(doc.m_floorOffset, -2.0f);
    EXPECT_EQ(doc.m_floorType, 2);

    OnNextModal([](QWidget* w) {
        auto* d = qobject_cast<CViewPrefsDialog*>(w);
        d->m_angle->setText("0");
        d->m_cull->setChecked(true);
        d->accept();
    });
    Trigger(ID_PREFS_VIEW);
    EXPECT_EQ(view->m_cullBackfaces, 1);
    EXPECT_EQ(doc.m_smoothAngle, 0.0f);
    ASSERT_GT(doc.m_vertexNormals.GetCount(), 0);
    for (int i = 0; i < doc.m_vertexNormals.GetCount(); ++i)
        EXPECT_EQ(*doc.m_vertexNormals.GetAt(i), CVector(0, 0, 0)) << i;
}

// The DXF dialog also holds the 3D Studio keyframer switch, on by default.
TEST_F(AppTest, InstancesSwitchInTheDxfDialog)
{
    bool shown = false;
    OnNextModal([&](QWidget* w) {
        auto* d = qobject_cast<CDxfPrefsDialog*>(w);
        shown = d->m_instances->isChecked();
        d->m_instances->setChecked(false);
        d->accept();
    });
    Trigger(ID_PREFS_DXF);
    EXPECT_TRUE(shown);
    EXPECT_EQ(doc.m_place3dsNodes, 0);
}

TEST_F(AppTest, SavePromptOnNewAndRecentFiles)
{
    // Five opens keep the last four, newest first.
    std::vector<std::string> names;
    for (int i = 0; i < 5; ++i) {
        fs::path p = dir / ("m" + std::to_string(i) + ".obj");
        fs::copy_file(kHouse, p);
        names.push_back(fs::absolute(p).string());
        ASSERT_TRUE(doc.OnOpenDocument(p.string()));
    }
    QStringList recent = frame->RecentFiles();
    ASSERT_EQ(recent.size(), 4);
    EXPECT_EQ(recent.first().toStdString(), names[4]);
    EXPECT_EQ(recent.last().toStdString(), names[1]);
    EXPECT_EQ(frame->Action(ID_FILE_MRU_FIRST)->text(), QStringLiteral("&1 ") + recent.first());

    // A modified document asks before New; Cancel keeps it, No drops it.
    doc.MirrorY(true);
    QString prompt;
    AnswerNextBox(&prompt, QMessageBox::Cancel);
    Trigger(ID_FILE_NEW);
    EXPECT_EQ(prompt, QStringLiteral("Save changes to m4.obj?"));
    EXPECT_GT(doc.GetPolygonCount(), 0);
    AnswerNextBox(&prompt, QMessageBox::No);
    Trigger(ID_FILE_NEW);
    EXPECT_EQ(doc.GetPolygonCount(), 0);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Untitled[*] - Trivex"));

    // Yes on a model read from a file the generic save cannot write asks for a
    // name; a .pov name then gets the scene.
    ASSERT_TRUE(doc.OnOpenDocument(names[0]));
    doc.MirrorZ(true);
    const fs::path pov = dir / "saved.pov";
    AnswerNextBox(nullptr, QMessageBox::Yes);
    OnNextModal([&](QWidget* w) {
        auto* files = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(files, nullptr);
        AnswerFileDialog(files, QString::fromStdString(pov.string()));
    });
    Trigger(ID_FILE_NEW);
    EXPECT_TRUE(fs::exists(pov));
    EXPECT_EQ(doc.GetPolygonCount(), 0);

    // A file dropped on the window opens as if chosen.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(names[2]))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &drop);
    QCoreApplication::processEvents();
    EXPECT_GT(doc.GetPolygonCount(), 0);
    EXPECT_EQ(frame->RecentFiles().first().toStdString(), names[2]);
}

// The Open and Save As submenus: each command's dialog offers its own filter,
// opening names the document, saving leaves its name alone.
TEST_F(AppTest, FormatCommandsUseTheirDialogs)
{
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    QStringList filters;
    auto choose = [&](const fs::path& path) {
        OnNextModal([&filters, path](QWidget* w) {
            auto* files = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(files, nullptr);
            filters = files->nameFilters();
            AnswerFileDialog(files, QString::fromStdString(path.string()));
        });
    };
    const fs::path obj = dir / "copy.obj";
    choose(obj);
    Trigger(32811);  // Save As / Wavefront
    EXPECT_EQ(filters, QStringList{QStringLiteral("Wavefront (*.obj)")});
    CModel reference;
    ASSERT_TRUE(OpenByName(reference, kHouse));
    const fs::path expected = dir / "expected.obj";
    ASSERT_TRUE(WriteModelFile(reference, *FindFormat("obj"), expected.string()));
    EXPECT_EQ(testfiles::ReadAll(obj), testfiles::ReadAll(expected));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("house.obj[*] - Trivex"));
    // A name typed bare gets the chosen format's extension.
    choose(dir / "bare");
    Trigger(32836);  // Save As / STL
    EXPECT_TRUE(fs::exists(dir / "bare.stl"));
    EXPECT_FALSE(fs::exists(dir / "bare"));

    // Cancelling an open leaves the model as it was. The listing describes
    // files by name without reading them (a special file may never answer).
    const long polygons = doc.GetPolygonCount();
    const fs::path picture = dir / "picture.raw";
    std::ofstream(picture, std::ios::binary) << "\x89PNG\r\n\x1a\n";
    QString type;
    OnNextModal([&](QWidget* w) {
        auto* files = qobject_cast<QFileDialog*>(w);
        filters = files->nameFilters();
        type = files->iconProvider()->type(QFileInfo(QString::fromStdString(picture.string())));
        files->reject();
    });
    Trigger(32804);  // Open / RAW
    EXPECT_EQ(filters, QStringList{QStringLiteral("RAW 3D File (*.raw)")});
    EXPECT_EQ(type, QStringLiteral("RAW File"));
    EXPECT_EQ(doc.GetPolygonCount(), polygons);

    choose(obj);
    Trigger(32802);  // Open / Wavefront
    EXPECT_GT(doc.GetPolygonCount(), 0);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("copy.obj[*] - Trivex"));
}

TEST_F(AppTest, FontOpensAsTextInOneGroup)
{
    const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!fs::exists(font))
        GTEST_SKIP() << "DejaVuSans.ttf is not installed (Debian package fonts-dejavu-core)";
    QString offered;
    OnNextModal([&offered](QWidget* w) {
        auto* d = qobject_cast<CTrueTypeDialog*>(w);
        ASSERT_NE(d, nullptr);
        offered = d->m_text->text();
        d->m_text->setText("Hi");
        d->accept();
    });
    ASSERT_TRUE(doc.OnOpenDocument(font));
    EXPECT_EQ(offered, QStringLiteral("Test"));
    ASSERT_EQ(doc.GetGroupCount(), 1);
    EXPECT_EQ(doc.GetGroup(0)->name, "TTFont");
    EXPECT_EQ(doc.GetGroup(0)->colorIndex, 96);
    EXPECT_EQ(doc.GetGroup(0)->textureIndex, 5);
    EXPECT_GT(doc.GetPolygonCount(), 0);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("DejaVuSans.ttf[*] - Trivex"));

    // Cancelling the text keeps what was there.
    const long polygons = doc.GetPolygonCount();
    OnNextModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(doc.OnOpenDocument(font));
    EXPECT_EQ(doc.GetPolygonCount(), polygons);
}

TEST_F(AppTest, WindowPlaceIsRememberedAcrossRuns)
{
    frame->resize(700, 430);
    ASSERT_TRUE(frame->close());
    CVexelDoc another;
    CMainFrame next(another);
    EXPECT_EQ(next.size(), QSize(700, 430));
}

TEST_F(AppTest, PrintingGivesOnePageOfTheSamePicture)
{
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    const fs::path pdf = dir / "page.pdf";
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf.string()));
    ASSERT_TRUE(view->PrintTo(printer));
    std::string bytes = testfiles::ReadAll(pdf);
    ASSERT_EQ(bytes.rfind("%PDF", 0), 0u);
    size_t pages = 0;
    for (size_t at = bytes.find("/Type /Page"); at != std::string::npos; at = bytes.find("/Type /Page", at + 1))
        if (bytes.compare(at, 12, "/Type /Pages") != 0)
            ++pages;
    EXPECT_EQ(pages, 1u);
    // The page's picture is scaled from the page width, the window's from its own.
    EXPECT_EQ(view->PixelScale(), PixelScale(view->width(), view->height(), doc.m_zoom));
    EXPECT_EQ(doc.WaitDepth(), 0);
}

}  // namespace

// A failed open leaves the document as it was: model, title and modified
// mark. Save afterwards then writes the model the user still sees.
TEST_F(AppTest, FailedOpenKeepsTheDocument)
{
    const fs::path dxf = dir / "house.dxf";
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    ASSERT_TRUE(doc.OnSaveDocument(dxf.string()));
    ASSERT_TRUE(doc.OnOpenDocument(dxf.string()));
    doc.MirrorX(true);
    const long polygons = doc.GetPolygonCount();
    const std::vector<CVector> shown = Vertices();
    const QString title = frame->windowTitle();

    std::string truncated3ds;
    const fs::path jeep = testfiles::CorpusDir("3ds") / "jeep1.3ds";
    if (fs::exists(jeep))
        truncated3ds = testfiles::ReadAll(jeep).substr(0, 3000);
    struct Case { const char* name; std::string bytes; int command; };  // command 0: the generic open
    const Case cases[] = {
        {"text.3ds", "this is no 3D Studio file\n", 0},
        {"cut.3ds", truncated3ds, 0},
        {"font.ttf", "no font either\n", 0},
        {"empty.obj", "", 0},
        {"faceless.obj", "v 0 0 0\nv 1 0 0\n", 0},
        {"empty.dxf", "", 0},
        {"model.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", 32805},  // Open / 3D Studio on an OBJ
    };
    for (const Case& c : cases) {
        if (c.bytes.empty() && std::string(c.name) == "cut.3ds")
            continue;  // the corpus is not beside the clone
        const fs::path path = dir / c.name;
        testfiles::WriteAll(path, c.bytes);
        QString message;
        if (path.extension() == ".ttf") {
            // The text is asked for before the font is read.
            OnNextModal([&message](QWidget* w) {
                OnNextModal([&message](QWidget* box) {
                    message = qobject_cast<QMessageBox*>(box)->text();
                    qobject_cast<QMessageBox*>(box)->accept();
                }, w);
                qobject_cast<QDialog*>(w)->accept();
            });
        } else if (c.command == 0) {
            AnswerNextBox(&message);
        }
        if (c.command == 0) {
            EXPECT_FALSE(doc.OnOpenDocument(path.string())) << c.name;
        } else {
            // The document is modified: No to saving it, then the file, then the error.
            OnNextModal([&](QWidget* prompt) {
                OnNextModal([&](QWidget* w) {
                    OnNextModal([&message](QWidget* box) {
                        message = qobject_cast<QMessageBox*>(box)->text();
                        qobject_cast<QMessageBox*>(box)->accept();
                    }, w);
                    AnswerFileDialog(qobject_cast<QFileDialog*>(w), QString::fromStdString(path.string()));
                }, prompt);
                qobject_cast<QMessageBox*>(prompt)->button(QMessageBox::No)->click();
            });
            Trigger(c.command);
        }
        EXPECT_FALSE(message.isEmpty()) << c.name << ": the failure is said";
        EXPECT_EQ(doc.GetPolygonCount(), polygons) << c.name;
        EXPECT_EQ(Vertices(), shown) << c.name;
        EXPECT_EQ(frame->windowTitle(), title) << c.name;
        EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("Ready")) << c.name;
        EXPECT_TRUE(doc.IsModified()) << c.name;
        EXPECT_EQ(doc.WaitDepth(), 0) << c.name;
    }
    ASSERT_TRUE(doc.OnFileSave());
    CModel saved;
    ASSERT_TRUE(OpenByName(saved, dxf.string()));
    EXPECT_EQ(saved.GetPolygonCount(), polygons);

    // Nothing without polygons is written over a file, window or not.
    doc.OnNewDocument();
    const std::string before = testfiles::ReadAll(dxf);
    QString message;
    AnswerNextBox(&message);
    EXPECT_FALSE(doc.OnSaveDocument(dxf.string()));
    EXPECT_EQ(message, QStringLiteral("no polygons found"));
    EXPECT_EQ(testfiles::ReadAll(dxf), before);
}

// A save the disk cuts short (here the file size limit) says so once its
// temporary file is gone: on a full disk the space is back by then.
TEST_F(AppTest, FailedSaveSpeaksAfterItsTemporaryFileIsGone)
{
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    const fs::path target = dir / "house.stl";
    testfiles::WriteAll(target, "precious");
    QString message;
    std::vector<std::string> filesAtTheBox;
    OnNextModal([&](QWidget* w) {
        for (const auto& entry : fs::directory_iterator(dir))
            filesAtTheBox.push_back(entry.path().filename().string());
        auto* box = qobject_cast<QMessageBox*>(w);
        message = box->text();
        box->accept();
    });
    struct rlimit unlimited;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    struct rlimit small = unlimited;
    small.rlim_cur = 1000;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = doc.OnSaveDocument(target.string());
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(message, QStringLiteral("Write Error: Out of Disk Space?"));
    EXPECT_EQ(filesAtTheBox, std::vector<std::string>{"house.stl"});
    EXPECT_EQ(testfiles::ReadAll(target), "precious");
}

// The Colors dialog's check boxes answer the mouse and the keyboard, and
// every edit a save would write marks the document modified.
TEST_F(AppTest, EditsAnswerAndMarkTheDocument)
{
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    OnNextModal([this](QWidget* w) {
        auto* d = qobject_cast<CColorsDialog*>(w);
        d->m_groups->setCurrentRow(d->m_groups->row(d->m_groups->findItems("chimney", Qt::MatchExactly).first()));
        QTest::mouseClick(d->m_ignore, Qt::LeftButton, {}, QPoint(5, d->m_ignore->height() / 2));
        QTest::mouseClick(d->m_selectedColor, Qt::LeftButton, {}, QPoint(5, d->m_selectedColor->height() / 2));
        d->m_smooth->setFocus();
        QTest::keyClick(d->m_smooth, Qt::Key_Space);
        EXPECT_TRUE(d->m_ignore->isChecked());
        EXPECT_FALSE(d->m_selectedColor->isChecked());
        EXPECT_TRUE(d->m_smooth->isChecked());
        d->accept();
    });
    Trigger(ID_OBJECT_COLORS);
    ASSERT_NE(Group("chimney"), nullptr);
    EXPECT_EQ(Group("chimney")->active, 0);
    EXPECT_EQ(Group("chimney")->drawSelectedColor, 0);
    EXPECT_EQ(Group("chimney")->smooth, 1);
    EXPECT_TRUE(doc.IsModified());

    struct Edit { const char* what; int command; std::function<void(QWidget*)> answer; };
    const Edit edits[] = {
        {"colour", ID_OBJECT_COLORS, [](QWidget* w) {
             auto* d = qobject_cast<CColorsDialog*>(w);
             d->m_colors->setCurrentRow(d->m_colors->currentRow() + 1);
             d->accept();
         }},
        {"sky", ID_BACKGROUND_SKY, [](QWidget* w) {
             qobject_cast<CSkyDialog*>(w)->m_buttons[2]->setChecked(true);
             qobject_cast<QDialog*>(w)->accept();
         }},
        {"floor", ID_BACKGROUND_FLOOR, [](QWidget* w) {
             qobject_cast<CFloorDialog*>(w)->m_buttons[1]->setChecked(true);
             qobject_cast<QDialog*>(w)->accept();
         }},
        {"scale", ID_PREFS_OUTPUT, [](QWidget* w) {
             auto* d = qobject_cast<COutputPrefsDialog*>(w);
             d->m_scale->setText(QStringLiteral("42"));
             d->accept();
         }},
        {"OBJ material file", ID_PREFS_OUTPUT, [](QWidget* w) {
             auto* d = qobject_cast<COutputPrefsDialog*>(w);
             EXPECT_FALSE(d->m_objMaterials->isChecked());  // off, as the model starts
             d->m_objMaterials->setChecked(true);
             d->accept();
         }},
        {"normal order", ID_PREFS_VIEW, [](QWidget* w) {
             auto* d = qobject_cast<CViewPrefsDialog*>(w);
             EXPECT_EQ(d->m_order->checkState(), Qt::PartiallyChecked);  // automatic, as the model starts
             d->m_order->setCheckState(Qt::Checked);
             d->accept();
         }},
    };
    for (const Edit& e : edits) {
        doc.SetModified(false);
        OnNextModal(e.answer);
        Trigger(e.command);
        EXPECT_TRUE(doc.IsModified()) << e.what;
    }
    EXPECT_EQ(doc.m_normalOrderSetting, 1);
    EXPECT_EQ(doc.m_objMaterials, 1);
    // The setting stays when the next file is opened.
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    EXPECT_EQ(doc.m_objMaterials, 1);
    // Looking without changing anything marks nothing.
    doc.SetModified(false);
    OnNextModal([](QWidget* w) { qobject_cast<QDialog*>(w)->accept(); });
    Trigger(ID_OBJECT_COLORS);
    EXPECT_FALSE(doc.IsModified());
}

// What the window offers and shows around the picture.
TEST_F(AppTest, MenusTipsAndSaveAsNames)
{
    ASSERT_TRUE(doc.OnOpenDocument(kHouse));
    // Hovering a menu shows tips and then gives the last status text back.
    EXPECT_FALSE(frame->Action(ID_OBJECT_ROTATE)->statusTip().isEmpty());
    doc.StatusMessage("Mirroring Finished");
    QStatusTipEvent tip(frame->Action(ID_OBJECT_ROTATE)->statusTip());
    QApplication::sendEvent(frame.get(), &tip);
    EXPECT_EQ(frame->statusBar()->currentMessage(), frame->Action(ID_OBJECT_ROTATE)->statusTip());
    QStatusTipEvent none{QString()};
    QApplication::sendEvent(frame.get(), &none);
    EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("Mirroring Finished"));

    // Boxes and small dialogs show their whole title.
    int shown = 0, needed = 0;
    OnNextModal([&](QWidget* w) {
        shown = w->width();
        needed = w->fontMetrics().horizontalAdvance(w->windowTitle());
        qobject_cast<QDialog*>(w)->accept();
    });
    Trigger(ID_OBJECT_INFO);
    EXPECT_GT(shown, needed + 60);
    CTrueTypeDialog text(frame.get());
    text.show();
    EXPECT_GT(text.width(), text.fontMetrics().horizontalAdvance(text.windowTitle()) + 60);

    EXPECT_EQ(frame->Action(ID_MIRROR_X)->toolTip(), QStringLiteral("Mirror X"));
    EXPECT_EQ(frame->Action(ID_MIRROR_Z)->toolTip(), QStringLiteral("Mirror Z"));
    const std::vector<CVector> before = Vertices();
    Trigger(ID_OBJECT_Z_UP);
    EXPECT_EQ(Vertices()[0], CVector(before[0].x, before[0].z, -before[0].y));

    // Save As offers only what saving by extension writes; a typed name it
    // cannot write is explained before the dialog asks again.
    QStringList filters;
    QString message;
    const fs::path pov = dir / "typed.pov";
    OnNextModal([&](QWidget* w) {
        auto* files = qobject_cast<QFileDialog*>(w);
        filters = files->nameFilters();
        OnNextModal([&](QWidget* box) {
            message = qobject_cast<QMessageBox*>(box)->text();
            qobject_cast<QMessageBox*>(box)->accept();
            OnNextModal([&](QWidget* again) {
                AnswerFileDialog(qobject_cast<QFileDialog*>(again), QString::fromStdString(pov.string()));
            });
        }, w);
        AnswerFileDialog(files, QString::fromStdString((dir / "typed.obj").string()));
    });
    Trigger(ID_FILE_SAVE_AS);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Unsupported file type of obj"))) << message.toStdString();
    EXPECT_TRUE(fs::exists(pov));
    ASSERT_FALSE(filters.isEmpty());
    for (const QString& filter : filters) {
        const QString extension = filter.section(QStringLiteral("*."), 1).chopped(1);
        const fs::path target = dir / ("each." + extension.toStdString());
        EXPECT_EQ(SaveByName(doc, target.string()), ESaveResult::Saved) << filter.toStdString();
    }
}
