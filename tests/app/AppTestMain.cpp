#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv)
{
    // Real widgets without a screen; the settings (recent files, window
    // place) go to a folder of this run so that runs do not see each other.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::filesystem::path config = std::filesystem::temp_directory_path() /
                                   ("trivex-app-tests-" + std::to_string(::getpid()));
    std::filesystem::create_directories(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Trivex"));
    QApplication::setApplicationName(QStringLiteral("Trivex"));
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(config, ec);
    return result;
}
