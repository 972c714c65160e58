#include "ObjMaterialFiles.h"

#include "SafeOutput.h"
#include "Writers.h"

std::string ObjLibraryPath(const std::string& objPath)
{
    const size_t slash = objPath.find_last_of('/');
    const size_t dot = objPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? objPath.substr(0, dot) : objPath) + ".mtl";
}

bool WriteObjWithLibrary(CModel& model, const std::string& path, CTemporaryFiles* track)
{
    const std::string libraryPath = ObjLibraryPath(path);
    if (libraryPath == path) {
        model.ErrorMessage("The material file would replace the model file %s", path.c_str());
        return false;
    }
    const size_t slash = libraryPath.find_last_of('/');
    const std::string libraryName = slash == std::string::npos ? libraryPath : libraryPath.substr(slash + 1);

    CSafeOutput library(track);
    if (!library.Open(libraryPath, "w")) {
        model.ErrorMessage("Couldn't open file %s", libraryPath.c_str());
        return false;
    }
    if (WriteObjLibrary(model, library.Stream()) <= 0)
        return false;
    CSafeOutput obj(track);
    if (!obj.Open(path, "w")) {
        model.ErrorMessage("Couldn't open file %s", path.c_str());
        return false;
    }
    if (WriteObjUsingLibrary(model, obj.Stream(), model.m_scale, libraryName) <= 0)
        return false;
    // The OBJ never names a material file that is not there.
    if (!library.Commit() || !obj.Commit()) {
        model.ErrorMessage("Write Error: Out of Disk Space?");
        return false;
    }
    return true;
}
