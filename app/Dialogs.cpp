#include "Dialogs.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <cmath>

#include "Colors.h"
#include "Formats.h"
#include "Icons.h"
#include "VexelDoc.h"

namespace {

QString Number(double value)
{
    return QString::number(value, 'g', 6);
}

QHBoxLayout* Row(QVBoxLayout* parent, const QString& label, QWidget* field, const QString& after = QString())
{
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(label));
    row->addWidget(field);
    if (!after.isEmpty())
        row->addWidget(new QLabel(after));
    parent->addLayout(row);
    return row;
}

}  // namespace

CTrivexDialog::CTrivexDialog(QWidget* parent, const QString& title) : QDialog(parent)
{
    setWindowTitle(title);
    // Every dialog of the program is drawn on light grey with black text.
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(192, 192, 192));
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::ButtonText, Qt::black);
    setPalette(p);
    setAutoFillBackground(true);
    // Small dialogs would cut their title short.
    setMinimumWidth(TitleWidth(*this));
}

int TitleWidth(const QWidget& window)
{
    // The title bar's font is the window manager's; the widget's own is near
    // enough, with room for the bar's icon and buttons.
    return window.fontMetrics().horizontalAdvance(window.windowTitle()) + 140;
}

void FitTitle(QMessageBox& box)
{
    // A box sizes itself to its text alone.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(TitleWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                      0, 1, grid->columnCount());
}

QLineEdit* CTrivexDialog::AddNumber(float value, bool ranged, double low, double high)
{
    auto* edit = new QLineEdit(Number(value), this);
    m_fields.push_back({edit, ranged, low, high});
    return edit;
}

void CTrivexDialog::AddButtons(QBoxLayout* layout, bool withCancel)
{
    auto* box = new QDialogButtonBox(withCancel ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel
                                                : QDialogButtonBox::Ok,
                                     this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
}

float CTrivexDialog::Value(const QLineEdit* edit)
{
    return edit->text().trimmed().toFloat();
}

void CTrivexDialog::accept()
{
    for (const CNumberField& field : m_fields) {
        bool ok = false;
        double v = field.edit->text().trimmed().toDouble(&ok);
        // "nan" and "inf" read as numbers, and so does a value too large for
        // the float the model keeps; none of them is one a user means.
        ok = ok && std::isfinite(v) && std::isfinite(static_cast<float>(v));
        QString problem;
        if (!ok)
            problem = QStringLiteral("Please enter a number.");
        else if (field.ranged && (v < field.low || v > field.high))
            problem = QStringLiteral("Please enter a number between %1 and %2.").arg(Number(field.low), Number(field.high));
        if (!problem.isEmpty()) {
            QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppTitle), problem, QMessageBox::Ok, this);
            FitTitle(box);
            box.exec();
            field.edit->setFocus();
            field.edit->selectAll();
            return;
        }
    }
    QDialog::accept();
}

CRotateDialog::CRotateDialog(QWidget* parent) : CTrivexDialog(parent, QStringLiteral("Rotate"))
{
    auto* layout = new QVBoxLayout(this);
    m_x = AddNumber(0, true, -360, 360);
    m_y = AddNumber(0, true, -360, 360);
    m_z = AddNumber(0, true, -360, 360);
    // One grid, so that the fields line up whatever each label's width.
    auto* rows = new QGridLayout;
    const std::pair<const char*, QLineEdit*> fields[] = {{"Rotate X: ", m_x}, {"Rotate Y: ", m_y}, {"Rotate Z: ", m_z}};
    for (int i = 0; i < 3; ++i) {
        rows->addWidget(new QLabel(QString::fromLatin1(fields[i].first)), i, 0);
        rows->addWidget(fields[i].second, i, 1);
        rows->addWidget(new QLabel(QStringLiteral("Degrees")), i, 2);
    }
    layout->addLayout(rows);
    AddButtons(layout);
}

