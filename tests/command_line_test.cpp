// The command line end to end: the built program run with arguments, as a
// script runs it; what it prints, its exit status and the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/command_table.h"
#include "cli/file_access.h"
#include "program_runner.h"
#include "recordings.h"
#include "signal_decoder.h"
#include "tape_builder.h"
#include "temp_dir.h"

namespace morlevix {
namespace {

using testing::Bytes;
using testing::concat;
using testing::tape_file;
using testing::TempDir;
namespace fs = std::filesystem;

const std::string kHint = " (morlevix --help pour l'aide)\n";
const std::string kFilesHeading = "  Nom       Type              ASCII  Ecart  Adresses   Blocs  Octets  Fin\n";

std::string text_of(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class CommandLine : public ::testing::Test {
protected:
    testing::ProgramRun run(const std::string& arguments, const std::string& input = "", bool text = true)
    {
        return testing::run_program_with(MORLEVIX_PROGRAM, dir.path(), arguments, input, text);
    }
    void add(const std::string& name, const Bytes& bytes) { testing::write_file(dir / name, bytes); }
    Bytes file(const std::string& name) { return testing::read_file(dir / name); }

    const Bytes jeu = tape_file("JEU", testing::counting_payload(300));
    const Bytes two_files = concat({tape_file("PREMIER", {1, 2, 3}), tape_file("SECOND", testing::counting_payload(600), 0xFF)});
    TempDir dir;
};

TEST_F(CommandLine, ConvertWritesTheBatchWavsWithoutADialogue)
{
    const Bytes control_name = tape_file("\x1b[2J", {1});
    for (const auto& [name, image] : std::vector<std::pair<std::string, Bytes>>{
             {"JEU.k7", jeu}, {"DEUX.K7", two_files}, {"A.B.k7", control_name}})
        add(name, image);

    const auto r = run("convert JEU.k7 DEUX.K7 A.B.k7");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "JEU.k7 -> JEU.wav\nJEU     \nDEUX.K7 -> DEUX.wav\nPREMIER \nSECOND  \nA.B.k7 -> A.wav\n?[2J    \n");
    EXPECT_EQ(r.err, "");

    // The interactive batch, in another directory, writes the same bytes.
    TempDir batch_dir;
    for (const auto& name : {"JEU.k7", "DEUX.K7", "A.B.k7"}) fs::copy_file(dir / name, batch_dir / name);
    ASSERT_EQ(testing::run_program(MORLEVIX_PROGRAM, batch_dir.path(), "*\no\n").status, 0);
    for (const auto& wav : {"JEU.wav", "DEUX.wav", "A.wav"}) {
        EXPECT_EQ(file(wav), testing::read_file(batch_dir / wav)) << wav;
        EXPECT_EQ(testing::parse_wav(file(wav)).error, "") << wav;
    }
}

TEST_F(CommandLine, WavGoesToTheNamedFileOrToStandardOutputAlike)
{
    add("JEU.k7", jeu);
    ASSERT_EQ(run("convert JEU.k7").status, 0);
    const Bytes wav = file("JEU.wav");

    auto r = run("convert -o sortie.wav JEU.k7");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "JEU.k7 -> sortie.wav\nJEU     \n");
    EXPECT_EQ(file("sortie.wav"), wav);

    // On standard output, the console lines go to standard error.
    r = run("convert --output=- JEU.k7", "", false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, text_of(wav));
    EXPECT_EQ(r.err, "JEU.k7 -> -\nJEU     \n");

    // An image on standard input.
    r = run("convert -oentree.wav -", text_of(jeu));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "- -> entree.wav\nJEU     \n");
    EXPECT_EQ(file("entree.wav"), wav);

#ifndef _WIN32
    // Pipes on both sides, which cannot be rewound: the sizes are right from the start.
    const std::string pipeline = "cd \"" + dir.path().string() + "\" && cat JEU.k7 | \"" MORLEVIX_PROGRAM
                                 "\" convert -o - - 2>/dev/null | cat > tuyau.wav";
    ASSERT_EQ(std::system(pipeline.c_str()), 0);
    EXPECT_EQ(file("tuyau.wav"), wav);
#endif
}

