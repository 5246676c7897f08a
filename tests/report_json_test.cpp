// list --json and decode --json, end to end: the document parses back, and
// says what the console's lines say, no more: every problem and note that
// standard error prints is in it, in order, with its kind and time; a
// merge says which take gave which block; names with quotes, backslashes and
// control bytes stay valid JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>

#include "program_runner.h"
#include "recordings.h"
#include "tape_builder.h"
#include "temp_dir.h"

namespace morlevix {
namespace {

using Json = nlohmann::json;
using testing::Bytes;
using testing::concat;
using testing::tape_file;

class JsonReport : public ::testing::Test {
protected:
    testing::ProgramRun run(const std::string& arguments)
    {
        return testing::run_program_with(MORLEVIX_PROGRAM, dir.path(), arguments, "", true);
    }
    void add(const std::string& name, const Bytes& bytes) { testing::write_file(dir / name, bytes); }

    // The lines of standard error, each after "morlevix: FILE : ".
    static std::vector<std::string> said_of(const std::string& err, const std::string& file)
    {
        std::vector<std::string> lines;
        std::istringstream in(err);
        const std::string prefix = "morlevix: " + file + " : ";
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix, 0) == 0) lines.push_back(line.substr(prefix.size()));
        return lines;
    }
    // The problems, then the notes, then the error of a tape, as the console says them.
    static std::vector<std::string> lines_of(const Json& tape)
    {
        std::vector<std::string> lines;
        for (const char* key : {"problems", "notes"})
            for (const auto& line : tape[key]) lines.push_back(line["text"]);
        if (!tape["error"].is_null()) lines.push_back(tape["error"]["text"]);
        return lines;
    }

    const Bytes two_files = concat({tape_file("PREMIER", testing::counting_payload(8 * 255)),
                                    tape_file("SECOND", testing::counting_payload(300, 5))});
    testing::TempDir dir;
};

TEST_F(JsonReport, ARecordingsReportSaysWhatTheConsoleSays)
{
    add("PROPRE.wav", testing::wav_of(two_files));
    add("ABIME.wav", testing::wav_file({testing::with_dropout(testing::recording_of(two_files), 4.0, 5.2)}));
    const auto r = run("decode --json PROPRE.wav ABIME.wav");
    EXPECT_EQ(r.status, 1);
    const Json report = Json::parse(r.out);
    EXPECT_EQ(report["morlevix_report"], 1);
    ASSERT_EQ(report["tapes"].size(), 2u);

    const Json& clean = report["tapes"][0];
    EXPECT_EQ(clean["file"], "PROPRE.wav");
    EXPECT_EQ(clean["kind"], "recording");
    EXPECT_EQ(clean["image"], "PROPRE.k7");
    EXPECT_TRUE(clean["whole"]);
    ASSERT_EQ(clean["files"].size(), 2u);
    EXPECT_EQ(clean["files"][1]["name"], "SECOND  ");
    EXPECT_EQ(clean["files"][1]["first_address"], 0x5000);
    EXPECT_TRUE(clean["files"][0]["whole"]);
    EXPECT_EQ(clean["blocks"].size(), 14u);
    EXPECT_EQ(clean["blocks"][1]["reading"], "sound");
    EXPECT_NEAR(clean["blocks"][1]["speed"].get<double>(), 1.0, 0.01);
    EXPECT_TRUE(clean["problems"].empty());
    EXPECT_TRUE(testing::read_file(dir / "PROPRE.k7").size() > 0);  // the image goes to its file all the same

    // Every line the console prints, in order, with its kind and time.
    const Json& damaged = report["tapes"][1];
    EXPECT_FALSE(damaged["whole"]);
    EXPECT_EQ(lines_of(damaged), said_of(r.err, "ABIME.wav"));
    ASSERT_EQ(damaged["problems"].size(), 2u);
    EXPECT_EQ(damaged["problems"][0]["kind"], "broken_off");
    EXPECT_EQ(damaged["problems"][1]["kind"], "lost_blocks");
    EXPECT_NEAR(damaged["problems"][1]["seconds"].get<double>(), 4.9, 0.05);
    EXPECT_EQ(damaged["problems"][1]["file"], 0);
    EXPECT_EQ(damaged["files"][0]["why"], (Json{"broken_off", "lost_blocks"}));
    EXPECT_FALSE(damaged["files"][0]["whole"]);
    ASSERT_EQ(damaged["lost"].size(), 1u);
    EXPECT_EQ(damaged["lost"][0]["blocks"], 1);
    // The lines decode prints on standard output went to standard error.
    EXPECT_NE(r.err.find("ABIME.wav -> ABIME.k7\nPREMIER  : incomplet\nSECOND  \n"), std::string::npos) << r.err;

    // In English under an English locale; never with the image on standard output.
    const auto english = testing::run_program_with(MORLEVIX_PROGRAM, dir.path(), "decode --json ABIME.wav", "", true, "en_US.UTF-8");
    EXPECT_EQ(Json::parse(english.out)["tapes"][0]["problems"][1]["text"].get<std::string>().rfind("file PREMIER : one block lost", 0), 0u);
    EXPECT_EQ(run("decode --json -o - ABIME.wav").status, 2);
}

