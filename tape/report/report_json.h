// Reports of what was heard (tape_report.h) as one JSON document, keys in
// English: for scripts that catalogue recordings, and for the page. Each
// text in one language (the command line's) or in both ({"fr", "en"}, for
// the page, which speaks either).
#pragma once

#include <string>
#include <vector>

#include "common/two_languages.h"
#include "tape_report.h"

namespace morlevix {

// The texts of a report: in one language, or in both.
struct ReportTexts {
    Language language = Language::french;
    bool both = false;
};

// The version of the document's layout, in its "morlevix_report" key.
inline constexpr int kReportVersion = 1;

// {"morlevix_report": 1, "tapes": [...]}, one entry per report.
std::string report_json(const std::vector<TapeReport>& reports, ReportTexts texts);
// One report alone, as one entry of "tapes" is (the page's).
std::string tape_report_json(const TapeReport& report, ReportTexts texts);

}  // namespace morlevix
