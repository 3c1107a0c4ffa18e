#include "shell/folders.h"

#include <filesystem>

#include "shell/settings_file.h"
#include "shell/settings_record.h"

namespace korvanteslin {

std::string appFolderName()
{
    return std::string(kProgName) + " " + kProgVersion;
}

std::string settingsFileName()
{
    return appFolderName() + ".eng";
}

std::string appFolderFrom(const std::string& programFiles, const std::string& fallbackBase)
{
    const std::size_t first = programFiles.find_first_not_of(' ');
    std::string base = first == std::string::npos ? fallbackBase : programFiles.substr(first);
    if (base.empty() || base.back() != kSeparator)
        base += kSeparator;
    return base + appFolderName() + kSeparator;
}

std::optional<ShellMessage> makeFolder(const std::string& path)
{
    std::error_code ec;
    std::filesystem::create_directory(path, ec);
    if (ec)
        return failureAt(MessageId::CannotCreateFolder, path, ec.value());
    return std::nullopt;
}

std::optional<ShellMessage> createResultsFolders(const std::string& strResultsFolder, int year,
    const std::string& monthName, std::string& strMonthFolder)
{
    const std::string yearFolder = strResultsFolder + std::to_string(year);
    strMonthFolder = yearFolder + kSeparator + monthName;
    if (TestPathExists(yearFolder) == 0) {
        if (auto failure = makeFolder(yearFolder))
            return failure;
    }
    if (TestPathExists(strMonthFolder) == 0)
        return makeFolder(strMonthFolder);
    return std::nullopt;
}

} // namespace korvanteslin
