// A build without libsndfile: no compressed recording is read; the caller
// refuses the file, naming its format.
#include "compressed_recording.h"

namespace morlevix {

bool CompressedRecording::available() { return false; }

std::unique_ptr<CompressedRecording> CompressedRecording::open(std::istream&, Said&) { return nullptr; }

}  // namespace morlevix
