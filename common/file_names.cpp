#include "file_names.h"

#include <system_error>

namespace morlevix {

std::size_t file_name_start(const std::string& name)
{
    const auto separator = name.find_last_of(kPathSeparators);
    return separator == std::string::npos ? 0 : separator + 1;
}

std::string name_with_extension(const std::string& name, const char* extension)
{
    return name.substr(0, name.find('.', file_name_start(name))) + extension;
}

std::string wav_name_for(const std::string& tape_name) { return name_with_extension(tape_name, kWavExtension); }

std::filesystem::path path_from_name(const std::string& name)
{
#ifdef _WIN32
    return std::filesystem::u8path(name);
#else
    return std::filesystem::path(name);
#endif
}

std::string name_from_path(const std::filesystem::path& path)
{
#ifdef _WIN32
    return path.u8string();
#else
    return path.string();
#endif
}

bool same_file(const std::string& a, const std::string& b)
{
    std::error_code ignored;
    return std::filesystem::equivalent(path_from_name(a), path_from_name(b), ignored);
}

bool open_input_file(const std::string& name, std::ifstream& file)
{
    file.open(path_from_name(name), std::ios::binary);
    if (file.is_open()) file.peek();
    return file.is_open() && !file.bad();
}

}  // namespace morlevix
