#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "ExportSamples.h"
#include "RecordingModel.h"
#include "SampleModels.h"
#include "TestFiles.h"
#include "Writers.h"

// POV-Ray 3.7 renders what the scene and include writers produce. The scenes
// use POV-Ray 2.2 syntax (the lightning sky declares colours without a
// semicolon), hence +MV3.0.

namespace fs = std::filesystem;
using testfiles::HaveTool;
using testfiles::RunCommand;
using testfiles::WriteAll;
using testfiles::WriteToString;

namespace {

// Decodes an 8-bit RGB or RGBA PNG without extra modules and prints how many
// colours it holds and whether the centre pixel differs from the corner.
const char kPngProbe[] = R"(import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG'
pos, idat = 8, b''
while pos < len(data):
    size, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + size]
    if kind == b'IHDR':
        width, height, depth, ctype, _, _, interlace = struct.unpack('>IIBBBBB', body)
    elif kind == b'IDAT':
        idat += body
    pos += size + 12
assert depth == 8 and ctype in (2, 6) and interlace == 0, 'unexpected PNG layout'
bpp = 3 if ctype == 2 else 4
raw, stride, rows, prev, at = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp), 0
for y in range(height):
    ftype, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
    at += 1 + stride
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if ftype == 1: line[i] = (line[i] + a) & 255
        elif ftype == 2: line[i] = (line[i] + b) & 255
        elif ftype == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif ftype == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(bytes(line))
    prev = line
pixel = lambda x, y: rows[y][x * bpp:x * bpp + 3]
colours = {pixel(x, y) for y in range(height) for x in range(width)}
print('colours=%d centre_differs=%d' % (len(colours), pixel(width // 2, height // 2) != pixel(0, 0)))
)";

class PovRender : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HaveTool("povray"))
            GTEST_SKIP() << "povray not installed (Debian packages povray, povray-includes)";
        m_dir = fs::temp_directory_path() / ("trivex_pov_" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        WriteAll(m_dir / "probe.py", kPngProbe);
    }
    void TearDown() override
    {
        std::error_code ignored;
        if (!m_dir.empty())
            fs::remove_all(m_dir, ignored);
    }

    // Renders `scene` (a file in the work directory, so that POV-Ray's file
    // restrictions allow its includes) and returns the probe's summary.
    std::string Render(const std::string& scene)
    {
        std::string image = scene + ".png";
        std::string output;
        int rc = RunCommand("cd '" + m_dir.string() + "' && povray +MV3.0 +I" + scene + " +O" + image +
                                " +W160 +H120 -D",
                            &output);
        EXPECT_EQ(0, rc) << scene << ":\n" << output;
        EXPECT_EQ(std::string::npos, output.find("Parse Error")) << scene << ":\n" << output;
        if (!fs::exists(m_dir / image) || fs::file_size(m_dir / image) == 0) {
            ADD_FAILURE() << scene << ": no image";
            return {};
        }
        std::string summary;
        rc = RunCommand("/usr/bin/python3 '" + (m_dir / "probe.py").string() + "' '" + (m_dir / image).string() + "'",
                        &summary);
        EXPECT_EQ(0, rc) << summary;
        return summary;
    }

    // A model the way a read leaves it: centred, unit size, its size in m_scale.
    static void Prepare(CModel& model)
    {
        samples::Assembly(model);
        model.FinishLoad();
    }

    fs::path m_dir;
};

bool ManyColours(const std::string& summary)
{
    return summary.find("colours=") != std::string::npos && summary.find("colours=1 ") == std::string::npos &&
           summary.find("colours=0 ") == std::string::npos;
}

}  // namespace

TEST_F(PovRender, EverySkyAndFloorRenders)
{
    struct Variant
    {
        int sky, floor;
    };
    std::vector<Variant> variants{{0, 0}};
    for (int sky = 1; sky <= exportsamples::kSkyTypes; ++sky)
        variants.push_back({sky, 0});
    for (int floor = 1; floor <= exportsamples::kFloorTypes; ++floor)
        variants.push_back({0, floor});

    for (const Variant& v : variants) {
        CRecordingModel model;
        Prepare(model);
        model.m_skyType = v.sky;
        model.m_floorType = v.floor;
        model.m_floorOffset = -1.0f;
        int result = 0;
        std::string text = WriteToString(WritePovScene, model, model.m_scale, &result);
        ASSERT_EQ(1, result);
        std::string name = "sky" + std::to_string(v.sky) + "_floor" + std::to_string(v.floor) + ".pov";
        WriteAll(m_dir / name, text);
        std::string summary = Render(name);
        EXPECT_TRUE(ManyColours(summary)) << name << ": " << summary;
        // The model sits in front of the camera at the image centre.
        EXPECT_NE(std::string::npos, summary.find("centre_differs=1")) << name << ": " << summary;
    }
}

