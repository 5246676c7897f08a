// The command line in the user's language: English when the locale asks
// for it, French otherwise, word for word as before; the interactive batch
// in French whatever the locale.
#include <gtest/gtest.h>

#include <map>

#include "cli/command_table.h"
#include "cli/user_language.h"
#include "tape/sound/compressed_recording.h"
#include "program_runner.h"
#include "recordings.h"
#include "tape_builder.h"
#include "temp_dir.h"

namespace morlevix {
namespace {

using testing::Bytes;
using testing::tape_file;

constexpr char kEnglish[] = "en_US.UTF-8";

// Words of French that no English line of the program holds.
const std::vector<std::string> kFrenchWords = {" de ",   " le ",    " la ",      " des ",      " une ",     " est ",
                                               "fichier", "aucun",   " pas ",     "bloc ",      "juste",     "entendu",
                                               "donnee",  "Usage :", "octet",     "Commandes",  "Exemples",  "coupe",
                                               "ligne",   "Anomalie", "manquant", "prise",      "Impossible", "inconnue"};

// The French words that `text` (English, by its locale) still holds.
std::vector<std::string> french_in(const std::string& text)
{
    std::vector<std::string> found;
    for (const auto& word : kFrenchWords)
        if (text.find(word) != std::string::npos) found.push_back(word);
    return found;
}

Language language_with(const std::map<std::string, std::string>& variables)
{
    return language_of_locale([&](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    });
}

TEST(UserLanguage, TheLocaleChoosesByItsLanguageLcAllFirstThenLcMessagesThenLang)
{
    using L = Language;
    const std::vector<std::pair<std::map<std::string, std::string>, L>> cases = {
        {{}, L::french},
        {{{"LANG", "C"}}, L::french},
        {{{"LANG", "POSIX"}}, L::french},
        {{{"LANG", "fr_FR.UTF-8"}}, L::french},
        {{{"LANG", "en_US.UTF-8"}}, L::english},
        {{{"LANG", "en"}}, L::english},
        {{{"LANG", "en_GB"}}, L::english},
        {{{"LANG", "en@euro"}}, L::english},
        {{{"LANG", "en.UTF-8"}}, L::english},
        {{{"LANG", "eo.UTF-8"}}, L::french},        // Esperanto is not English
        {{{"LANG", "eng"}}, L::french},             // nor a language spelt longer
        {{{"LC_ALL", "C"}, {"LANG", "en_US.UTF-8"}}, L::french},
        {{{"LC_ALL", "en_US.UTF-8"}, {"LANG", "fr_FR.UTF-8"}}, L::english},
        {{{"LC_ALL", ""}, {"LANG", "en_US.UTF-8"}}, L::english},  // set but empty: passed over
        {{{"LC_MESSAGES", "en_CA.UTF-8"}, {"LANG", "fr_CA.UTF-8"}}, L::english},
        {{{"LC_ALL", "fr_FR.UTF-8"}, {"LC_MESSAGES", "en_CA.UTF-8"}}, L::french},
    };
    for (const auto& [variables, expected] : cases) {
        std::string shown;
        for (const auto& [name, value] : variables) shown += name + "=" + value + " ";
        EXPECT_EQ(language_with(variables), expected) << shown;
    }
}

class CommandLineLanguage : public ::testing::Test {
protected:
    testing::ProgramRun run(const std::string& arguments, const std::string& locale = kEnglish)
    {
        return testing::run_program_with(MORLEVIX_PROGRAM, dir.path(), arguments, "", true, locale);
    }
    void add(const std::string& name, const Bytes& bytes) { testing::write_file(dir / name, bytes); }