CColorsDialog::CColorsDialog(QWidget* parent, CModel& model)
    : CTrivexDialog(parent, QStringLiteral("Color & Texture Info")), m_model(model)
{
    auto* layout = new QVBoxLayout(this);
    auto* lists = new QHBoxLayout;
    auto column = [&](const QString& label, QListWidget*& list) {
        auto* box = new QVBoxLayout;
        box->addWidget(new QLabel(label));
        list = new QListWidget(this);
        box->addWidget(list);
        lists->addLayout(box);
    };
    column(QStringLiteral("Group Name:"), m_groups);
    column(QStringLiteral("Group Color:"), m_colors);
    column(QStringLiteral("Group Texture:"), m_textures);
    layout->addLayout(lists);

    for (int i = 0; i < model.GetGroupCount(); ++i) {
        const CGroup* g = model.GetGroup(i);
        m_groups->addItem(QString::fromLocal8Bit(g->name.c_str()));
        m_before.push_back(StateOf(*g));
    }
    for (int i = 0; i < kColorCount; ++i) {
        QPixmap swatch(14, 14);
        swatch.fill(QColor::fromRgbF(ColorTable[i].red, ColorTable[i].green, ColorTable[i].blue));
        QPainter frame(&swatch);
        frame.setPen(Qt::black);
        frame.drawRect(0, 0, swatch.width() - 1, swatch.height() - 1);
        frame.end();
        m_colors->addItem(new QListWidgetItem(QIcon(swatch), QString::fromLatin1(ColorTable[i].name)));
    }
    for (int i = 0; i < kTextureCount; ++i)
        m_textures->addItem(QString::fromLatin1(TextureNames[i]));

    m_selectedColor = new QCheckBox(QStringLiteral("Draw w/Selected Color"), this);
    m_smooth = new QCheckBox(QStringLiteral("Smooth Group"), this);
    m_ignore = new QCheckBox(QStringLiteral("Ignore Group"), this);
    auto* checks = new QHBoxLayout;
    checks->addWidget(m_selectedColor);
    checks->addWidget(m_smooth);
    checks->addWidget(m_ignore);
    layout->addLayout(checks);

    auto* buttons = new QHBoxLayout;
    auto* editName = new QPushButton(QStringLiteral("Edit Name..."), this);
    auto* smoothAll = new QPushButton(QStringLiteral("Smooth All"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    buttons->addWidget(editName);
    buttons->addWidget(smoothAll);
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);

    connect(m_groups, &QListWidget::currentRowChanged, this, &CColorsDialog::SelectGroup);
    connect(m_groups, &QListWidget::itemDoubleClicked, this, [this] { EditName(); });
    connect(m_colors, &QListWidget::currentRowChanged, this, [this](int row) {
        if (CGroup* g = Current(); g && row >= 0)
            g->colorIndex = row;
    });
    connect(m_textures, &QListWidget::currentRowChanged, this, [this](int row) {
        if (CGroup* g = Current(); g && row >= 0)
            g->textureIndex = row;
    });
    connect(m_selectedColor, &QCheckBox::clicked, this, [this] {
        if (CGroup* g = Current()) {
            g->drawSelectedColor = m_selectedColor->isChecked();
            g->smooth = m_smooth->isChecked();
            g->active = !m_ignore->isChecked();
        }
    });
    connect(m_smooth, &QCheckBox::clicked, this, [this] {
        if (CGroup* g = Current())
            g->smooth = m_smooth->isChecked();
    });
    connect(m_ignore, &QCheckBox::clicked, this, [this] {
        if (CGroup* g = Current())
            g->active = !m_ignore->isChecked();
    });
    connect(editName, &QPushButton::clicked, this, &CColorsDialog::EditName);
    connect(smoothAll, &QPushButton::clicked, this, &CColorsDialog::SmoothAll);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    if (m_groups->count() > 0)
        m_groups->setCurrentRow(0);
}

CColorsDialog::CGroupState CColorsDialog::StateOf(const CGroup& g)
{
    return {g.name, g.colorIndex, g.textureIndex, g.drawSelectedColor, g.smooth, g.active};
}

bool CColorsDialog::ActiveChanged() const
{
    for (size_t i = 0; i < m_before.size(); ++i)
        if (const CGroup* g = m_model.GetGroup(static_cast<int>(i)); g && (g->active != 0) != (m_before[i].active != 0))
            return true;
    return false;
}

bool CColorsDialog::Changed() const
{
    for (size_t i = 0; i < m_before.size(); ++i)
        if (const CGroup* g = m_model.GetGroup(static_cast<int>(i)); g && !(StateOf(*g) == m_before[i]))
            return true;
    return false;
}

CGroup* CColorsDialog::Current() const
{
    int row = m_groups->currentRow();
    return row >= 0 && row < m_model.GetGroupCount() ? m_model.GetGroup(row) : nullptr;
}

void CColorsDialog::SelectGroup(int row)
{
    if (row != m_groups->currentRow()) {
        m_groups->setCurrentRow(row);  // comes back here through the signal
        return;
    }
    CGroup* g = Current();
    if (!g)
        return;
    // Showing the group's choices must not write them back into it.
    const QSignalBlocker blockColors(m_colors);
    const QSignalBlocker blockTextures(m_textures);
    if (g->colorIndex >= 0 && g->colorIndex < kColorCount) {
        m_colors->setCurrentRow(g->colorIndex);
        m_colors->scrollToItem(m_colors->currentItem());
    } else {
        m_colors->clearSelection();
    }
    if (g->textureIndex >= 0 && g->textureIndex < kTextureCount) {
        m_textures->setCurrentRow(g->textureIndex);
        m_textures->scrollToItem(m_textures->currentItem());
    } else {
        m_textures->clearSelection();
    }
    SyncChecks();
}

void CColorsDialog::SyncChecks()
{
    if (CGroup* g = Current()) {
        m_selectedColor->setChecked(g->drawSelectedColor != 0);
        m_smooth->setChecked(g->smooth != 0);
        m_ignore->setChecked(g->active == 0);
    }
}

void CColorsDialog::SmoothAll()
{
    for (int i = 0; i < m_model.GetGroupCount(); ++i)
        if (CGroup* g = m_model.GetGroup(i))
            g->smooth = 1;
    SyncChecks();
}

void CColorsDialog::EditName()
{
    CGroup* g = Current();
    if (!g)
        return;
    CGroupNameDialog dialog(this, g->name);
    if (dialog.exec() != QDialog::Accepted)
        return;
    g->name = CGroupNameDialog::CleanName(dialog.m_name->text());
    m_groups->currentItem()->setText(QString::fromLocal8Bit(g->name.c_str()));
}

CGroupNameDialog::CGroupNameDialog(QWidget* parent, const std::string& name)
    : CTrivexDialog(parent, QStringLiteral("Edit Group Name"))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Group Name:")));
    m_name = new QLineEdit(QString::fromLocal8Bit(name.c_str()), this);
    m_name->setMaxLength(40);
    layout->addWidget(m_name);
    AddButtons(layout);
}

