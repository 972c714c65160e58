// Writers whose formats take group names as identifiers write names their
// readers accept: disallowed characters become "_", names that would then
// repeat gain "_2", "_3" ..., and names that were valid stay as they are.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordingModel.h"
#include "SampleModels.h"
#include "TestFiles.h"
#include "Writers.h"

namespace {

// One triangle per group, each named as given.
void NamedGroups(CModel& model, const std::vector<std::string>& names)
{
    model.Clear(false);
    float z = 0;
    for (const std::string& name : names) {
        model.SetGroup(name.c_str(), FindColor("Red"), FindTexture("Shiny"));
        model.AddTriangle({0, 0, z}, {1, 0, z}, {0, 1, z});
        z += 1;
    }
    samples::Finish(model);
}

}  // namespace

TEST(GroupNames, EachFormatGetsNamesItCanParse)
{
    const std::vector<std::string> input = {"left arm", "left_arm", "left-arm", "Wheel",
                                            "both",     "7",        "Lid\"",    "Lid_"};
    const struct
    {
        const char* format;
        int (*write)(CModel&, FILE*, double);
        const char* before;  // the text around each name in the file
        const char* after;
        std::vector<std::string> names;
    } cases[] = {
        {"inc", WritePovObject, "#declare _", " = texture",
         {"left_arm_2", "left_arm", "left_arm_3", "Wheel", "both", "7", "Lid__2", "Lid_"}},
        {"pov", WritePovScene, "texture{_", "}\n",
         {"left_arm_2", "left_arm", "left_arm_3", "Wheel", "both", "7", "Lid__2", "Lid_"}},
        // "both" is a keyword and "7" a number there; "_both" would be an option.
        {"wtk", WriteWtkNff, "\n", "\n",
         {"left_arm_2", "left_arm", "left_arm_3", "Wheel", "gboth", "_7", "Lid__2", "Lid_"}},
        {"asc", WriteAsc, "Named object: \"", "\"\n",
         {"left arm", "left_arm", "left-arm", "Wheel", "both", "7", "Lid__2", "Lid_"}},
    };
    for (const auto& c : cases) {
        CRecordingModel model;
        NamedGroups(model, input);
        int result = 0;
        const std::string text = testfiles::WriteToString(c.write, model, 1.0, &result);
        EXPECT_EQ(1, result) << c.format;
        size_t at = 0;
        for (const std::string& name : c.names) {
            const std::string quoted = c.before + name + c.after;
            size_t found = text.find(quoted, at);
            EXPECT_NE(std::string::npos, found) << c.format << ": " << quoted << " missing or out of order";
            at = found == std::string::npos ? at : found + 1;
        }
        // Progress still shows the names the user knows.
        EXPECT_TRUE(model.HasStatus("Saving Group left arm")) << c.format;
    }
}

// 3D Studio object names hold ten characters, suffix included.
TEST(GroupNames, AscSuffixKeepsTenCharacters)
{
    CRecordingModel model;
    NamedGroups(model, {"Abcdefghi\"", "Abcdefghi_"});
    const std::string text = testfiles::WriteToString(WriteAsc, model, 1.0);
    EXPECT_NE(std::string::npos, text.find("Named object: \"Abcdefgh_2\"\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Named object: \"Abcdefghi_\"\n")) << text;
}
