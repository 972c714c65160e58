#include <cstdlib>
#include <filesystem>

#include "WtkBuilder.h"
#include "WtkNff.h"
#include "WtkParser.hpp"
#include "WtkScanner.h"

int ReadWtkNff(CModel& model, FILE* fp)
{
    return ReadWtkNff(model, fp, nullptr);
}

int ReadWtkNffFile(CModel& model, const char* path)
{
    FILE* fp = path ? std::fopen(path, "r") : nullptr;
    if (!fp) {
        model.ErrorMessage("Couldn't open file %s", path ? path : "");
        return 0;
    }
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    int result = ReadWtkNff(model, fp, [&folder](const std::string& name) -> FILE* {
        // A table is a file of its own beside this one, never a path to elsewhere.
        if (name.empty() || name.find('/') != std::string::npos)
            return nullptr;
        return std::fopen((folder / name).string().c_str(), "r");
    });
    std::fclose(fp);
    return result;
}

int ReadWtkNff(CModel& model, FILE* fp, const std::function<FILE*(const std::string&)>& openTable)
{
    if (!fp)
        return 0;
    model.BeginWait();
    model.Clear(true);

    CWtkScanner scanner(&model);
    CWtkBuilder builder(model, openTable);
    if (StartWtkScanner(scanner, fp)) {
        CWtkParse parse{scanner, builder, model};
        wtkparse(parse);
    }
    model.ClearVertexHash();
    model.EndWait();

    if (scanner.OutOfMemory() || builder.OutOfMemory()) {
        model.ErrorMessage("Out of Memory\n");
        model.Clear(true);
        return 0;
    }
    if (builder.SkippedTriangles() > 0)
        model.ErrorMessage("%ld triangles name corners their object does not have; they were left out",
                           builder.SkippedTriangles());

    // World Toolkit's axes put the model upside down in ours. The turn comes
    // before the shared epilogue, which chooses the normals for the model as
    // it will stay; turning about the centre or the origin ends the same.
    model.RotateZ(180.0f, true);
    model.FinishLoad();
    return 1;
}

bool IsWtkNff(FILE* fp)
{
    if (!fp)
        return false;
    CWtkScanner scanner(nullptr);
    if (!StartWtkScanner(scanner, fp))
        return false;
    WTKSTYPE value{};
    int token = NextWtkToken(scanner, value);
    if (token == WTK_IDENT)
        std::free(value.text);
    return token == WTK_NFF;
}
