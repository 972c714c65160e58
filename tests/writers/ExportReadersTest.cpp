#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "ExportSamples.h"
#include "RecordingModel.h"
#include "SampleModels.h"
#include "TestFiles.h"
#include "Writers.h"

// Independent programs read what the DXF, OBJ and RAW exporters write: ezdxf
// (with the system's Python) and assimp.

namespace fs = std::filesystem;
using testfiles::HaveTool;
using testfiles::RunCommand;
using testfiles::WriteAll;
using testfiles::WriteToString;

namespace {

// Loads a DXF file with ezdxf, audits it, and counts 3DFACE entities; any
// warning ezdxf logs while loading counts as a problem.
const char kEzdxfProbe[] = R"(import logging, sys
import ezdxf
problems = []
class Collect(logging.Handler):
    def emit(self, record):
        problems.append(record.getMessage())
logging.getLogger('ezdxf').addHandler(Collect(level=logging.WARNING))
doc = ezdxf.readfile(sys.argv[1])
auditor = doc.audit()
problems += [e.message for e in auditor.errors]
print('faces=%d problems=%d' % (len(doc.modelspace().query('3DFACE')), len(problems)))
for p in problems:
    print(p)
)";

class ExportReaders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("trivex_export_" + std::to_string(getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    template <typename Writer>
    std::string Write(Writer writer, CModel& model, const std::string& name)
    {
        int result = 0;
        WriteAll(m_dir / name, WriteToString(writer, model, 1.0, &result));
        EXPECT_EQ(1, result);
        return (m_dir / name).string();
    }

    // The triangle count assimp reports after reading `path` (its info
    // command triangulates), or -1 when it read nothing.
    static long AssimpTriangles(const std::string& path)
    {
        std::string output;
        int rc = RunCommand("assimp info '" + path + "'", &output);
        EXPECT_EQ(0, rc) << output;
        long meshes = Field(output, "Meshes:");
        long faces = Field(output, "Faces:");
        // assimp can succeed with an empty scene when it did not understand
        // the file; that is a failure here.
        EXPECT_GT(meshes, 0) << output;
        EXPECT_NE(std::string::npos, output.find("Primitive Types:    triangles")) << output;
        return meshes > 0 ? faces : -1;
    }

    static long Field(const std::string& output, const std::string& key)
    {
        size_t at = output.find(key);
        return at == std::string::npos ? -1 : std::strtol(output.c_str() + at + key.size(), nullptr, 10);
    }

    fs::path m_dir;
};

}  // namespace

TEST_F(ExportReaders, EzdxfLoadsDxfCleanly)
{
    if (RunCommand("/usr/bin/python3 -c 'import ezdxf'") != 0)
        GTEST_SKIP() << "ezdxf not installed for /usr/bin/python3 (Debian package python3-ezdxf)";
    WriteAll(m_dir / "probe.py", kEzdxfProbe);

    CRecordingModel assembly, empty, strip;
    samples::Assembly(assembly);
    exportsamples::Strip(strip, 300);
    const struct
    {
        CModel* model;
        const char* name;
        const char* expect;
    } cases[] = {{&assembly, "assembly.dxf", "faces=14 problems=0"},
                 {&empty, "empty.dxf", "faces=0 problems=0"},
                 {&strip, "strip.dxf", "faces=300 problems=0"}};
    for (const auto& c : cases) {
        std::string path = Write(WriteDxf, *c.model, c.name);
        std::string output;
        int rc = RunCommand("/usr/bin/python3 '" + (m_dir / "probe.py").string() + "' '" + path + "'", &output);
        EXPECT_EQ(0, rc) << c.name << ":\n" << output;
        EXPECT_EQ(0u, output.find(c.expect)) << c.name << ":\n" << output;
    }
}

TEST_F(ExportReaders, AssimpCountsOurTriangles)
{
    if (!HaveTool("assimp"))
        GTEST_SKIP() << "assimp not installed (Debian package assimp-utils)";

    CRecordingModel assembly, tetrahedron;
    samples::Assembly(assembly);  // 12 body triangles, 2 from the lid's quadrilateral
    samples::Tetrahedron(tetrahedron);

    // DXF: one face per 3DFACE.
    EXPECT_EQ(14, AssimpTriangles(Write(WriteDxf, assembly, "assembly.dxf")));
    // OBJ: the lid's quadrilateral is one face line that assimp splits in two.
    EXPECT_EQ(14, AssimpTriangles(Write(WriteObj, assembly, "assembly.obj")));
    EXPECT_EQ(4, AssimpTriangles(Write(WriteObj, tetrahedron, "tetrahedron.obj")));
    // RAW with one group, with and without its name line.
    EXPECT_EQ(4, AssimpTriangles(Write(WriteRaw, tetrahedron, "named.raw")));
    tetrahedron.m_rawGroups = 0;
    EXPECT_EQ(4, AssimpTriangles(Write(WriteRaw, tetrahedron, "bare.raw")));
}
