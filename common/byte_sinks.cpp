#include "byte_sinks.h"

#include <algorithm>

namespace morlevix {

bool MemorySink::write(const std::uint8_t* data, std::size_t size)
{
    bytes_.insert(bytes_.end(), data, data + size);
    return true;
}

bool MemorySink::write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    if (offset > bytes_.size() || bytes_.size() - offset < size) return false;
    std::copy(data, data + size, bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

bool StreamSink::write(const std::uint8_t* data, std::size_t size)
{
    out_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out_);
}

bool StreamSink::close()
{
    out_.flush();
    return static_cast<bool>(out_);
}

FileSink::FileSink(const std::filesystem::path& path)
{
    // Unbuffered: the writer hands over whole buffers, so a second buffer
    // here would only add a copy.
    file_.rdbuf()->pubsetbuf(nullptr, 0);
    file_.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
}

FileSink::FileSink(const std::filesystem::path& path, ExistingEmptyFile)
{
    file_.rdbuf()->pubsetbuf(nullptr, 0);
    file_.open(path, std::ios::binary | std::ios::in | std::ios::out);
}

bool FileSink::write(const std::uint8_t* data, std::size_t size)
{
    file_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(file_);
}

bool FileSink::write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    const auto end = file_.tellp();
    file_.seekp(static_cast<std::streamoff>(offset));
    file_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    file_.seekp(end);
    return static_cast<bool>(file_);
}

bool FileSink::close()
{
    if (!file_.is_open()) return static_cast<bool>(file_);
    file_.close();
    return static_cast<bool>(file_);
}

}  // namespace morlevix
