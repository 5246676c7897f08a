// The whole program, run as a user runs it: answers piped in, the complete
// console transcript compared, the files on disk checked.
#include <gtest/gtest.h>

#include "demo_tape.h"
#include "common/file_names.h"
#include "program_runner.h"
#include "signal_decoder.h"
#include "tape_builder.h"
#include "temp_dir.h"

namespace morlevix {
namespace {

using testing::Bytes;
using testing::TempDir;
using testing::write_file;
namespace fs = std::filesystem;

const std::string kBanner =
    "\nMORLEVIX   Conversion d'un fichier cassette Alice .k7 en .wav"
    "\n    v1.0   Septembre 2005 - Equipe MORLEVIX"
    "\n           Documentation : fichier README.md"
    "\n"
    "\n------------------------------------------------------------------"
    "\nCe programme est experimental, et diffuse sans aucune garantie."
    "\nL'auteur decline toute responsabilite en cas de dysfonctionnement."
    "\nFormat du fichier .wav : 44,1 kHz monophonique 8 bits sans signe."
    "\n------------------------------------------------------------------"
    "\n"
    "\nPlusieurs fichiers peuvent etre convertis en utilisant des jokers"
    "\nExemple : * pour convertir tous les fichiers .wav du dossier"
    "\n"
    "\nNom du fichier .wav sans extension : ";
const std::string kPause = "Appuyez sur une touche pour continuer...\n";
const std::string kFarewell =
    "\n***********************************************************"
    "\n\nFin de la conversion\nMerci d'avoir utilise MORLEVIX\n\n" + kPause;
const std::string kNothingFound = "Fichier introuvable\n";

std::string question(const std::string& pattern)
{
    return kBanner + "\n   Lecture de " + pattern + ".k7 pour creer " + pattern + ".wav" +
           "\n   Si les fichiers cibles existent, ils seront ecrases" + "\n\nVoulez-vous continuer (o/n) ? ";
}

// What one image adds to the transcript: its asterisk line, the converter's
// lines, a line break and the pause.
std::string image(const std::string& name, const std::string& converter_lines)
{
    return "\n******************************* " + name + converter_lines + "\n" + kPause;
}

class BatchProgram : public ::testing::Test {
protected:
    testing::ProgramRun run(const std::string& answers)
    {
        auto result = testing::run_program(MORLEVIX_PROGRAM, dir.path(), answers);
        EXPECT_EQ(result.status, 0) << "answers: " << answers;
        EXPECT_FALSE(fs::exists(dir / "dir.txt")) << "answers: " << answers;
        return result;
    }
    void add_tape(const std::string& name, const Bytes& image) { write_file(dir / name, image); }
    // The blocks read back from a produced WAV, or none if it is not a good WAV.
    std::vector<Bytes> wav_blocks(const std::string& name)
    {
        const auto wav = testing::parse_wav(testing::read_file(dir.path() / path_from_name(name)));
        EXPECT_EQ(wav.error, "") << name;
        return testing::decoded_blocks(wav.samples);
    }