    testing::TempDir dir;
};

TEST_F(CommandLineLanguage, EveryHelpIsEnglishUnderAnEnglishLocaleAndFrenchOtherwise)
{
    const auto english = run("--help");
    EXPECT_EQ(english.status, 0);
    EXPECT_EQ(english.out.rfind("Usage: morlevix [COMMAND [OPTIONS] FILE...]\n", 0), 0u) << english.out;
    EXPECT_NE(english.out.find("\nRecordings read: "), std::string::npos) << english.out;
    EXPECT_EQ(french_in(english.out), std::vector<std::string>{}) << english.out;
    const auto french = run("--help", "C");
    EXPECT_EQ(french.out.rfind("Usage : morlevix [COMMANDE [OPTIONS] FICHIER...]\n", 0), 0u) << french.out;
    EXPECT_NE(french.out.find("\nEnregistrements lus : "), std::string::npos) << french.out;
    for (const auto& command : command_table()) {
        const std::string name = command.name;
        const auto help = run(name + " --help");
        EXPECT_EQ(help.out.rfind("Usage: morlevix " + std::string(command.synopsis.en) + "\n", 0), 0u) << help.out;
        EXPECT_NE(help.out.find("\nExamples:\n"), std::string::npos) << help.out;
        EXPECT_EQ(french_in(help.out), std::vector<std::string>{}) << help.out;
        EXPECT_EQ(run(name + " --help", "fr_FR.UTF-8").out.rfind("Usage : morlevix " + std::string(command.synopsis.fr), 0), 0u)
            << name;
    }
    // The suggestion for a misspelt command, and a usage error.
    auto r = run("lsit JEU.k7");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "morlevix: unknown command: lsit; did you mean list?\n");
    EXPECT_EQ(run("lsit JEU.k7", "C").err, "morlevix: commande inconnue : lsit ; vouliez-vous dire list ?\n");
    r = run("convert --vite JEU.k7");
    EXPECT_EQ(r.err, "morlevix: unknown option: --vite (morlevix --help for help)\n");
    EXPECT_EQ(run("decode -o", "C").err, "morlevix: l'option -o demande une valeur (morlevix --help pour l'aide)\n");
    EXPECT_EQ(run("decode -o").err, "morlevix: option -o needs a value (morlevix --help for help)\n");
#ifndef _WIN32
    // LC_ALL stands over LANG, as every program of the system takes it.
    EXPECT_EQ(run("lsit", "C LANG=en_US.UTF-8").err, "morlevix: commande inconnue : lsit ; vouliez-vous dire list ?\n");
    EXPECT_EQ(run("lsit", "en_GB.UTF-8 LANG=fr_FR.UTF-8").err, "morlevix: unknown command: lsit; did you mean list?\n");
#endif
}

TEST_F(CommandLineLanguage, EachCommandSpeaksEnglishThroughAndFrenchAsBefore)
{
    // An image with a wrong checksum, one cut short, a recording with a
    // block broken off, two takes, a program with words the machine lacks.
    Bytes wrong = tape_file("JEU", testing::counting_payload(300));
    wrong[30] ^= 0xFF;
    add("FAUX.k7", wrong);
    const Bytes whole = tape_file("COUPE", testing::counting_payload(300));
    add("COUPE.k7", Bytes(whole.begin(), whole.end() - 40));
    const Bytes tape = tape_file("TROU", testing::counting_payload(600));
    const testing::Recording ours = testing::recording_of(tape);
    add("TROU.wav", testing::wav_file({testing::with_dropout(ours, 4.2, 4.3)}));
    add("A.wav", testing::wav_file({testing::with_dropout(ours, 4.2, 4.3)}));
    add("B.wav", testing::wav_file({ours}));
    const std::string listing = "10 PRINT \"ÉTÉ\"\nRUN\n";
    add("PROG.bas", Bytes(listing.begin(), listing.end()));

    struct Case {
        std::string arguments;
        int status;
        std::string english_out, english_err;  // what each must hold
    };
    const std::vector<Case> cases = {
        {"list FAUX.k7", 1, "  Name      Type              ASCII  Gap    Addresses Blocks   Bytes  End\n",
         "morlevix: FAUX.k7: block 01 of 255 bytes at position 19: wrong checksum\n"},
        {"list --blocks TROU.wav", 1, "   Position  Type    Length  Check   Time       Speed      Level  Margin\n",
         "morlevix: TROU.wav: block 01 of 255 bytes at position 662 (0:03.6): signal broken off inside the block\n"},
        {"convert COUPE.k7", 1, "COUPE.k7 -> COUPE.wav\n", "morlevix: COUPE.k7: Anomaly in block 01: the image ends inside this block\n"},
        {"decode TROU.wav", 1, "TROU    : incomplete\n", "morlevix: TROU.wav: block 01 at 0:03.6: signal broken off"},
        {"decode --merge -o M.k7 A.wav B.wav", 0, "TROU    : blocks 0-1 from A.wav, 2 from B.wav, 3-4 from A.wav\n", ""},
        {"basic TROU.wav", 1, "", "morlevix: TROU.wav: TROU: is not a BASIC program (02 machine code)\n"},
        {"extract TROU.wav TROU", 1, "TROU.wav: TROU -> TROU.bin\n", "written as it is"},
        {"make -o P.k7 PROG.bas", 0, "PROG.bas -> P.k7: PROG\n",
         "morlevix: PROG.bas: line 2 of the text: direct command passed over: RUN\n"},
        {"list ABSENT.k7", 1, "", "morlevix: Cannot read ABSENT.k7 (no such file)\n"},
    };
    for (const auto& c : cases) {
        const auto english = run(c.arguments);
        EXPECT_EQ(english.status, c.status) << c.arguments << "\n" << english.err;
        EXPECT_NE(english.out.find(c.english_out), std::string::npos) << c.arguments << "\n" << english.out;
        EXPECT_NE(english.err.find(c.english_err), std::string::npos) << c.arguments << "\n" << english.err;
        EXPECT_EQ(french_in(english.out + english.err), std::vector<std::string>{}) << english.out << english.err;
        // The same under the C locale: French, and the same status.
        const auto french = run(c.arguments, "C");
        EXPECT_EQ(french.status, c.status) << c.arguments;
        EXPECT_NE(french.out + french.err, english.out + english.err) << c.arguments;
    }
}

TEST_F(CommandLineLanguage, ARecordingThisBuildCannotReadIsRefusedByItsFormat)
{
    // Bytes that start as a FLAC: a build without libsndfile (the Windows
    // one) names the format and how to convert it; a build with it finds
    // them no FLAC.
    const std::string flac = "fLaC" + std::string(300, '\x01');
    add("JEU.flac", Bytes(flac.begin(), flac.end()));
    const auto french = run("decode JEU.flac", "C");
    const auto english = run("decode JEU.flac");
    EXPECT_EQ(french.status, 1);
    EXPECT_EQ(english.status, 1);
    if (CompressedRecording::available()) {
        EXPECT_EQ(french.err.rfind("morlevix: JEU.flac : enregistrement illisible (", 0), 0u) << french.err;
        EXPECT_EQ(english.err.rfind("morlevix: JEU.flac: unreadable recording (", 0), 0u) << english.err;
    } else {
        EXPECT_EQ(french.err, "morlevix: JEU.flac : FLAC : format que cette version de morlevix ne lit pas ; convertir en "
                              "WAV, par exemple avec sox IN.flac OUT.wav\n");
        EXPECT_EQ(english.err, "morlevix: JEU.flac: FLAC: a format this build of morlevix does not read; convert it to WAV, "
                               "for example with sox IN.flac OUT.wav\n");
        EXPECT_NE(run("--help", "C").out.find("Enregistrements lus : WAV seulement"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "JEU.k7"));
}

TEST_F(CommandLineLanguage, TheInteractiveBatchStaysFrenchUnderAnEnglishLocale)
{
    add("JEU.k7", tape_file("JEU", testing::counting_payload(300)));
    const auto french = testing::run_program_with(MORLEVIX_PROGRAM, dir.path(), "", "*\no\n", true, "C");
    const auto english = testing::run_program_with(MORLEVIX_PROGRAM, dir.path(), "", "*\no\n", true, kEnglish);
    EXPECT_EQ(english.status, 0);
    EXPECT_EQ(english.out, french.out);
    EXPECT_NE(english.out.find("Voulez-vous continuer (o/n) ?"), std::string::npos) << english.out;
}

}  // namespace
}  // namespace morlevix