std::string CGroupNameDialog::CleanName(const QString& text)
{
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        char16_t u = c.unicode();
        bool keep = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9');
        out += keep ? static_cast<char>(u) : '_';
    }
    return out;
}

namespace {

QGroupBox* RadioGroup(QWidget* owner, const QString& title, const char* const* names, int count, int selected,
                      std::vector<QRadioButton*>& buttons)
{
    auto* group = new QGroupBox(title, owner);
    auto* column = new QVBoxLayout(group);
    for (int i = 0; i < count; ++i) {
        auto* b = new QRadioButton(QString::fromLatin1(names[i]), group);
        b->setChecked(i == selected);
        column->addWidget(b);
        buttons.push_back(b);
    }
    return group;
}

int Checked(const std::vector<QRadioButton*>& buttons)
{
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i]->isChecked())
            return static_cast<int>(i);
    return 0;
}

}  // namespace

CSkyDialog::CSkyDialog(QWidget* parent, int skyType) : CTrivexDialog(parent, QStringLiteral("Sky Texture"))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RadioGroup(this, QStringLiteral("Sky Textures"), SkyNames, kSkyCount, skyType, m_buttons));
    AddButtons(layout);
}

int CSkyDialog::Selection() const
{
    return Checked(m_buttons);
}

CFloorDialog::CFloorDialog(QWidget* parent, int floorType, float offset)
    : CTrivexDialog(parent, QStringLiteral("Floor Textures"))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        RadioGroup(this, QStringLiteral("Floor Textures"), FloorNames, kFloorCount, floorType, m_buttons));
    m_offset = AddNumber(offset, false, 0, 0);
    Row(layout, QStringLiteral("Floor Offset:"), m_offset);
    AddButtons(layout);
}

int CFloorDialog::Selection() const
{
    return Checked(m_buttons);
}

CDxfPrefsDialog::CDxfPrefsDialog(QWidget* parent, bool extrude, float extrusion, bool instances)
    : CTrivexDialog(parent, QStringLiteral("DXF Preferences"))
{
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Input Preferences"), this);
    auto* inner = new QVBoxLayout(group);
    m_extrude = new QCheckBox(QStringLiteral("Extrude 2D Polyline"), group);
    m_extrude->setChecked(extrude);
    inner->addWidget(m_extrude);
    m_extrusion = AddNumber(extrusion, true, 0.01, 100);
    Row(inner, QStringLiteral("Extrusion Amount:"), m_extrusion);
    m_instances = new QCheckBox(QStringLiteral("3DS Instances and Keyframer Placement"), group);
    m_instances->setChecked(instances);
    inner->addWidget(m_instances);
    layout->addWidget(group);
    AddButtons(layout);
}

