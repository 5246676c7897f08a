#include "report_json.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace morlevix {
namespace {

using Json = nlohmann::ordered_json;

// Indentation of the document: two spaces, as people read it.
constexpr int kIndent = 2;

Json text_of(const Said& said, ReportTexts texts)
{
    if (!texts.both) return said.in(texts.language);
    return Json{{"fr", said.fr()}, {"en", said.en()}};
}

template <typename T>
Json or_null(const std::optional<T>& value)
{
    return value ? Json(*value) : Json(nullptr);
}

Json line_json(const ReportLine& line, ReportTexts texts)
{
    return Json{{"kind", line.kind},       {"seconds", or_null(line.seconds)}, {"position", or_null(line.position)},
                {"file", or_null(line.file)}, {"take", or_null(line.take)},       {"text", text_of(line.text, texts)}};
}

const char* kind_name(TapeReport::Kind kind)
{
    switch (kind) {
    case TapeReport::Kind::recording: return "recording";
    case TapeReport::Kind::merge: return "merge";
    default: return "image";
    }
}

Json file_json(const TapeReport& report, std::size_t f, ReportTexts texts)
{
    const ReportFile& file = report.files[f];
    const CatalogFile& info = file.info;
    Json why = Json::array();
    for (const auto& problem : report.problems)
        if (problem.file == f && std::find(why.begin(), why.end(), problem.kind) == why.end()) why.push_back(problem.kind);
    return Json{{"name", info.name},
                {"type", info.file_type},
                {"type_text", text_of(file_type_text(info.file_type), texts)},
                {"ascii_flag", info.ascii_flag},
                {"gap_flag", info.gap_flag},
                {"first_address", info.first_address},
                {"second_address", info.second_address},
                {"blocks", info.blocks},
                {"bytes", info.bytes},
                {"end_block", info.end_block},
                {"seconds", or_null(file.seconds)},
                {"whole", file.whole},
                {"why", why},
                {"line", text_of(file.line, texts)}};
}

Json block_json(const ReportBlock& entry, bool timed)
{
    const CatalogBlock& block = entry.block;
    Json json{{"position", block.position},
              {"type", block.type},
              {"length", block.length},
              {"checksum_right", block.checksum_right},
              {"reading", entry.reading},
              {"file", or_null(entry.file)}};
    if (timed) {
        json["seconds"] = or_null(block.seconds);
        json["duration"] = entry.duration;
        json["speed"] = block.figures ? Json(block.figures->speed) : Json(nullptr);
        json["level_dbfs"] = block.figures ? Json(block.figures->level) : Json(nullptr);
        json["margin"] = block.figures ? Json(block.figures->margin) : Json(nullptr);
    }
    json["take"] = or_null(entry.take);
    return json;
}

Json report_object(const TapeReport& report, ReportTexts texts)
{
    const bool timed = report.kind != TapeReport::Kind::image;
    Json json{{"file", report.name}, {"kind", kind_name(report.kind)}};
    if (report.kind == TapeReport::Kind::merge) json["takes"] = report.takes;
    json["image"] = or_null(report.image);
    if (timed) json["seconds"] = or_null(report.seconds);
    if (report.kind == TapeReport::Kind::recording) json["channel"] = report.channel;
    json["whole"] = report.whole();
    json["error"] = report.error ? line_json(*report.error, texts) : Json(nullptr);
    json["files_heading"] = text_of(report.files_heading, texts);
    Json files = Json::array();
    for (std::size_t f = 0; f < report.files.size(); ++f) files.push_back(file_json(report, f, texts));
    json["files"] = files;
    if (report.kind == TapeReport::Kind::merge) {
        Json takes_of_files = Json::array();
        for (const auto& line : report.takes_of_files) takes_of_files.push_back(text_of(line, texts));
        json["takes_of_files"] = takes_of_files;
    }
    Json blocks = Json::array();
    for (const auto& block : report.blocks) blocks.push_back(block_json(block, timed));
    json["blocks"] = blocks;
    if (timed) {
        Json lost = Json::array(), unread = Json::array();
        for (const auto& stretch : report.lost)
            lost.push_back(Json{{"start", stretch.start}, {"end", stretch.end}, {"blocks", stretch.blocks},
                                {"signal", stretch.signal}, {"file_lost", stretch.file}});
        for (const auto& stretch : report.unread) unread.push_back(Json{{"start", stretch.start}, {"end", stretch.end}});
        json["lost"] = lost;
        json["unread"] = unread;
    }
    Json problems = Json::array(), notes = Json::array();
    for (const auto& line : report.problems) problems.push_back(line_json(line, texts));
    for (const auto& line : report.notes) notes.push_back(line_json(line, texts));
    json["problems"] = problems;
    json["notes"] = notes;
    return json;
}

std::string dumped(const Json& json)
{
    // Names on tapes are shown safely already; a file's own name may hold
    // bytes that are no UTF-8, which are replaced rather than refused.
    return json.dump(kIndent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string report_json(const std::vector<TapeReport>& reports, ReportTexts texts)
{
    Json tapes = Json::array();
    for (const auto& report : reports) tapes.push_back(report_object(report, texts));
    return dumped(Json{{"morlevix_report", kReportVersion}, {"tapes", tapes}}) + "\n";
}

std::string tape_report_json(const TapeReport& report, ReportTexts texts) { return dumped(report_object(report, texts)); }

}  // namespace morlevix