TEST_F(CommandLine, ExitStatusSaysWhetherEveryImageCameThroughWhole)
{
    add("JEU.k7", jeu);
    Bytes cut = jeu;
    cut.resize(cut.size() - 10);
    add("COUPE.k7", cut);

    const auto r = run("convert ABSENT.k7 JEU.k7 COUPE.k7 -- -x.k7");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "JEU.k7 -> JEU.wav\nJEU     \nCOUPE.k7 -> COUPE.wav\nJEU     \n");
    EXPECT_EQ(r.err,
              "morlevix: Impossible de lire ABSENT.k7 (fichier introuvable)\n"
              "morlevix: COUPE.k7 : Anomalie bloc 01 : l'image finit au milieu de ce bloc\n"
              "morlevix: Impossible de lire -x.k7 (fichier introuvable)\n");
    EXPECT_EQ(testing::parse_wav(file("JEU.wav")).error, "");
    // The blocks before the cut one are in the WAV, as the batch writes it.
    EXPECT_EQ(testing::decoded_blocks(testing::parse_wav(file("COUPE.wav")).samples), testing::image_blocks(cut));

    for (const auto& [arguments, problem] : std::vector<std::pair<std::string, std::string>>{
             {"frob JEU.k7", "commande inconnue : frob"},
             {"-x", "option inconnue : -x"},
             {"convert", "aucune image donnee"},
             {"convert -x JEU.k7", "option inconnue : -x"},
             {"convert JEU.k7 -o", "l'option -o demande une valeur"},
             {"convert -o a.wav JEU.k7 COUPE.k7", "-o ne va qu'avec une seule image"},
             {"list --blocks=oui JEU.k7", "option inconnue : --blocks=oui"},
             {"list -o x.wav JEU.k7", "option inconnue : -o"}}) {
        const auto usage = run(arguments);
        EXPECT_EQ(usage.status, 2) << arguments;
        EXPECT_EQ(usage.out, "") << arguments;
        EXPECT_EQ(usage.err, "morlevix: " + problem + kHint) << arguments;
    }
    EXPECT_FALSE(fs::exists(dir / "a.wav"));

    for (const std::string help : {"--help", "-h", "convert --help"}) {
        const auto shown = run(help);
        EXPECT_EQ(shown.status, 0);
        EXPECT_EQ(shown.out.rfind("Usage : morlevix", 0), 0u) << help;
    }
    EXPECT_EQ(run("--version").out, "morlevix 1.1\n");
}

