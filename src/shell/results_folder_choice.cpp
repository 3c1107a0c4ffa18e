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
        ResultsFolderChoice refused;
        refused.outcome = Outcome::Refused;
        refused.refusal = countAt(MessageId::ResultsFolderTooLong, folder, std::int64_t(folder.size()));
        return refused;
    }
    ResultsFolderChoice chosen;
    chosen.outcome = Outcome::Chosen;
    chosen.folder = folder;
    return chosen;
}

} // namespace korvanteslin
