#pragma once

#include <string>

#include "shell/shell_messages.h"

namespace korvanteslin {

// The folder dialog's title, in Russian whatever the interface language.
inline constexpr const char* kResultsFolderDialogTitle = "Выберите директорию для хранения результата:";

// What the folder the operator picked means for strResultsFolder.
struct ResultsFolderChoice {
    enum class Outcome {
        Unchanged, // the dialog was cancelled
        Chosen,    // `folder` is the new strResultsFolder, ending in the separator
        Refused,   // `refusal` tells the operator why the folder cannot be kept
    };
    Outcome outcome = Outcome::Unchanged;
    std::string folder;
    ShellMessage refusal;
};

// Turns the path the folder dialog returned (UTF-8; empty when cancelled) into
// the results folder. A path that would not fit its record in the settings
// file is refused rather than cut, since a cut path names another folder.
ResultsFolderChoice resultsFolderFromDialog(const std::string& chosenPath);

} // namespace korvanteslin