TEST_F(CommandLine, EachCommandHasItsOwnHelpAndAMisspeltOneIsSuggested)
{
    const std::string overview = run("--help").out;
    for (const auto& command : command_table()) {
        const std::string name = command.name;
        const auto help = run(name + " --help");
        EXPECT_EQ(help.status, 0) << name;
        EXPECT_EQ(help.out.rfind("Usage : morlevix " + std::string(command.synopsis.fr) + "\n", 0), 0u) << help.out;
        EXPECT_EQ(run("help " + name).out, help.out) << name;
        // Its options, and no other command's; two examples of it.
        for (const auto& option : every_option()) {
            const bool its_own = std::string(option.long_name) == "help" ||
                                 std::any_of(command.options.begin(), command.options.end(), [&](const CommandOption& o) {
                                     return std::string(o.long_name) == option.long_name;
                                 });
            EXPECT_EQ(help.out.find("--" + std::string(option.long_name)) != std::string::npos, its_own)
                << name << " --" << option.long_name;
        }
        std::size_t examples = 0;
        for (auto at = help.out.find("\n  morlevix " + name); at != std::string::npos;
             at = help.out.find("\n  morlevix " + name, at + 1))
            ++examples;
        EXPECT_EQ(examples, 2u) << help.out;
        EXPECT_NE(overview.find("\n  " + std::string(command.synopsis.fr)), std::string::npos) << name;
    }

    for (const auto& [arguments, problem] : std::vector<std::pair<std::string, std::string>>{
             {"conver JEU.k7", "commande inconnue : conver ; vouliez-vous dire convert ?\n"},
             {"lsit", "commande inconnue : lsit ; vouliez-vous dire list ?\n"},
             {"DECODE x.wav", "commande inconnue : DECODE ; vouliez-vous dire decode ?\n"},
             {"help extrct", "commande inconnue : extrct ; vouliez-vous dire extract ?\n"},
             {"mk", "commande inconnue : mk" + kHint},
             {"help frob", "commande inconnue : frob" + kHint},
             {"help convert list", "help demande au plus une COMMANDE" + kHint}}) {
        const auto r = run(arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_EQ(r.out, "") << arguments;
        EXPECT_EQ(r.err, "morlevix: " + problem) << arguments;
    }
}

TEST_F(CommandLine, ListShowsEveryFileAndWhatIsWrong)
{
    add("DEUX.K7", two_files);
    auto r = run("list DEUX.K7");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "DEUX.K7\n" + kFilesHeading +
                         "  PREMIER   02 code machine   00     00     5000 5000      1       3  oui\n"
                         "  SECOND    02 code machine   00     ff     5000 5000      3     600  oui\n");
    EXPECT_EQ(r.err, "");

    // A BASIC program whose data block is damaged and whose end is cut off,
    // after a stray block before its header.
    const Bytes header = testing::tape_block(0x00, {'P', 'R', 'O', 'G', ' ', ' ', ' ', ' ', 0x00, 0x00, 0x00, 0x33, 0x46, 0x01, 0x2C});
    const Bytes damaged = testing::tape_block(0x01, {1, 2, 3}, 0x00);
    const Bytes cut = testing::data_block({4, 5, 6});
    add("ABIME.k7", concat({testing::data_block({9}), header, damaged, Bytes(cut.begin(), cut.begin() + 5)}));
    r = run("list --blocks ABIME.k7 DEUX.K7");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ABIME.k7\n" + kFilesHeading +
                         "  PROG      00 BASIC          00     00     3346 012c      1       3  non  incomplet\n"
                         "   Position  Type  Longueur  Somme\n"
                         "          0  01           1  juste\n"
                         "          5  00          15  juste\n"
                         "         24  01           3  fausse\n"
                         "\nDEUX.K7\n" + kFilesHeading +
                         "  PREMIER   02 code machine   00     00     5000 5000      1       3  oui\n"
                         "  SECOND    02 code machine   00     ff     5000 5000      3     600  oui\n"
                         "   Position  Type  Longueur  Somme\n"
                         "          0  00          15  juste\n"
                         "         19  01           3  juste\n"
                         "         26  ff           0  juste\n"
                         "         30  00          15  juste\n"
                         "         49  01         255  juste\n"
                         "        308  01         255  juste\n"
                         "        567  01          90  juste\n"
                         "        661  ff           0  juste\n");
    EXPECT_EQ(r.err,
              "morlevix: ABIME.k7 : 1 bloc avant le premier en-tete de fichier\n"
              "morlevix: ABIME.k7 : bloc 01 de 3 octets a la position 24 : somme de controle fausse\n"
              "morlevix: ABIME.k7 : bloc 01 de 3 octets a la position 31 : coupe par la fin de l'image apres 5 octets\n"
              "morlevix: ABIME.k7 : fichier PROG     : pas de bloc de fin : l'image s'arrete avant la fin du fichier\n");

    r = run("list -", text_of(Bytes{0x55, 0x3C}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "-\n  aucun fichier\n");
    EXPECT_EQ(r.err, "morlevix: - : bloc a la position 1 : coupe par la fin de l'image apres 1 octet\n");
}