    TempDir dir;
};

TEST_F(BatchProgram, ConvertsEveryMatchingImageInNameOrder)
{
    const Bytes b = testing::tape_file("BEE", testing::counting_payload(300));
    const Bytes a = testing::tape_file("AAA", {1, 2, 3}, 0xFF);
    Bytes c = testing::tape_file("CEE", {4, 5});
    c.pop_back();  // the end-of-file block loses its closing byte
    add_tape("b.k7", b);
    add_tape("A.K7", a);
    add_tape("c.K7", c);
    add_tape("e.k7.bak", a);
    write_file(dir / "notes.txt", {'x'});
    fs::create_directory(dir / "d.k7");

    const auto r = run("*\no\n");
    EXPECT_EQ(r.out, question("*") + image("A.K7", "\nAAA     ") + image("b.k7", "\nBEE     ") +
                         image("c.K7", "\nCEE     \nAnomalie bloc ff") + kFarewell);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(wav_blocks("A.wav"), testing::image_blocks(a));
    EXPECT_EQ(wav_blocks("b.wav"), testing::image_blocks(b));
    EXPECT_EQ(wav_blocks("c.wav"), testing::image_blocks(c));  // all but the truncated block
    EXPECT_FALSE(fs::exists(dir / "e.wav"));
    EXPECT_FALSE(fs::exists(dir / "d.wav"));
}

TEST_F(BatchProgram, AnswersAreReadOneCharacterAtATime)
{
    add_tape("JEU.K7", testing::tape_file("JEU", {1}));
    const std::string converted = image("JEU.K7", "\nJEU     ") + kFarewell;
    struct Case {
        std::string answers;
        std::string transcript;
        bool converts;
    };
    const Case cases[] = {
        {"", kBanner, false},                                     // no name at all
        {"   \n\n  \t", kBanner, false},                           // only blanks
        {"*\n", question("*"), false},                             // no answer
        {"*\nn\n", question("*"), false},
        {"*\nN\n", question("*"), false},
        {"* y9 \t x N o\n", question("*"), false},                 // y, digits, blanks skipped: N stops
        {"\n  jeu\n o", question("jeu") + converted, true},        // blank lines before the name
        {"JEU yO", question("JEU") + converted, true},            // text after the name answers
        {"*\n\nY\n7\no\n", question("*") + converted, true},
    };
    for (const auto& c : cases) {
        fs::remove(dir / "JEU.wav");
        const auto r = run(c.answers);
        EXPECT_EQ(r.out, c.transcript) << "answers: " << c.answers;
        EXPECT_EQ(fs::exists(dir / "JEU.wav"), c.converts) << "answers: " << c.answers;
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(BatchProgram, WildcardsMatchWithoutCase)
{
    add_tape("A.K7", testing::tape_file("UN", {1}));
    add_tape("ab.k7", testing::tape_file("DEUX", {2}));
    add_tape("Abc.K7", testing::tape_file("TROIS", {3}));

    EXPECT_EQ(run("?\no").out, question("?") + image("A.K7", "\nUN      ") + kFarewell);
    EXPECT_EQ(run("a*\no").out, question("a*") + image("A.K7", "\nUN      ") + image("ab.k7", "\nDEUX    ") +
                                    image("Abc.K7", "\nTROIS   ") + kFarewell);
    EXPECT_EQ(run("*B?\no").out, question("*B?") + image("Abc.K7", "\nTROIS   ") + kFarewell);
    EXPECT_EQ(run("AB\no").out, question("AB") + image("ab.k7", "\nDEUX    ") + kFarewell);

    // The extension is always added: typing it looks for "A.K7.k7".
    for (const std::string pattern : {"A.K7", "zzz", "nulle_part/*", "A???"}) {
        const auto r = run(pattern + "\no");
        EXPECT_EQ(r.out, question(pattern) + kFarewell);
        EXPECT_EQ(r.err, kNothingFound) << pattern;
    }
}

TEST_F(BatchProgram, ImagesInADirectoryAreConvertedWhereTheyLie)
{
    fs::create_directory(dir / "jeux");
    const Bytes tape = testing::tape_file("JEU", {1, 2});
    write_file(dir / "jeux" / "JEU.K7", tape);
    const auto r = run("jeux/*\no");
    EXPECT_EQ(r.out, question("jeux/*") + image("jeux/JEU.K7", "\nJEU     ") + kFarewell);
    EXPECT_EQ(wav_blocks("jeux/JEU.wav"), testing::image_blocks(tape));
    EXPECT_FALSE(fs::exists(dir / "JEU.wav"));
}

#ifdef _WIN32
TEST_F(BatchProgram, BackslashSeparatesADirectoryOnWindows)
{
    fs::create_directory(dir / "jeux");
    write_file(dir / "jeux" / "JEU.K7", testing::tape_file("JEU", {1, 2}));
    EXPECT_EQ(run("jeux\\* o").out, question("jeux\\*") + image("jeux\\JEU.K7", "\nJEU     ") + kFarewell);
    EXPECT_TRUE(fs::exists(dir / "jeux" / "JEU.wav"));
}
#endif

TEST_F(BatchProgram, NamesBeyondAsciiConvert)
{
    // UTF-8 names, as the console and the listing carry them everywhere.
    const std::string name = "\xC3\x89t\xC3\xA9";  // "Ete" with its accents
    const Bytes tape = testing::tape_file("ETE", {1, 2});
    write_file(dir.path() / path_from_name(name + ".k7"), tape);
    // '?' stands for one character, however many bytes it takes.
    EXPECT_EQ(run("?t? o").out, question("?t?") + image(name + ".k7", "\nETE     ") + kFarewell);
    EXPECT_EQ(wav_blocks(name + ".wav"), testing::image_blocks(tape));
}

TEST_F(BatchProgram, LongNamesAndShellCharactersAreJustNames)
{
    const std::string long_name(100, 'L');
    add_tape(long_name + ".k7", testing::tape_file("LONG", {1}));
    add_tape("x;y$(z).k7", testing::tape_file("BIZARRE", {2}));

    EXPECT_EQ(run(long_name + " o").out, question(long_name) + image(long_name + ".k7", "\nLONG    ") + kFarewell);
    EXPECT_TRUE(fs::exists(dir / (long_name + ".wav")));
    EXPECT_EQ(run("x;y$(z) o").out, question("x;y$(z)") + image("x;y$(z).k7", "\nBIZARRE ") + kFarewell);
    EXPECT_TRUE(fs::exists(dir / "x;y$(z).wav"));

    for (const std::string pattern :
         {"*;touch${IFS}pwned;", "$(touch${IFS}pwned)", "`touch${IFS}pwned`", "*&&touch${IFS}pwned",
          "*|touch${IFS}pwned", "\"*\"", "'*'", "*>pwned"}) {
        const auto r = run(pattern + "\no");
        EXPECT_EQ(r.out, question(pattern) + kFarewell) << pattern;
        EXPECT_FALSE(fs::exists(dir / "pwned")) << pattern;
    }
}

TEST_F(BatchProgram, AUsersDirTxtIsLeftAsItWas)
{
    const Bytes notes = {'m', 'e', 's', ' ', 'n', 'o', 't', 'e', 's', '\n'};
    write_file(dir / "dir.txt", notes);
    add_tape("JEU.K7", testing::tape_file("JEU", {1}));
    // A batch that converts, one that finds nothing, one stopped at its question.
    for (const std::string answers : {"*\no\n", "rien\no\n", "*\n"}) {
        const auto r = testing::run_program(MORLEVIX_PROGRAM, dir.path(), answers);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(testing::read_file(dir / "dir.txt"), notes) << answers;
    }
    EXPECT_TRUE(fs::exists(dir / "JEU.wav"));
}

TEST_F(BatchProgram, BundledExampleIsOurDemoTapeAndConverts)
{
    const Bytes demo = testing::read_file(fs::path(MORLEVIX_SOURCE_DIR) / "examples" / "DEMO.K7");
    EXPECT_EQ(demo, testing::demo_tape());
    add_tape("DEMO.K7", demo);
    EXPECT_EQ(run("*\no\n").out, question("*") + image("DEMO.K7", "\nDEMO    ") + kFarewell);
    EXPECT_EQ(wav_blocks("DEMO.wav"), testing::image_blocks(demo));
}

}  // namespace
}  // namespace morlevix
