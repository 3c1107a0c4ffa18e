#include "shell/results_folder_choice.h"

#include "shell/folders.h"
#include "shell/settings_file.h"

namespace korvanteslin {

ResultsFolderChoice resultsFolderFromDialog(const std::string& chosenPath)
{
    using Outcome = ResultsFolderChoice::Outcome;
    if (chosenPath.empty())
        return {};
    std::string folder = chosenPath;
    // A drive or file-system root comes back with its separator already.
    if (folder.back() != kSeparator)
        folder += kSeparator;
    if (folder.size() > kMaxStringBytes) {
        return {Outcome::Refused,
            "The folder cannot be used for results: its path is " + std::to_string(folder.size())
                + " bytes long with the closing separator, and at most " + std::to_string(kMaxStringBytes)
                + " bytes can be kept in the settings. The results folder stays as it was. Folder: " + folder};
    }
    return {Outcome::Chosen, folder};
}

} // namespace korvanteslin
