// The two languages the program speaks: French, and English for the
// command line of a user whose locale asks for it. Every text is written
// once with both side by side; a text being built (a block's number, a
// time, a file's name put in) is built in both at once, and whoever shows
// it picks the language. The interactive batch always takes the French.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace morlevix {

enum class Language { french, english };

// A fixed text: both languages, neither left out (a text with one does not
// compile).
struct Text {
    constexpr Text(const char* french, const char* english) : fr(french), en(english)
    {
        // One language said and not the other: a constant such as this does not compile.
        if (french == nullptr || english == nullptr || (*french == '\0') != (*english == '\0'))
            throw std::logic_error("a text in one language only");
    }
    const char* in(Language language) const { return language == Language::english ? en : fr; }

    const char* fr;
    const char* en;
};

// A text in both languages, as built from fixed texts and from what is the
// same in both (names, figures, times). A bare literal cannot be added:
// it would be one language only.
class Said {
public:
    Said() = default;
    Said(Text text) : fr_(text.fr), en_(text.en) {}  // NOLINT: a fixed text is said as it stands
    Said(std::string french, std::string english) : fr_(std::move(french)), en_(std::move(english)) {}
    // Words that are the same in both languages: a name, a figure.
    static Said same(const std::string& both) { return Said(both, both); }

    const std::string& in(Language language) const { return language == Language::english ? en_ : fr_; }
    const std::string& fr() const { return fr_; }
    const std::string& en() const { return en_; }
    bool empty() const { return fr_.empty() && en_.empty(); }

    Said& operator+=(const Said& more)
    {
        fr_ += more.fr_;
        en_ += more.en_;
        return *this;
    }
    Said& operator+=(const std::string& both)
    {
        fr_ += both;
        en_ += both;
        return *this;
    }

private:
    std::string fr_;
    std::string en_;
};

inline Said operator+(Said said, const Said& more) { return said += more; }
inline Said operator+(Said said, const std::string& both) { return said += both; }
inline Said operator+(const std::string& both, const Said& said) { return Said::same(both) += said; }
inline bool operator==(const Said& a, const Said& b) { return a.fr() == b.fr() && a.en() == b.en(); }
inline bool operator!=(const Said& a, const Said& b) { return !(a == b); }
// Between a thing and what is said of it ("JEU.wav : ..."): French puts a
// space before the colon, English none.
inline constexpr Text kFieldSeparator{" : ", ": "};

// A literal is in one language: write it as a Text.
Said operator+(const Said&, const char*) = delete;
Said operator+(const char*, const Said&) = delete;

// " (what)", as both languages put an aside after what it is about.
inline Said in_brackets(const Said& what) { return std::string(" (") + what + std::string(")"); }

// What `words(language)` says in each language: for a line laid out in
// columns, each language padded on its own.
template <typename Words>
Said in_both(Words words)
{
    return Said(words(Language::french), words(Language::english));
}

// "1 octet", "2 octets"; "1 byte", "0 bytes": French takes the singular for
// 0 and 1, English for 1 alone.
inline Said counted(unsigned long long count, Text singular, Text plural)
{
    const std::string figure = std::to_string(count) + " ";
    return Said(figure + (count > 1 ? plural.fr : singular.fr), figure + (count == 1 ? singular.en : plural.en));
}

}  // namespace morlevix
