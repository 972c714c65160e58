#include "VexelView.h"

#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QResizeEvent>

#include "Dialogs.h"
#include "VexelDoc.h"
#include "WireframePainter.h"

CVexelView::CVexelView(CVexelDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc)
{
    setAutoFillBackground(true);
    QPalette p = palette();
    const CRgb background = CWireframeSettings{}.background;
    p.setColor(QPalette::Window, QColor(background.red, background.green, background.blue));
    setPalette(p);
    setMinimumSize(64, 64);
    connect(&m_doc, &CVexelDoc::ViewsChanged, this, [this] { update(); });
}

CVexelView::~CVexelView() = default;

CWireframeSettings CVexelView::Settings() const
{
    CWireframeSettings s;
    s.drawVertexNormals = m_drawVertexNormals != 0;
    s.cullBackfaces = m_cullBackfaces != 0;
    return s;
}

QPrinter& CVexelView::Printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void CVexelView::Draw(QPainter& painter, QSize size)
{
    m_pixelScale = ::PixelScale(size.width(), size.height(), m_doc.m_zoom);
    m_doc.StatusMessage("Drawing");
    m_doc.BeginWait();
    std::vector<CSegment> segments = BuildWireframe(m_doc, m_pixelScale, Settings());
    PaintSegments(painter, segments, QPoint(size.width() / 2, size.height() / 2));
    m_doc.EndWait();
    m_doc.StatusMessage("Ready");
}

void CVexelView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_doc.SetPainting(true);
    Draw(painter, size());
    m_doc.SetPainting(false);
}

void CVexelView::resizeEvent(QResizeEvent* event)
{
    m_pixelScale = ::PixelScale(event->size().width(), event->size().height(), m_doc.m_zoom);
    QWidget::resizeEvent(event);
}

bool CVexelView::PrintTo(QPrinter& printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // The page's printable area in device pixels, the picture centred on it.
    QSize page(printer.width(), printer.height());
    m_doc.SetPainting(true);
    Draw(painter, page);
    m_doc.SetPainting(false);
    m_pixelScale = ::PixelScale(width(), height(), m_doc.m_zoom);
    return painter.end();
}

void CVexelView::Zoom(float factor)
{
    m_doc.m_zoom *= factor;
    m_pixelScale = ::PixelScale(width(), height(), m_doc.m_zoom);
    update();
}

void CVexelView::OnZoomIn()
{
    Zoom(1.25f);
}

void CVexelView::OnZoomOut()
{
    Zoom(0.75f);
}

void CVexelView::OnMirrorX()
{
    m_doc.MirrorX(true);
}

void CVexelView::OnMirrorY()
{
    m_doc.MirrorY(true);
}

void CVexelView::OnMirrorZ()
{
    m_doc.MirrorZ(true);
}

void CVexelView::OnRotate()
{
    CRotateDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // Either sign of zero means no turn about that axis.
    float x = CTrivexDialog::Value(dialog.m_x);
    float y = CTrivexDialog::Value(dialog.m_y);
    float z = CTrivexDialog::Value(dialog.m_z);
    if (x != 0.0f)
        m_doc.RotateX(x, false);
    if (y != 0.0f)
        m_doc.RotateY(y, false);
    if (z != 0.0f)
        m_doc.RotateZ(z, false);
    update();
}

void CVexelView::OnColors()
{
    if (m_doc.GetGroupCount() < 1)
        return;
    CColorsDialog dialog(this, m_doc);
    dialog.exec();
    if (dialog.ActiveChanged()) {
        // The view and the output scale follow the groups that remain.
        m_doc.Center(false);
        m_doc.Unitize(true, false);
    }
    if (dialog.Changed())
        m_doc.SetModified(true);
    update();
}

void CVexelView::OnFloor()
{
    m_doc.ComputeRange();
    CFloorDialog dialog(this, m_doc.m_floorType, m_doc.m_min[1] * m_doc.m_scale);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const float offset = CTrivexDialog::Value(dialog.m_offset) / m_doc.m_scale;
    const int type = dialog.Selection();
    if (offset != m_doc.m_floorOffset || type != m_doc.m_floorType)
        m_doc.SetModified(true);
    m_doc.m_floorOffset = offset;
    m_doc.m_floorType = type;
}

void CVexelView::OnSky()
{
    CSkyDialog dialog(this, m_doc.m_skyType);
    if (dialog.exec() != QDialog::Accepted || dialog.Selection() == m_doc.m_skyType)
        return;
    m_doc.m_skyType = dialog.Selection();
    m_doc.SetModified(true);
}

void CVexelView::OnDxfPrefs()
{
    CDxfPrefsDialog dialog(this, m_doc.m_extrude2D != 0, m_doc.m_extrusion, m_doc.m_place3dsNodes != 0);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_doc.m_extrude2D = dialog.m_extrude->isChecked() ? 1 : 0;
    m_doc.m_extrusion = CTrivexDialog::Value(dialog.m_extrusion);
    m_doc.m_place3dsNodes = dialog.m_instances->isChecked() ? 1 : 0;
}

void CVexelView::OnViewPrefs()
{
    CViewPrefsDialog dialog(this, m_drawVertexNormals != 0, m_cullBackfaces != 0, m_doc.m_normalOrderSetting,
                            m_doc.m_smoothAngle);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_drawVertexNormals = dialog.m_normals->isChecked() ? 1 : 0;
    m_cullBackfaces = dialog.m_cull->isChecked() ? 1 : 0;
    const int32_t setting = dialog.NormalOrderSetting();
    const float angle = CTrivexDialog::Value(dialog.m_angle);
    if (setting != m_doc.m_normalOrderSetting || angle != m_doc.m_smoothAngle) {
        // The setting is kept for later loads too; automatic looks at this
        // model again.
        if (setting != m_doc.m_normalOrderSetting) {
            m_doc.m_normalOrderSetting = setting;
            m_doc.ResolveNormalOrder();
        }
        m_doc.m_smoothAngle = angle;
        m_doc.CalculateNormals();
        m_doc.SetModified(true);
    }
    m_doc.UpdateViews();
}

void CVexelView::OnOutputPrefs()
{
    COutputPrefsDialog dialog(this, m_doc.m_scale, m_doc.m_rawGroups != 0, m_doc.m_objMaterials != 0,
                              m_doc.m_verifyAfterSave);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const float scale = CTrivexDialog::Value(dialog.m_scale);
    const int32_t rawGroups = dialog.m_rawGroups->isChecked() ? 1 : 0;
    const int32_t objMaterials = dialog.m_objMaterials->isChecked() ? 1 : 0;
    if (scale != m_doc.m_scale || rawGroups != m_doc.m_rawGroups || objMaterials != m_doc.m_objMaterials)
        m_doc.SetModified(true);
    m_doc.m_scale = scale;
    m_doc.m_rawGroups = rawGroups;
    m_doc.m_objMaterials = objMaterials;
    // Checking is how saves are made, not part of what they write.
    m_doc.m_verifyAfterSave = dialog.m_verify->isChecked();
}

void CVexelView::OnInfo()
{
    ShowModelInfo(m_doc);
}

void CVexelView::OnPrint()
{
    QPrinter& printer = Printer();
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, 1);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(printer);
}

void CVexelView::OnPrintPreview()
{
    QPrintPreviewDialog dialog(&Printer(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) { PrintTo(*printer); });
    dialog.exec();
}

void CVexelView::OnPrintSetup()
{
    QPageSetupDialog dialog(&Printer(), this);
    dialog.exec();
}
