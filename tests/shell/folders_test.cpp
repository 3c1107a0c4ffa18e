#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>

#include "shell/folders.h"

using namespace korvanteslin;

TEST(Folders, DataFolderIsBuiltWithOneSeparator)
{
    struct Case {
        std::string programFiles, fallback, want;
    };
    const Case cases[] = {
        {"/opt/progs", "/home/u/.local/share", "/opt/progs/Korvanteslin v.1.02/"},
        {"/opt/progs/", "/home/u/.local/share", "/opt/progs/Korvanteslin v.1.02/"},
        {"   /opt/progs ", "/x", "/opt/progs /Korvanteslin v.1.02/"}, // only leading blanks go
        {"", "/home/u/.local/share", "/home/u/.local/share/Korvanteslin v.1.02/"},
        {"    ", "/home/u/.local/share/", "/home/u/.local/share/Korvanteslin v.1.02/"},
        {"/", "/x", "/Korvanteslin v.1.02/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(appFolderFrom(c.programFiles, c.fallback), c.want) << c.programFiles;
    EXPECT_EQ(settingsFileName(), "Korvanteslin v.1.02.eng");
}

TEST(Folders, ResultsFoldersAreCreatedOnceAndAMissingResultsFolderIsReportedOnce)
{
    QTemporaryDir root;
    const std::string results = root.path().toStdString() + "/Результаты/";
    std::filesystem::create_directory(results);

    std::string monthFolder;
    EXPECT_EQ(createResultsFolders(results, 2026, "декабрь", monthFolder), std::nullopt);
    EXPECT_EQ(monthFolder, results + "2026/декабрь");
    EXPECT_TRUE(std::filesystem::is_directory(monthFolder));
    EXPECT_EQ(createResultsFolders(results, 2026, "декабрь", monthFolder), std::nullopt) << "existing folders are fine";

    const std::string gone = root.path().toStdString() + "/deleted-since/";
    const auto failure = createResultsFolders(gone, 2026, "December", monthFolder);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find(gone + "2026"), std::string::npos) << *failure;
    EXPECT_FALSE(std::filesystem::exists(gone)) << "a vanished results folder is not re-made behind the operator's back";
}
