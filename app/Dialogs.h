#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <string>
#include <vector>

#include "Model.h"

class QMessageBox;

// The width a window needs to show its whole title.
int TitleWidth(const QWidget& window);
// Widens a message box so that its title shows whole.
void FitTitle(QMessageBox& box);

// A numeric text field that is checked when the dialog's OK is pressed.
struct CNumberField
{
    QLineEdit* edit = nullptr;
    bool ranged = false;
    double low = 0, high = 0;
};

// The look every dialog of the program shares, and OK that checks the
// numeric fields first: a bad one keeps the dialog open with the message.
class CTrivexDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CTrivexDialog(QWidget* parent, const QString& title);
    void accept() override;
    // The value of a field that passed the check.
    static float Value(const QLineEdit* edit);

protected:
    QLineEdit* AddNumber(float value, bool ranged, double low, double high);
    // OK and Cancel (or OK alone) at the bottom of `layout`.
    void AddButtons(class QBoxLayout* layout, bool withCancel = true);

private:
    std::vector<CNumberField> m_fields;
};

class CRotateDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    explicit CRotateDialog(QWidget* parent);
    QLineEdit* m_x;
    QLineEdit* m_y;
    QLineEdit* m_z;
};

// Edits the groups as the user clicks; there is nothing to cancel.
class CColorsDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    CColorsDialog(QWidget* parent, CModel& model);
    // Whether a group was ignored or taken back since the dialog opened.
    bool ActiveChanged() const;
    // Whether anything a save would write changed since the dialog opened.
    bool Changed() const;
    void SelectGroup(int row);
    void EditName();
    void SmoothAll();

    QListWidget* m_groups;
    QListWidget* m_colors;
    QListWidget* m_textures;
    QCheckBox* m_selectedColor;
    QCheckBox* m_smooth;
    QCheckBox* m_ignore;

private:
    CGroup* Current() const;
    void SyncChecks();
    struct CGroupState
    {
        std::string name;
        int32_t colorIndex, textureIndex;
        int16_t drawSelectedColor, smooth, active;
        bool operator==(const CGroupState&) const = default;
    };
    static CGroupState StateOf(const CGroup& g);
    CModel& m_model;
    std::vector<CGroupState> m_before;
};

class CGroupNameDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    CGroupNameDialog(QWidget* parent, const std::string& name);
    // Letters and digits as they are, anything else an underscore.
    static std::string CleanName(const QString& text);
    QLineEdit* m_name;
};

class CSkyDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    CSkyDialog(QWidget* parent, int skyType);
    int Selection() const;
    std::vector<QRadioButton*> m_buttons;
};

class CFloorDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    CFloorDialog(QWidget* parent, int floorType, float offset);
    int Selection() const;
    std::vector<QRadioButton*> m_buttons;
    QLineEdit* m_offset;
};

class CDxfPrefsDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    CDxfPrefsDialog(QWidget* parent, bool extrude, float extrusion, bool instances);
    QCheckBox* m_extrude;
    QLineEdit* m_extrusion;
    QCheckBox* m_instances;  // 3DS: keyframer instances and node placement
};

class CViewPrefsDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    CViewPrefsDialog(QWidget* parent, bool normals, bool cull, int32_t orderSetting, float angle);
    // 1, 0 or kNormalOrderAuto, as m_normalOrderSetting holds it.
    int32_t NormalOrderSetting() const;
    QCheckBox* m_normals;
    QCheckBox* m_cull;
    QCheckBox* m_order;
    QLineEdit* m_angle;
};

class COutputPrefsDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    COutputPrefsDialog(QWidget* parent, float scale, bool rawGroups, bool objMaterials, bool verify = false);
    QLineEdit* m_scale;
    QCheckBox* m_rawGroups;
    QCheckBox* m_objMaterials;
    QCheckBox* m_verify;
};

class CTrueTypeDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    explicit CTrueTypeDialog(QWidget* parent);
    QString Text() const { return m_text->text(); }
    QLineEdit* m_text;
};

class CAboutDialog : public CTrivexDialog
{
    Q_OBJECT
public:
    explicit CAboutDialog(QWidget* parent);
};
