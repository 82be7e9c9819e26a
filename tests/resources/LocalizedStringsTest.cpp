#include <cstdlib>
#include <map>

#include <gtest/gtest.h>

#include "LocaleScope.h"
#include "platform/LocalizedStrings.h"
#include "platform/ResourceLocator.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::LocaleScope;

std::map<std::string, std::string> allTexts() {
    std::map<std::string, std::string> texts;
    for (const auto& key : test::screenKeys()) {
        texts[key] = LocalizedStrings::localizedString(key);
    }
    return texts;
}

TEST(LocalizedStrings, EveryKeyHasItsOwnTextInEnglishAndFrench) {
    // Both tables must hold every key: English is also what C and unknown
    // languages show, so a key missing there would show bare.
    std::map<std::string, std::string> english;
    std::map<std::string, std::string> french;
    {
        LocaleScope scope("en_US.UTF-8");
        english = allTexts();
    }
    {
        LocaleScope scope("fr_FR.UTF-8");
        french = allTexts();
    }
    for (const auto& key : test::screenKeys()) {
        SCOPED_TRACE(key);
        EXPECT_NE(french[key], key);
        // Only the buttons whose English word is their key may read as it.
        if (key != "Yes" && key != "No" && key != "Cancel") {
            EXPECT_NE(english[key], key);
        }
    }
    EXPECT_EQ(english["Kesto_help_path"], "help_en");
    EXPECT_EQ(french["Kesto_help_path"], "help_fr");
    for (const char* placeholder : {"#0", "#1", "#2"}) {
        EXPECT_NE(english["A_RadioActivityDetected"].find(placeholder), std::string::npos)
            << placeholder;
        EXPECT_NE(french["A_RadioActivityDetected"].find(placeholder), std::string::npos)
            << placeholder;
    }
    // The exposure-limit line quotes the figures the verdict is measured against.
    EXPECT_NE(english["H_LimitExposition"].find("1 mSv"), std::string::npos);
    EXPECT_NE(english["H_LimitExposition"].find("0.114 μSv/h"), std::string::npos);
}

TEST(LocalizedStrings, LanguageFollowsTheProcessLocale) {
    {
        LocaleScope scope("fr_FR.UTF-8");
        EXPECT_EQ(LocalizedStrings::localizedString("Yes"), "Oui");
        EXPECT_EQ(LocalizedStrings::localizedString("Tab_History"), "Historique");
    }
    // No French table is consulted under C or POSIX, nor for a language
    // without a table: English shows, not the bare key.
    for (const char* lang : {"C", "POSIX", "C.UTF-8", "de_DE.UTF-8", "xx_YY"}) {
        SCOPED_TRACE(lang);
        LocaleScope scope(lang);
        EXPECT_EQ(LocalizedStrings::localizedString("Yes"), "Yes");
        EXPECT_EQ(LocalizedStrings::localizedString("Tab_History"), "History");
    }
    {
        LocaleScope scope("en_US.UTF-8", "de:fr");  // the first listed language with texts wins
        EXPECT_EQ(LocalizedStrings::localizedString("No"), "Non");
    }
    {
        LocaleScope scope(nullptr);
        EXPECT_EQ(LocalizedStrings::localizedString("Cancel"), "Cancel");
    }
}

TEST(LocalizedStrings, AKeyWithoutTextShowsAsItself) {
    for (const char* lang : {"fr_FR.UTF-8", "C"}) {
        SCOPED_TRACE(lang);
        LocaleScope scope(lang);
        EXPECT_EQ(LocalizedStrings::localizedString("Z_NoSuchKey"), "Z_NoSuchKey");
        // gettext answers the empty key with its catalog header; that must
        // never reach a screen.
        EXPECT_EQ(LocalizedStrings::localizedString(""), "");
        const std::string cut("Yes\0No", 6);
        EXPECT_EQ(LocalizedStrings::localizedString(cut), cut);
    }
}

// Texts follow the resource folder when it moves; a folder that is not there
// is named once, as it was given, and English keys show meanwhile.
TEST(LocalizedStrings, FollowsTheResourceFolderAndNamesOneThatIsNotThere) {
    LocaleScope scope("fr_FR.UTF-8");
    test::TemporaryDirectory dir;
    const auto nowhere = dir.path() / "nowhere" / "kesto";
    for (const bool fromEnvironment : {false, true}) {
        SCOPED_TRACE(fromEnvironment);
        test::ConsoleCapture console;
        if (fromEnvironment) {
            setenv("KESTO_RESOURCES", (nowhere.string() + "/").c_str(), 1);
        } else {
            ResourceLocator::setResourceDirectory(dir.path() / "kesto");
        }
        EXPECT_EQ(LocalizedStrings::localizedString("Yes"), "Yes");
        EXPECT_EQ(LocalizedStrings::localizedString("No"), "No");
        EXPECT_EQ(console.count("Fail to load texts"), 1u);  // said once, not at every lookup
        if (fromEnvironment) {
            EXPECT_EQ(ResourceLocator::localeDirectory(), dir.path() / "nowhere" / "locale");
            EXPECT_EQ(
                console.count("Resources: no folder " + nowhere.string() + " (KESTO_RESOURCES)"),
                1u);
        }
        unsetenv("KESTO_RESOURCES");
        ResourceLocator::setResourceDirectory({});
        EXPECT_EQ(LocalizedStrings::localizedString("Yes"), "Oui");
    }
}

}  // namespace
}  // namespace kesto
