// Writing a file without ever losing the one it replaces: the new content
// goes to a temporary file in the same directory, which takes the final
// name only once it is complete. Until then, and whenever the new content
// is abandoned (a failed read, a failed write, a full disk), a file of that
// name stays byte for byte as it was and no temporary file is left behind.
#pragma once

#include <filesystem>
#include <memory>

#include "byte_sinks.h"

namespace morlevix {

// While a FileReplacement is being written its temporary file is the one
// unfinished file of the program: `remove_unfinished_file` removes it. It
// does only what a signal handler may do, so that an interrupted program
// leaves nothing behind (on POSIX systems; Windows cannot remove a file
// that is still open).
void remove_unfinished_file() noexcept;

class FileReplacement {
public:
    // Creates the temporary file beside `target`.
    explicit FileReplacement(const std::filesystem::path& target);
    // Removes the temporary file unless it was committed.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    bool is_open() const { return sink_ && sink_->is_open(); }
    // Where the new content is written.
    ByteSink& sink() { return *sink_; }
    // Closes the temporary file and puts it in the target's place, replacing
    // any file of that name. False when that fails; the temporary file is
    // then gone and the target as it was.
    bool commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::unique_ptr<FileSink> sink_;
    bool committed_ = false;
};

}  // namespace morlevix
