// The converter's preview, built as a module of its own: only --preview loads
// it, so a plain conversion neither waits for Qt to load nor keeps Qt's
// libraries in memory.
#include "Preview.h"

#include <QImage>
#include <QString>

#include "WireframePainter.h"

extern "C" __attribute__((visibility("default"))) bool TrivexWritePreview(CModel& model, const char* path, int width,
                                                                         int height)
{
    QImage image = RenderWireframe(model, QSize(width, height), CWireframeSettings{});
    if (image.isNull()) {
        model.ErrorMessage("Out of Memory");
        return false;
    }
    if (!image.save(QString::fromUtf8(path), "PNG")) {
        model.ErrorMessage("Couldn't write the preview %s", path);
        return false;
    }
    return true;
}
