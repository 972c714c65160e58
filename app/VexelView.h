#pragma once

#include <QPrinter>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "Wireframe.h"

class CVexelDoc;

// The perspective wireframe of the document's model, and the commands of the
// Object, Backgrounds and Preferences menus.
class CVexelView : public QWidget
{
    Q_OBJECT

public:
    CVexelView(CVexelDoc& doc, QWidget* parent = nullptr);
    ~CVexelView() override;

    CVexelDoc& GetDocument() const { return m_doc; }
    int PixelScale() const { return m_pixelScale; }
    CWireframeSettings Settings() const;
    QPrinter& Printer();

    // Draws the picture for a surface of `size` pixels onto `painter`.
    void Draw(class QPainter& painter, QSize size);
    // Prints the one page on `printer`; false when the printer cannot start.
    bool PrintTo(QPrinter& printer);

    void OnZoomIn();
    void OnZoomOut();
    void OnMirrorX();
    void OnMirrorY();
    void OnMirrorZ();
    void OnRotate();
    void OnColors();
    void OnFloor();
    void OnSky();
    void OnDxfPrefs();
    void OnViewPrefs();
    void OnOutputPrefs();
    void OnInfo();
    void OnPrint();
    void OnPrintPreview();
    void OnPrintSetup();

    int16_t m_drawVertexNormals = 0;
    int16_t m_cullBackfaces = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Zoom(float factor);

    CVexelDoc& m_doc;
    int m_pixelScale = 0;
    std::unique_ptr<QPrinter> m_printer;
};