TEST_F(PovRender, IncludeFileRendersInsideAScene)
{
    CRecordingModel assembly, sliver;
    Prepare(assembly);
    exportsamples::WithDegenerateGroup(sliver);
    sliver.FinishLoad();
    const struct
    {
        CModel* model;
        const char* name;
        const char* lookAt;  // a point inside the model
    } includes[] = {{&assembly, "assembly.inc", "<0, 0, 0>"},
                    // the centred tetrahedron's centroid, not its box centre
                    {&sliver, "sliver.inc", "<-0.29, -0.29, -0.29>"}};

    for (const auto& include : includes) {
        int result = 0;
        WriteAll(m_dir / include.name, WriteToString(WritePovObject, *include.model, 1.0, &result));
        ASSERT_EQ(1, result);
        std::string scene = std::string(include.name) + ".pov";
        WriteAll(m_dir / scene, std::string("#include \"colors.inc\"\n"
                                            "#include \"textures.inc\"\n"
                                            "camera { location <0.5, 0.5, -4> look_at ") +
                                    include.lookAt +
                                    " }\n"
                                    "light_source { <0, 0, -4> color White }\n"
                                    "light_source { <0, 5, 0> color White }\n"
                                    "#include \"" +
                                    include.name + "\"\n");
        std::string summary = Render(scene);
        EXPECT_TRUE(ManyColours(summary)) << scene << ": " << summary;
        EXPECT_NE(std::string::npos, summary.find("centre_differs=1")) << scene << ": " << summary;
    }
}

// When no group is written the include must still parse: several groups
// leave an empty outer union, a single group no outer object at all.
TEST_F(PovRender, IncludeWithNothingDrawnParses)
{
    CRecordingModel several, single;
    exportsamples::WithDegenerateGroup(several);
    several.GetGroup(0)->active = 0;
    exportsamples::SingleTriangle(single);
    single.GetGroup(0)->active = 0;
    const struct
    {
        CModel* model;
        const char* name;
    } includes[] = {{&several, "several.inc"}, {&single, "single.inc"}};

    for (const auto& include : includes) {
        int result = 0;
        WriteAll(m_dir / include.name, WriteToString(WritePovObject, *include.model, 1.0, &result));
        ASSERT_EQ(1, result);
        std::string scene = std::string(include.name) + ".pov";
        WriteAll(m_dir / scene, std::string("#include \"colors.inc\"\n"
                                            "#include \"textures.inc\"\n"
                                            "camera { location <0, 0, -4> look_at <0, 0, 0> }\n"
                                            "light_source { <0, 0, -4> color White }\n"
                                            "#include \"") +
                                    include.name +
                                    "\"\n"
                                    "sphere { <0, 0, 0>, 1 pigment { color Red } }\n");
        // The sphere after the include shows that parsing went on past it.
        std::string summary = Render(scene);
        EXPECT_NE(std::string::npos, summary.find("centre_differs=1")) << scene << ": " << summary;
    }
}

// Names with blanks and punctuation, as RAW and NFF files give them, and one
// that clashes once they are fixed, still make a scene POV-Ray parses.
TEST_F(PovRender, GroupNamesWithBlanksRender)
{
    CRecordingModel model;
    model.SetGroup("left arm", FindColor("Red"), FindTexture("Shiny"));
    model.AddTriangle({-1, -1, 0}, {1, -1, 0}, {0, 1, 0});
    model.SetGroup("left_arm", FindColor("Blue"), FindTexture("Shiny"));
    model.AddTriangle({-1, -1, 0.5f}, {1, -1, 0.5f}, {0, 1, 0.5f});
    model.SetGroup("x.y (2)", FindColor("Green"), FindTexture("Shiny"));
    model.AddTriangle({-1, -1, 1}, {1, -1, 1}, {0, 1, 1});
    model.FinishLoad();
    WriteAll(m_dir / "names.pov", WriteToString(WritePovScene, model, model.m_scale));
    EXPECT_TRUE(ManyColours(Render("names.pov")));
}
