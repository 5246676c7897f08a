#include "cli/argument_words.h"

namespace morlevix {
namespace {

constexpr char kEndOfOptions[] = "--";
constexpr char kLongPrefix[] = "--";
constexpr std::size_t kLongPrefixLength = 2;
constexpr char kOptionMark = '-';
constexpr char kValueSeparator = '=';
constexpr Text kTheOption{"l'option ", "option "};
constexpr Text kNeedsAValue{" demande une valeur", " needs a value"};

const CommandOption* find_long(const std::vector<CommandOption>& options, const std::string& name)
{
    for (const auto& option : options)
        if (name == option.long_name) return &option;
    return nullptr;
}

const CommandOption* find_short(const std::vector<CommandOption>& options, char name)
{
    for (const auto& option : options)
        if (option.short_name != 0 && name == option.short_name) return &option;
    return nullptr;
}

}  // namespace

Said split_command_words(const std::vector<std::string>& args, const std::vector<CommandOption>& options,
                                std::vector<CommandWord>& words)
{
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg[0] != kOptionMark) {
            words.push_back({"", arg});
            continue;
        }
        if (arg == kEndOfOptions) {
            options_ended = true;
            continue;
        }
        const CommandOption* option = nullptr;
        std::string value;
        bool has_value = false;
        if (arg.compare(0, kLongPrefixLength, kLongPrefix) == 0) {
            const auto separator = arg.find(kValueSeparator);
            option = find_long(options, arg.substr(kLongPrefixLength, separator - kLongPrefixLength));
            if (separator != std::string::npos) {
                value = arg.substr(separator + 1);
                has_value = true;
            }
        } else {
            // "-oFILE" is "-o FILE"; a short option without a value stands alone.
            option = find_short(options, arg[1]);
            if (option && arg.size() > 2) {
                value = arg.substr(2);
                has_value = true;
            }
        }
        if (!option || (has_value && !option->takes_value)) return kUnknownOption + arg;
        if (option->takes_value && !has_value) {
            if (i + 1 == args.size()) return kTheOption + arg + kNeedsAValue;
            value = args[++i];
        }
        words.push_back({option->long_name, value});
    }
    return {};
}

CommandArguments read_arguments(const std::vector<CommandWord>& words)
{
    CommandArguments parsed;
    for (const auto& word : words) {
        if (word.is_file()) parsed.files.push_back(word.value);
        else if (word.option == kOutputOption) parsed.output = word.value;
        else if (word.option == kBlocksOption) parsed.blocks = true;
        else if (word.option == kMergeOption) parsed.merge = true;
        else if (word.option == kJsonOption) parsed.json = true;
        else if (word.option == kProgressOption) parsed.progress = true;
        else if (word.option == kQuietOption) parsed.quiet = true;
    }
    return parsed;
}

}  // namespace morlevix
