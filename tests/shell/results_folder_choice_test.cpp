#include <gtest/gtest.h>

#include <string>

#include "shell/folders.h"
#include "shell/results_folder_choice.h"

using namespace korvanteslin;

TEST(ResultsFolderChoice, PickedFolderEndsInOneSeparatorAndMustFitTheSettingsFile)
{
    using Outcome = ResultsFolderChoice::Outcome;
    const std::string sep(1, kSeparator);
    // A path of exactly `bytes` bytes under the root, without a closing separator.
    const auto pathOf = [&](std::size_t bytes) { return sep + std::string(bytes - 1, 'r'); };
    // Two bytes a letter: 300 letters are 600 bytes.
    std::string cyrillicLong = sep;
    for (int i = 0; i < 300; ++i)
        cyrillicLong += "ж";

    struct Case {
        const char* name;
        std::string picked;
        Outcome outcome;
        std::string stored;
    };
    const Case cases[] = {
        {"cancelled", "", Outcome::Unchanged, ""},
        {"root", sep, Outcome::Chosen, sep},
        {"normal", sep + "home" + sep + "op" + sep + "results", Outcome::Chosen,
            sep + "home" + sep + "op" + sep + "results" + sep},
        {"closing separator kept single", sep + "data" + sep, Outcome::Chosen, sep + "data" + sep},
        {"Cyrillic", sep + "home" + sep + "Результаты 2026", Outcome::Chosen, sep + "home" + sep + "Результаты 2026" + sep},
        {"497 bytes, 498 with the separator", pathOf(497), Outcome::Chosen, pathOf(497) + sep},
        {"498 bytes, 499 with the separator", pathOf(498), Outcome::Refused, ""},
        {"498 bytes ending in the separator", pathOf(497) + sep, Outcome::Chosen, pathOf(497) + sep},
        {"499 bytes ending in the separator", pathOf(498) + sep, Outcome::Refused, ""},
        {"300 letters are 600 bytes", cyrillicLong, Outcome::Refused, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ResultsFolderChoice got = resultsFolderFromDialog(c.picked);
        EXPECT_EQ(got.outcome, c.outcome);
        if (c.outcome == Outcome::Refused)
            EXPECT_NE(got.text.find("498"), std::string::npos) << "the message names the limit: " << got.text;
        else
            EXPECT_EQ(got.text, c.stored);
    }
}
