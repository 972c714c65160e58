#include "Preview.h"

#include <QImage>
#include <QString>

#include "WireframePainter.h"

bool WritePreview(CModel& model, const std::string& path, int width, int height)
{
    QImage image = RenderWireframe(model, QSize(width, height), CWireframeSettings{});
    if (image.isNull()) {
        model.ErrorMessage("Out of Memory");
        return false;
    }
    if (!image.save(QString::fromStdString(path), "PNG")) {
        model.ErrorMessage("Couldn't write the preview %s", path.c_str());
        return false;
    }
    return true;
}