CViewPrefsDialog::CViewPrefsDialog(QWidget* parent, bool normals, bool cull, int32_t orderSetting, float angle)
    : CTrivexDialog(parent, QStringLiteral("View Preferences"))
{
    auto* layout = new QVBoxLayout(this);
    auto* draw = new QGroupBox(QStringLiteral("Draw Preferences"), this);
    auto* drawLayout = new QVBoxLayout(draw);
    m_normals = new QCheckBox(QStringLiteral("Draw Vertex Normal"), draw);
    m_cull = new QCheckBox(QStringLiteral("Cull Backfaces"), draw);
    m_normals->setChecked(normals);
    m_cull->setChecked(cull);
    drawLayout->addWidget(m_normals);
    drawLayout->addWidget(m_cull);
    layout->addWidget(draw);

    auto* direction = new QGroupBox(QStringLiteral("Normal Calculation Direction"), this);
    auto* directionLayout = new QHBoxLayout(direction);
    // The third state is the order chosen for each model on its own.
    m_order = new QCheckBox(direction);
    m_order->setTristate(true);
    m_order->setCheckState(orderSetting == kNormalOrderAuto ? Qt::PartiallyChecked
                           : orderSetting != 0            ? Qt::Checked
                                                          : Qt::Unchecked);
    auto* explanation = new QLabel(
        QStringLiteral("When this box is checked the normals are calculated in the order the vertices are defined. "
                       "If it is not check, then they are calculated in reverse order.\n"
                       "Partly checked (automatic): the order is chosen for each model so that its normals "
                       "point out of it."),
        direction);
    explanation->setWordWrap(true);
    explanation->setBuddy(m_order);
    directionLayout->addWidget(m_order);
    directionLayout->addWidget(explanation, 1);
    layout->addWidget(direction);

    m_angle = AddNumber(angle, true, 0, 180);
    Row(layout, QStringLiteral("Smoothing Angle in Degrees"), m_angle);
    AddButtons(layout);
}

int32_t CViewPrefsDialog::NormalOrderSetting() const
{
    switch (m_order->checkState()) {
    case Qt::PartiallyChecked:
        return kNormalOrderAuto;
    case Qt::Checked:
        return 1;
    default:
        return 0;
    }
}

COutputPrefsDialog::COutputPrefsDialog(QWidget* parent, float scale, bool rawGroups, bool objMaterials, bool verify)
    : CTrivexDialog(parent, QStringLiteral("Output Preferences"))
{
    auto* layout = new QVBoxLayout(this);
    m_scale = AddNumber(scale, true, 0.001, 500);
    Row(layout, QStringLiteral("Scale:"), m_scale);
    m_rawGroups = new QCheckBox(QStringLiteral("Groups supported in Raw Format:"), this);
    m_rawGroups->setLayoutDirection(Qt::RightToLeft);  // the box after its text
    m_rawGroups->setChecked(rawGroups);
    layout->addWidget(m_rawGroups);
    m_objMaterials = new QCheckBox(QStringLiteral("Material file with OBJ (.mtl):"), this);
    m_objMaterials->setLayoutDirection(Qt::RightToLeft);
    m_objMaterials->setChecked(objMaterials);
    layout->addWidget(m_objMaterials);
    m_verify = new QCheckBox(QStringLiteral("Verify after saving"), this);
    m_verify->setLayoutDirection(Qt::RightToLeft);
    m_verify->setChecked(verify);
    layout->addWidget(m_verify);
    AddButtons(layout);
}

CTrueTypeDialog::CTrueTypeDialog(QWidget* parent) : CTrivexDialog(parent, QStringLiteral("True Type Font Selection"))
{
    auto* layout = new QVBoxLayout(this);
    m_text = new QLineEdit(QStringLiteral("Test"), this);
    m_text->setMaxLength(50);
    Row(layout, QStringLiteral("String:"), m_text);
    AddButtons(layout);
}

CAboutDialog::CAboutDialog(QWidget* parent) : CTrivexDialog(parent, QStringLiteral("About Trivex"))
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    top->addWidget(icon);
    top->addWidget(new QLabel(QStringLiteral("Trivex Application Version 2.7 beta 2"), this), 1);
    layout->addLayout(top);
    auto* terms = new QGroupBox(QStringLiteral("Distribution"), this);
    auto* termsLayout = new QVBoxLayout(terms);
    auto* text = new QLabel(
        QStringLiteral("Trivex converts polygonal 3D models between file formats and previews them.\n"
                       "It may be copied and given away freely, unchanged and without charge.\n\n"
                       "Credits: the 3D Studio reader and the TrueType 3D text engine were written\n"
                       "for Trivex by its developers."),
        terms);
    termsLayout->addWidget(text);
    layout->addWidget(terms);
    AddButtons(layout, false);
}
