#include "batch/batch_driver.h"

#include <cctype>
#include <istream>
#include <ostream>
#include <string>

#include "batch/image_listing.h"
#include "batch/key_pause.h"
#include "batch/batch_conversion.h"

namespace morlevix {
namespace {

constexpr char kRule[] = "\n------------------------------------------------------------------";
constexpr char kLineBreak[] = "\n";
constexpr const char* kBanner[] = {
    "\nMORLEVIX   Conversion d'un fichier cassette Alice .k7 en .wav",
    "\n    v1.0   Septembre 2005 - Equipe MORLEVIX",
    "\n           Documentation : fichier README.md",
    kLineBreak,
    kRule,
    "\nCe programme est experimental, et diffuse sans aucune garantie.",
    "\nL'auteur decline toute responsabilite en cas de dysfonctionnement.",
    "\nFormat du fichier .wav : 44,1 kHz monophonique 8 bits sans signe.",
    kRule,
    kLineBreak,
    "\nPlusieurs fichiers peuvent etre convertis en utilisant des jokers",
    "\nExemple : * pour convertir tous les fichiers .wav du dossier",
    kLineBreak,
};
constexpr char kNamePrompt[] = "\nNom du fichier .wav sans extension : ";
constexpr char kReadingLineStart[] = "\n   Lecture de ";
constexpr char kReadingLineMiddle[] = ".k7 pour creer ";
constexpr char kReadingLineEnd[] = ".wav";
constexpr char kOverwriteWarning[] = "\n   Si les fichiers cibles existent, ils seront ecrases";
constexpr char kConfirmQuestion[] = "\n\nVoulez-vous continuer (o/n) ? ";
constexpr char kImageLineStart[] = "\n******************************* ";
constexpr char kFarewell[] =
    "\n***********************************************************"
    "\n\nFin de la conversion\nMerci d'avoir utilise MORLEVIX\n\n";
constexpr char kYes = 'o';
constexpr char kNo = 'n';
constexpr int kExitStatus = 0;

void print_banner(std::ostream& out)
{
    for (const char* line : kBanner) out << line;
}

// Reads answer characters until an o or an n, either case; everything else
// is passed over. The end of the input counts as no.
bool confirmed(std::istream& in)
{
    for (char c; in.get(c);) {
        const char answer = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (answer == kYes) return true;
        if (answer == kNo) return false;
    }
    return false;
}

}  // namespace

int run_batch(std::istream& in, std::ostream& out, std::ostream& errors)
{
    print_banner(out);
    out << kNamePrompt << std::flush;
    std::string pattern;
    if (!(in >> pattern)) return kExitStatus;

    out << kReadingLineStart << pattern << kReadingLineMiddle << pattern << kReadingLineEnd << kOverwriteWarning
        << kConfirmQuestion << std::flush;
    if (!confirmed(in)) return kExitStatus;

    // The listing stays in memory: no file of the user's is touched.
    const auto names = list_tape_images(pattern);
    if (names.empty()) errors << kNothingFoundMessage << '\n' << std::flush;
    for (const auto& name : names) {
        out << kImageLineStart << name;
        convert_tape_image(name, out);
        out << kLineBreak;
        pause_for_key(out);
    }

    out << kFarewell;
    pause_for_key(out);
    return kExitStatus;
}

}  // namespace morlevix