TEST_F(CommandLine, DecodeReadsARecordingBackIntoItsImage)
{
    add("DEUX.K7", two_files);
    ASSERT_EQ(run("convert DEUX.K7").status, 0);
    fs::copy_file(dir / "DEUX.wav", dir / "ENREG.wav");

    auto r = run("decode ENREG.wav");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ENREG.wav -> ENREG.k7\nPREMIER \nSECOND  \n");
    EXPECT_EQ(r.err, "");
    // Each block after a leader of 128 bytes 0x55, and nothing else...
    Bytes expected;
    for (const auto& block : testing::image_blocks(two_files)) {
        expected.insert(expected.end(), 128, 0x55);
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(file("ENREG.k7"), expected);
    // ...which converts into the very WAV it was heard from.
    ASSERT_EQ(run("convert -o ENCORE.wav ENREG.k7").status, 0);
    EXPECT_EQ(file("ENCORE.wav"), file("DEUX.wav"));

    r = run("decode -o - ENREG.wav", "", false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, text_of(expected));
    EXPECT_EQ(r.err, "ENREG.wav -> -\nPREMIER \nSECOND  \n");

    r = run("list ENREG.wav");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ENREG.wav\n  Nom       Type              ASCII  Ecart  Adresses   Blocs  Octets  Fin  Temps\n"
                     "  PREMIER   02 code machine   00     00     5000 5000      1       3  oui  0:01.1\n"
                     "  SECOND    02 code machine   00     ff     5000 5000      3     600  oui  0:03.5\n");
}

