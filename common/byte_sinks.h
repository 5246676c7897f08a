// Where the bytes of a file the program writes go: a file on disk, memory
// (tests, fuzzing, the page), or a stream that cannot be rewound (a pipe on
// standard output). The writers of files (a WAV, a tape image) write through
// one, so that they never open a file themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <vector>

namespace morlevix {

// Where the bytes of a file being written go. Every call reports whether it
// succeeded.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
    // Overwrites bytes already written, at `offset` from the start.
    virtual bool write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
    // Makes everything written durable and releases the destination.
    virtual bool close() = 0;
};

// A file held in memory.
class MemorySink final : public ByteSink {
public:
    bool write(const std::uint8_t* data, std::size_t size) override;
    bool write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    bool close() override { return true; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Bytes going out on a stream that cannot be rewound, such as a pipe on
// standard output: a file written there must announce its sizes up front.
class StreamSink final : public ByteSink {
public:
    explicit StreamSink(std::ostream& out) : out_(out) {}
    bool write(const std::uint8_t* data, std::size_t size) override;
    bool write_at(std::uint64_t, const std::uint8_t*, std::size_t) override { return false; }
    bool close() override;

private:
    std::ostream& out_;
};

// A file on disk, created or truncated when the sink is made and closed
// when it is destroyed (or earlier by close()).
class FileSink final : public ByteSink {
public:
    explicit FileSink(const std::filesystem::path& path);
    // An empty file that exists already (made for this sink alone): opened
    // as it is, without the truncation that would make some file systems
    // flush it early on close.
    struct ExistingEmptyFile {};
    FileSink(const std::filesystem::path& path, ExistingEmptyFile);
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool is_open() const { return file_.is_open(); }
    bool write(const std::uint8_t* data, std::size_t size) override;
    bool write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    bool close() override;

private:
    std::ofstream file_;
};

}  // namespace morlevix