TEST_F(JsonReport, AMergeSaysWhichTakeGaveEachBlock)
{
    const testing::Recording ours = testing::recording_of(two_files);
    add("A.wav", testing::wav_file({testing::with_dropout(ours, 4.0, 5.2)}));
    add("B.wav", testing::wav_file({testing::with_dropout(testing::played(ours, 44100, 1.03), 9.0, 9.5)}));
    const auto r = run("decode --merge --json -o M.k7 A.wav B.wav");
    EXPECT_EQ(r.status, 0) << r.err;
    const Json tape = Json::parse(r.out)["tapes"][0];
    EXPECT_EQ(tape["kind"], "merge");
    EXPECT_EQ(tape["takes"], (Json{"A.wav", "B.wav"}));
    EXPECT_TRUE(tape["whole"]);
    std::set<int> takes;
    for (const auto& block : tape["blocks"]) takes.insert(block["take"].get<int>());
    EXPECT_EQ(takes, (std::set<int>{0, 1}));
    ASSERT_EQ(tape["takes_of_files"].size(), 2u);
    EXPECT_EQ(tape["takes_of_files"][0].get<std::string>().rfind("PREMIER  : blocs 0-", 0), 0u);
}

TEST_F(JsonReport, AnImagesReportNamesItsFilesSafely)
{
    // A file cut by the image's end, after a file whose name holds a
    // quote, a backslash and a control byte.
    Bytes odd = tape_file("A\"B\\C\x01", {1, 2, 3});
    Bytes cut = tape_file("COUPE", testing::counting_payload(100));
    cut.resize(cut.size() - 10);
    add("DROLE.k7", concat({odd, cut}));
    const auto r = run("list --json DROLE.k7");
    EXPECT_EQ(r.status, 1);
    const Json report = Json::parse(r.out);  // valid JSON, or this throws
    const Json& tape = report["tapes"][0];
    EXPECT_EQ(tape["kind"], "image");
    EXPECT_EQ(tape["files"][0]["name"], "A\"B\\C?  ");
    EXPECT_TRUE(tape["files"][0]["whole"]);
    EXPECT_FALSE(tape["files"][1]["whole"]);
    EXPECT_EQ(lines_of(tape), said_of(r.err, "DROLE.k7"));
    ASSERT_EQ(tape["problems"].size(), 2u);
    EXPECT_EQ(tape["problems"][0]["kind"], "cut_by_image_end");
    EXPECT_EQ(tape["problems"][0]["position"], odd.size() + 19);
    EXPECT_EQ(tape["problems"][1]["kind"], "no_end_block");
    EXPECT_EQ(tape["files"][1]["why"], Json{"no_end_block"});
    // Nothing but the document on standard output.
    EXPECT_EQ(r.out.front(), '{');
}

}  // namespace
}  // namespace morlevix
