// The batch's files without Keys: CSV lines split, rows read, a Key matched to its row, the report
// written and read back, the sources of secrets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmd_batch_file.h"
#include "cmd_secrets.h"

namespace {

struct SplitCase {
    const char *name;
    std::string line;
    bool ok;
    std::vector<std::string> fields;
};

const SplitCase kSplits[] = {
    {"Plain", "a,b,c", true, {"a", "b", "c"}},
    {"Spaces", " a , b ,c ", true, {"a", "b", "c"}},
    {"Empty", "a,,c", true, {"a", "", "c"}},
    {"TrailingEmpty", "a,b,", true, {"a", "b", ""}},
    {"QuotedComma", "\"C:\\Keys, first floor\\a.id\",b", true, {"C:\\Keys, first floor\\a.id", "b"}},
    {"QuotedQuote", "\"say \"\"hi\"\"\",x", true, {"say \"hi\"", "x"}},
    {"QuotedKeepsSpaces", "\" a \",b", true, {" a ", "b"}},
    {"NotClosed", "\"a,b", false, {}},
};

class Split : public testing::TestWithParam<SplitCase> {};

TEST_P(Split, Line)
{
    std::vector<std::string> fields;
    EXPECT_EQ(GetParam().ok, SplitCsvLine(GetParam().line, &fields));
    if (GetParam().ok) {
        EXPECT_EQ(GetParam().fields, fields);
    }
}

INSTANTIATE_TEST_SUITE_P(Csv, Split, testing::ValuesIn(kSplits),
                         [](const testing::TestParamInfo<SplitCase> &info) { return std::string(info.param.name); });

TEST(BatchFile, FieldWrittenQuotedReadsBackTheSame)
{
    for (std::string text : {"plain", "a,b", "say \"hi\"", " spaced ", "", "two\nlines"}) {
        std::vector<std::string> fields;
        ASSERT_TRUE(SplitCsvLine(CsvField(text) + ",end", &fields)) << text;
        ASSERT_EQ(2u, fields.size()) << text;
        EXPECT_EQ(text, fields[0]);
    }
}

TEST(BatchFile, ColumnsInAnyOrderAndCommentsSkipped)
{
    std::vector<BatchRow> rows;
    BatchFileError error;
    ASSERT_TRUE(ParseBatchCsv("pin,key,password,id_file\n# a comment\n\nnone,Anna,stdin,a.id\n", &rows, &error));
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("Anna", rows[0].key);
    EXPECT_EQ("a.id", rows[0].idFile);
    EXPECT_EQ("stdin", rows[0].passwordFrom);
    EXPECT_EQ("none", rows[0].pinFrom);
    EXPECT_EQ(4, rows[0].line);
}

struct MatchCase {
    const char *name;
    const char *key, *cardId, *label;
    bool matches;
};

const MatchCase kMatches[] = {
    {"CardId", "01A3F8E87418F13D", "01A3F8E87418F13D", "Anna", true},
    {"CardIdLowerCase", "01a3f8e87418f13d", "01A3F8E87418F13D", "", true},
    {"Label", "Anna", "01A3F8E87418F13D", "Anna", true},
    {"LabelOtherCase", "anna", "01A3F8E87418F13D", "Anna", false},
    {"LabelPrefix", "Ann", "01A3F8E87418F13D", "Anna", false},
    {"OtherCard", "01A3F8E87418F13E", "01A3F8E87418F13D", "", false},
    {"EmptyLabelMatchesNothing", "", "01A3F8E87418F13D", "", false},
    {"LabelThatLooksLikeACardId", "0000000000000001", "01A3F8E87418F13D", "0000000000000001", true},
};

class Match : public testing::TestWithParam<MatchCase> {};

TEST_P(Match, RowAndKey)
{
    BatchRow row;
    row.key = GetParam().key;
    EXPECT_EQ(GetParam().matches, RowMatchesKey(row, GetParam().cardId, GetParam().label));
}

INSTANTIATE_TEST_SUITE_P(Keys, Match, testing::ValuesIn(kMatches),
                         [](const testing::TestParamInfo<MatchCase> &info) { return std::string(info.param.name); });

TEST(BatchFile, ReportReadBackGivesEachRowItsOutcomeByKey)
{
    std::vector<BatchRow> rows(3);
    rows[0].key = "Anna";
    rows[1].key = "01A3F8E87418F13D";
    rows[2].key = "Carl";
    std::vector<BatchOutcome> outcomes(3);
    outcomes[0].state = BatchOutcome::State::kDone;
    outcomes[0].reader = "Reader A";
    outcomes[0].user = "Anna Berg/Morvath";
    outcomes[0].idFileName = "anna, first.id";
    outcomes[1].state = BatchOutcome::State::kFailed;
    outcomes[1].message = "Error ID file opening\n\nCheck the path";
    std::string report = FormatBatchReport(rows, outcomes);
    EXPECT_EQ(std::string::npos, report.find("\n\n"));  // a failure's text is one line

    // The next run's batch: a row added in front, Carl's row gone.
    std::vector<BatchRow> next(3);
    next[0].key = "Dora";
    next[1].key = "anna";
    next[2].key = "01a3f8e87418f13d";
    std::vector<BatchOutcome> read;
    BatchFileError error;
    ASSERT_TRUE(ParseBatchReport(report, next, &read, &error));
    EXPECT_EQ(BatchOutcome::State::kPending, read[0].state);
    EXPECT_EQ(BatchOutcome::State::kDone, read[1].state);
    EXPECT_EQ("anna, first.id", read[1].idFileName);
    EXPECT_EQ(BatchOutcome::State::kFailed, read[2].state);
    EXPECT_EQ("Error ID file opening Check the path", read[2].message);
}

TEST(BatchFile, TextThatIsNoReportIsRefused)
{
    std::vector<BatchRow> rows(1);
    std::vector<BatchOutcome> read;
    BatchFileError error;
    EXPECT_FALSE(ParseBatchReport("key,outcome\nAnna,done\n", rows, &read, &error));
    EXPECT_EQ(BatchFileError::Kind::kNotAReport, error.kind);
    EXPECT_FALSE(ParseBatchReport("row,key,outcome,reader,card_id,user,id_file,time,message\n1,Anna,done\n", rows, &read,
                                  &error));
    EXPECT_EQ(BatchFileError::Kind::kReportLine, error.kind);
    EXPECT_EQ(2, error.line);
}

struct SourceCase {
    const char *name;
    const char *text;
    bool noneAllowed;
    bool ok;
    SecretSource::Kind kind;
    const char *where;
};

const SourceCase kSources[] = {
    {"Stdin", "stdin", false, true, SecretSource::Kind::kStdin, ""},
    {"Prompt", "prompt", false, true, SecretSource::Kind::kPrompt, ""},
    {"File", "file:C:\\secure\\pin.txt", false, true, SecretSource::Kind::kFile, "C:\\secure\\pin.txt"},
    {"Secret", "secret:anna-pin", false, true, SecretSource::Kind::kSecret, "anna-pin"},
    {"NoneForAPin", "none", true, true, SecretSource::Kind::kNone, ""},
    {"NoneForAPassword", "none", false, false, SecretSource::Kind::kPrompt, ""},
    {"FileWithoutPath", "file:", false, false, SecretSource::Kind::kPrompt, ""},
    {"TheSecretItself", "4711", true, false, SecretSource::Kind::kPrompt, ""},
    {"Empty", "", true, false, SecretSource::Kind::kPrompt, ""},
};

class Source : public testing::TestWithParam<SourceCase> {};

TEST_P(Source, Parse)
{
    const SourceCase &t = GetParam();
    SecretSource source;
    std::string error;
    EXPECT_EQ(t.ok, SecretSource::Parse(t.text, t.noneAllowed, &source, &error));
    if (t.ok) {
        EXPECT_EQ(t.kind, source.kind);
        EXPECT_EQ(t.where, source.where);
    } else {
        EXPECT_EQ(0u, error.find("That is no source of a secret. Write stdin, prompt")) << error;
        if (std::string(t.name) == "TheSecretItself") {
            EXPECT_EQ(std::string::npos, error.find(t.text));  // what was given is not repeated
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Secrets, Source, testing::ValuesIn(kSources),
                         [](const testing::TestParamInfo<SourceCase> &info) { return std::string(info.param.name); });

}  // namespace
