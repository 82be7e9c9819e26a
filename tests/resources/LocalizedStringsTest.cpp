#include <cstdlib>

#include <gtest/gtest.h>

#include "LocaleScope.h"
#include "platform/LocalizedStrings.h"
#include "platform/ResourceLocator.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::LocaleScope;

TEST(LocalizedStrings, EveryKeyHasItsOwnTextInEnglishAndFrench) {
    // English is also what C and unknown languages show, so a key missing
    // there would show bare.
    for (const bool french : {false, true}) {
        SCOPED_TRACE(french);
        LocaleScope scope(french ? "fr_FR.UTF-8" : "en_US.UTF-8");
        for (const auto& key : test::screenKeys()) {
            // Only the buttons whose English word is their key may read as it.
            if (french || (key != "Yes" && key != "No" && key != "Cancel")) {
                EXPECT_NE(LocalizedStrings::localizedString(key), key);
            }
        }
        const auto detected = LocalizedStrings::localizedString("A_RadioActivityDetected");
        for (const char* placeholder : {"#0", "#1", "#2"}) {
            EXPECT_NE(detected.find(placeholder), std::string::npos) << placeholder;
        }
    }
}

// Screens write numbers as their language does; the page's own texts (the
// Web_ keys) have a text in both languages.
TEST(LocalizedStrings, NumbersTakeTheLanguagesSeparatorAndThePageHasItsTexts) {
    for (const bool french : {false, true}) {
        SCOPED_TRACE(french);
        LocaleScope scope(french ? "fr_FR.UTF-8" : "en_US.UTF-8");
        EXPECT_EQ(
            LocalizedStrings::localizedFormat("%s %0.2f (%d) %.1f.", "\u03BCSv", 0.5, 3, 12.0),
            french ? "\u03BCSv 0,50 (3) 12,0." : "\u03BCSv 0.50 (3) 12.0.");
        const auto keys = LocalizedStrings::keysStartingWith("Web_");
        EXPECT_GT(keys.size(), 30U);
        for (const auto& key : keys) {
            EXPECT_NE(LocalizedStrings::localizedString(key), key);
        }
    }
}

// French shows under French; English, never the bare key, under C and
// languages without a table; the first listed language with texts wins. A key
// without text shows as itself, and neither the empty key (gettext would give
// its catalog header) nor a key with a NUL (looked up cut short) is translated.
TEST(LocalizedStrings, TheLocaleChoosesTheTableAndOtherKeysShowAsThemselves) {
    struct Case {
        const char* lang;
        const char* language;
        std::string key;
        std::string text;
    };
    const std::string cut("Yes\0No", 6);
    const Case cases[] = {
        {"fr_FR.UTF-8", nullptr, "Tab_History", "Historique"},
        {"C", nullptr, "Tab_History", "History"},
        {"C.UTF-8", nullptr, "Tab_History", "History"},
        {"de_DE.UTF-8", nullptr, "Tab_History", "History"},
        {"xx_YY", nullptr, "Tab_History", "History"},
        {"en_US.UTF-8", "de:fr", "No", "Non"},
        {"fr_FR.UTF-8", nullptr, "Z_NoSuchKey", "Z_NoSuchKey"},
        {"fr_FR.UTF-8", nullptr, "", ""},
        {"fr_FR.UTF-8", nullptr, cut, cut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lang) + " " + c.key);
        LocaleScope scope(c.lang, c.language);
        EXPECT_EQ(LocalizedStrings::localizedString(c.key), c.text);
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