TEST_F(CommandLine, DecodeSaysWhereARecordingIsWrong)
{
    // A tenth of a second of silence in the second data block.
    const Bytes tape = tape_file("TROU", testing::counting_payload(600));
    add("TROU.wav", testing::wav_file({testing::with_dropout(testing::recording_of(tape), 4.2, 4.3)}));
    auto r = run("decode TROU.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "TROU.wav -> TROU.k7\nTROU     : incomplet\n");  // the file is not whole
    EXPECT_EQ(r.err, "morlevix: TROU.wav : bloc 01 a 0:03.6 : signal interrompu dans le bloc "
                     "(vitesse 100.0 %, niveau -0.3 dBFS, marge 73 %)\n");
    // Every block with its time and how it was heard.
    r = run("list --blocks TROU.wav");
    EXPECT_NE(r.out.find("   Position  Type  Longueur  Somme   Temps    Vitesse     Niveau  Marge\n"
                         "        128  00          15  juste   0:01.1   100.0 %    -0.3 dBFS   "),
              std::string::npos)
        << r.out;
    // Written all the same, the broken block at its full length.
    EXPECT_EQ(testing::image_blocks(file("TROU.k7")).size(), testing::image_blocks(tape).size());

    // Silence over the sync, type and length bytes of the same block: read
    // back from its end, said, and the image is the tape.
    add("SYNC.wav", testing::wav_file({testing::with_dropout(testing::recording_of(tape), 3.662, 3.677)}));
    r = run("decode SYNC.wav");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "SYNC.wav -> SYNC.k7\nTROU    \n");
    EXPECT_EQ(r.err, "morlevix: SYNC.wav : bloc 01 a 0:03.6 : lu sans sa synchronisation, a partir de sa fin "
                     "(vitesse 100.0 %, niveau -0.3 dBFS, marge 81 %)\n");
    EXPECT_EQ(testing::image_blocks(file("SYNC.k7")), testing::image_blocks(tape));

    testing::Recording silence;
    silence.samples.assign(44100, 0.0);
    add("VIDE.wav", testing::wav_file({silence}));
    add("TEXTE.wav", {'b', 'o', 'n', 'j', 'o', 'u', 'r'});
    r = run("decode VIDE.wav TEXTE.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morlevix: VIDE.wav : aucun bloc entendu dans l'enregistrement\n"
                     "morlevix: TEXTE.wav : pas un fichier WAV, ni un enregistrement d'un autre format connu\n");
    EXPECT_FALSE(fs::exists(dir / "VIDE.k7"));
    EXPECT_FALSE(fs::exists(dir / "TEXTE.k7"));
    r = run("list VIDE.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "VIDE.wav\n  aucun fichier\n");
    EXPECT_EQ(r.err, "morlevix: VIDE.wav : aucun bloc entendu dans l'enregistrement\n");
}

TEST_F(CommandLine, AnImageAndItsRecordingGetOneWord)
{
    // list of an image, decode of its recording and list of that recording
    // agree on which files are whole, and on the status; a tape that ends
    // in a stray block's start, or without a file's end block, is no tape
    // of whole files either way. A header's length that is not the
    // program's is a note, never a missing block.
    Bytes program_header = testing::tape_block(0x00, {'P', 'R', 'O', 'G', ' ', ' ', ' ', ' ', 0, 0, 0, 0x43, 0x46, 0x43, 0x46});
    const Bytes basic = concat({program_header, testing::data_block(testing::counting_payload(40)), testing::end_of_file_block()});
    const Bytes no_end = concat({tape_file("PREMIER", {1, 2, 3}), testing::header_block("SECOND", 0),
                                 testing::data_block(testing::counting_payload(90))});
    const Bytes lengths = concat({testing::header_block("DRAGON", 0), testing::data_block(testing::counting_payload(251)),
                                  testing::data_block(testing::counting_payload(238)), testing::data_block({7}),
                                  testing::end_of_file_block()});
    const struct {
        std::string name;
        Bytes image;
        int status;
        std::string incomplete;  // the files said incomplete, in order
    } tapes[] = {{"BASIC", basic, 0, ""}, {"SANSFIN", no_end, 1, "SECOND"}, {"LONGUEURS", lengths, 0, ""}};
    for (const auto& tape : tapes) {
        add(tape.name + ".k7", tape.image);
        ASSERT_EQ(run("convert " + tape.name + ".k7").status, 0) << tape.name;
        const auto listed = run("list " + tape.name + ".k7");
        const auto decoded = run("decode -o " + tape.name + "-LU.k7 " + tape.name + ".wav");
        const auto heard = run("list " + tape.name + ".wav");
        for (const auto* r : {&listed, &decoded, &heard}) {
            EXPECT_EQ(r->status, tape.status) << tape.name << "\n" << r->out << r->err;
            std::string incomplete;
            std::istringstream lines(r->out);
            for (std::string line; std::getline(lines, line);)
                if (line.find("incomplet") != std::string::npos) incomplete += line.substr(line.find_first_not_of(' '), 6);
            EXPECT_EQ(incomplete, tape.incomplete) << tape.name << "\n" << r->out;
        }
    }
    const auto note = run("decode BASIC.wav");
    EXPECT_EQ(note.err, "morlevix: BASIC.wav : fichier PROG     : programme BASIC de 40 octets, son en-tete en annonce 17222 "
                        "(un champ que des outils et des machines de la famille remplissent autrement)\n");
}

TEST_F(CommandLine, DecodeMergesTakesOfOneTape)
{
    // Two takes of one tape: one broken in the second data block, the other
    // 5 % slow, started half a second early and broken in the third.
    const Bytes tape = tape_file("TROU", testing::counting_payload(600));
    const testing::Recording ours = testing::recording_of(tape);
    testing::Recording late = testing::played(ours, 44100, 0.95);
    late.samples.insert(late.samples.begin(), 22050, 0.0);
    add("A.wav", testing::wav_file({testing::with_dropout(ours, 4.2, 4.3)}));
    add("B.wav", testing::wav_file({testing::with_dropout(late, 0.5 + 5.3 / 0.95, 0.5 + 5.4 / 0.95)}));
    add("C.wav", testing::wav_file({testing::with_dropout(ours, 4.0, 4.1)}));
    add("PROPRE.wav", testing::wav_file({ours}));
    ASSERT_EQ(run("decode PROPRE.wav").status, 0);

    auto r = run("decode --merge -o TROU.k7 A.wav B.wav");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "A.wav + B.wav -> TROU.k7\nTROU     : blocs 0-1 de A.wav, 2 de B.wav, 3-4 de A.wav\n");
    EXPECT_EQ(r.err, "");  // every block came whole from some take
    EXPECT_EQ(file("TROU.k7"), file("PROPRE.k7"));

    // The same block broken in every take: written as heard best, and said.
    r = run("decode --merge -o MAUVAIS.k7 A.wav C.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "A.wav + C.wav -> MAUVAIS.k7\nTROU     : blocs 0-1 de A.wav, 2 de A.wav (faux), 3-4 de A.wav\n");
    EXPECT_NE(r.err.find("morlevix: MAUVAIS.k7 : TROU     : bloc 2 : juste dans aucune prise ; garde celui de A.wav : "
                         "bloc 01 a 0:03.6 : signal interrompu dans le bloc"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(testing::image_blocks(file("MAUVAIS.k7")).size(), testing::image_blocks(tape).size());

    // One take alone is simply decoded.
    EXPECT_EQ(run("decode --merge A.wav").out, run("decode -o A2.k7 A.wav").out.replace(9, 5, "A.k7"));
    EXPECT_EQ(file("A.k7"), file("A2.k7"));
}

TEST_F(CommandLine, ProgramsGoFromATextToATapeAndBack)
{
    // Typed on a PC: lines out of order, a line typed again, ? for PRINT,
    // a keyword inside a name, semigraphic bytes in a string.
    const std::string typed = "20 IF SCORE>9 THEN ?\"BRAVO\"\r\n10 CLS:SCORE=0\r\n30 PRINT \"\x8f\x80\"\r\n20 GOTO 10\r\n";
    add("JEU.bas", Bytes(typed.begin(), typed.end()));
    auto r = run("make JEU.bas");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "JEU.bas -> JEU.k7 : JEU\n");
    const std::string listing = "10 CLS:SCORE=0\n20 GOTO 10\n30 PRINT \"\x8f\x80\"\n";
    EXPECT_EQ(run("basic JEU.k7", "", false).out, listing);
    EXPECT_EQ(run("basic -o - JEU.k7 jeu", "", false).out, listing);  // trailing spaces and case ignored

    // What basic lists makes the same tape again; so does the tape heard back.
    add("LISTE.txt", Bytes(listing.begin(), listing.end()));
    EXPECT_EQ(run("make -o DEUX.k7 --name JEU LISTE.txt").status, 0);
    EXPECT_EQ(file("DEUX.k7"), file("JEU.k7"));
    ASSERT_EQ(run("convert JEU.k7").status, 0);
    EXPECT_EQ(run("basic JEU.wav", "", false).out, listing);

    // Machine code: its bytes come back out, and its tape comes back from its sound.
    const Bytes code = testing::counting_payload(600, 7);
    add("CODE.bin", code);
    r = run("make -o CODE.k7 --load 4000 --exec 0x4010 CODE.bin");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(run("list CODE.k7").out.find("  CODE      02 code machine   00     00     4010 4000      3     600  oui"),
              std::string::npos);
    EXPECT_EQ(text_of(file("CODE.k7")).size(), 5 * 128 + 19 + 259 + 259 + 94 + 4u);
    r = run("extract CODE.k7 code -o -", "", false);
    EXPECT_EQ(r.out, text_of(code));
    EXPECT_EQ(r.err, "CODE.k7 : CODE -> -\n");
    ASSERT_EQ(run("convert CODE.k7").status, 0);
    ASSERT_EQ(run("decode -o ENTENDU.k7 CODE.wav").status, 0);
    EXPECT_EQ(file("ENTENDU.k7"), file("CODE.k7"));
    EXPECT_EQ(run("extract CODE.k7 CODE").out, "CODE.k7 : CODE -> CODE.bin\n");
    EXPECT_EQ(file("CODE.bin"), code);
}

TEST_F(CommandLine, ProgramCommandsSayWhatIsWrong)
{
    add("JEU.bas", {'1', '0', ' ', 'E', 'N', 'D', '\n'});
    add("CODE.bin", {1, 2, 3});
    add("MAUVAIS.bas", {'1', '0', ' ', 'E', 'N', 'D', '\n', 'E', 'N', 'D', '\n'});
    ASSERT_EQ(run("make -o DEUX.k7 JEU.bas --load 5000 CODE.bin").status, 0);
    for (const auto& [arguments, status, error] : std::vector<std::tuple<std::string, int, std::string>>{
             {"basic DEUX.k7 CODE", 1, "morlevix: DEUX.k7 : CODE : n'est pas un programme BASIC (02 code machine)\n"},
             {"basic DEUX.k7 AUTRE", 1, "morlevix: DEUX.k7 : pas de fichier de ce nom sur cette cassette : AUTRE\n"},
             {"make MAUVAIS.bas", 1, "morlevix: MAUVAIS.bas : ligne 2 du texte : pas de numero de ligne\n"
                                     "morlevix: MAUVAIS.k7 : image non ecrite\n"},
             {"make -o X.k7 CODE.bin", 1, "morlevix: adresse de chargement manquante (--load) pour CODE.bin\n"
                                          "morlevix: X.k7 : image non ecrite\n"},
             {"make --name NEUFLETTRES CODE.bin", 2, "morlevix: un nom sur la cassette a 8 caracteres au plus : NEUFLETTRES"},
             {"make --load 12345 CODE.bin", 2, "morlevix: adresse hexadecimale de 0 a ffff attendue : 12345"},
             {"make CODE.bin --name A", 2, "morlevix: une option sans SOURCE apres elle : --name"},
             {"extract DEUX.k7", 2, "morlevix: extract demande une CASSETTE et un FICHIER"}}) {
        const auto r = run(arguments);
        EXPECT_EQ(r.status, status) << arguments;
        EXPECT_EQ(r.err, status == 2 ? error + kHint : error) << arguments;
    }
    EXPECT_FALSE(fs::exists(dir / "MAUVAIS.k7"));
    EXPECT_FALSE(fs::exists(dir / "X.k7"));

    // A listing kept as it was typed, NEW before it and RUN after it: the
    // same tape, with a note for each line passed over.
    const std::string typed = "NEW\r\n10 END\r\nRUN\r\n";
    add("TAPE.bas", Bytes(typed.begin(), typed.end()));
    const auto made = run("make -o TAPE.k7 --name JEU TAPE.bas");
    EXPECT_EQ(made.status, 0);
    EXPECT_EQ(made.err, "morlevix: TAPE.bas : ligne 1 du texte : commande directe passee : NEW\n"
                        "morlevix: TAPE.bas : ligne 3 du texte : commande directe passee : RUN\n");
    ASSERT_EQ(run("make JEU.bas").status, 0);
    EXPECT_EQ(file("TAPE.k7"), file("JEU.k7"));

    // A program saved as text is simply printed, its carriage returns as line breaks.
    const std::string saved = "10 PRINT\r20 END\r";
    Bytes header = {'T', 'E', 'X', 'T', 'E', ' ', ' ', ' ', 0x00, 0xFF, 0x00, 0, 0, 0, 0};
    add("TEXTE.k7", concat({testing::tape_block(0x00, header), testing::data_block(Bytes(saved.begin(), saved.end())),
                            testing::end_of_file_block()}));
    const auto r = run("basic TEXTE.k7");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "10 PRINT\n20 END\n");
}

#ifndef _WIN32
TEST_F(CommandLine, ReconversionThatFailsLeavesThePreviousWavAsItWas)
{
    add("JEU.k7", tape_file("JEU", testing::counting_payload(3000)));
    const Bytes previous = {'a', 'n', 'c', 'i', 'e', 'n'};
    add("JEU.wav", previous);
    // A file size limit far below the WAV's size, as a full disk or a quota would.
    const auto r = testing::run_program_with(
        "/bin/sh", dir.path(), "-c 'ulimit -f 64; exec \"" MORLEVIX_PROGRAM "\" convert JEU.k7'", "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morlevix: Erreur d'ecriture de JEU.wav\n");
    EXPECT_EQ(file("JEU.wav"), previous);
    EXPECT_EQ(testing::file_names(dir.path()), (std::vector<std::string>{"JEU.k7", "JEU.wav"}));
}

// Ctrl-C or a termination in the middle of a conversion: the image comes
// through a pipe that stops half way, so the WAV is surely being written
// when the signal arrives.
TEST_F(CommandLine, InterruptedConversionLeavesNoTemporaryFileAndThePreviousWav)
{
    const Bytes image = tape_file("LONG", testing::counting_payload(20000));
    const Bytes previous = {'a', 'n', 'c', 'i', 'e', 'n'};
    for (const int signal : {SIGINT, SIGTERM}) {
        add("JEU.wav", previous);
        const fs::path pipe = dir / "tuyau.k7";
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            execl(MORLEVIX_PROGRAM, MORLEVIX_PROGRAM, "convert", "-o", (dir / "JEU.wav").c_str(), pipe.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        const int writer = open(pipe.c_str(), O_WRONLY);  // once the program has opened it
        ASSERT_GE(writer, 0);
        ASSERT_EQ(write(writer, image.data(), image.size() / 2), static_cast<ssize_t>(image.size() / 2));
        const auto temporary = [&] {
            for (const auto& name : testing::file_names(dir.path()))
                if (name.rfind("JEU.wav.tmp-", 0) == 0) return true;
            return false;
        };
        for (int wait = 0; wait < 2000 && !temporary(); ++wait) usleep(5000);
        EXPECT_TRUE(temporary()) << "the conversion never started";
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        close(writer);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;  // 130 or 143 in a shell
        EXPECT_EQ(file("JEU.wav"), previous);
        EXPECT_EQ(testing::file_names(dir.path()), (std::vector<std::string>{"JEU.wav", "tuyau.k7"})) << signal;
        fs::remove(pipe);
    }
}
#endif

TEST_F(CommandLine, WildcardsAreExpandedWhereTheShellLeavesThem)
{
    fs::create_directory(dir / "jeux");
    add("jeux/B.k7", jeu);
    add("jeux/a.K7", two_files);
    add("jeux/c.wav", {});
    const std::string jeux = (dir / "jeux").string();
    std::istringstream in;
    std::ostringstream out, err;
    int status = 0;
    EXPECT_EQ(expand_file_arguments({jeux + "/*.k7", "-", jeux + "/rien*"}, true, {in, out, err}, status),
              (std::vector<std::string>{jeux + "/a.K7", jeux + "/B.k7", "-"}));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err.str(), "morlevix: " + jeux + "/rien* : Fichier introuvable\n");
#ifdef _WIN32
    // Windows' command interpreter hands the pattern over as typed.
    const auto r = run("convert \"jeux\\*.K7\"");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "jeux\\a.K7 -> jeux\\a.wav\nPREMIER \nSECOND  \njeux\\B.k7 -> jeux\\B.wav\nJEU     \n");
#endif
}

}  // namespace
}  // namespace morlevix
