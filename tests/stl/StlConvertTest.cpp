// The converter writes binary STL unless asked for ASCII, which keeps the groups.

#include <gtest/gtest.h>

#include "StlFiles.h"

namespace {

TEST(StlConverter, AsciiOptionKeepsTheGroups)
{
    const std::string converter = std::string(TRIVEX_BIN_DIR) + "/trivex-convert";
    const std::string house = TRIVEX_SAMPLES_DIR "/house.obj";
    for (const bool ascii : {false, true}) {
        SCOPED_TRACE(ascii ? "--stl-ascii" : "default");
        stlfiles::CTempPath file("house copy.stl");
        std::string output;
        ASSERT_EQ(testfiles::RunCommand("'" + converter + "' -q " + (ascii ? "--stl-ascii " : "") + "'" + house + "' " +
                                            file.Quoted(),
                                        &output),
                  0)
            << output;
        const std::string bytes = testfiles::ReadAll(file.String());
        EXPECT_EQ(bytes.rfind("solid ", 0) == 0, ascii);
        int result = 0;
        const auto model = stlfiles::ReadFile(file.String(), &result);
        ASSERT_EQ(result, 1);
        const std::vector<std::string> groups =
            ascii ? std::vector<std::string>{"walls", "roof", "door", "chimney"} : std::vector<std::string>{file.Stem()};
        EXPECT_EQ(testfiles::GroupNames(*model), groups);
    }
}

}  // namespace
