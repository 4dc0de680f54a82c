// The batch's files: the CSV of rows to provision (one Key each, found by its card id or label)
// and the report, which says what became of each row and from which the next run resumes. Plain
// text handling, no Key and no window.
#pragma once

#include <string>
#include <vector>

struct BatchRow {
    int line = 0;              // line of the CSV file, for messages
    std::string key;           // the Key's card id (16 hexadecimal digits) or its label
    std::string idFile;        // the ID file to attach
    std::string passwordFrom;  // where the ID file's Notes password comes from (cmd_secrets.h)
    std::string pinFrom;       // where the Key's PIN comes from ("none": the Key has none)
};

// Why a batch or report file was refused; the caller says it in words (arbolin_cmd_texts.h).
struct BatchFileError {
    enum class Kind {
        kNone,
        kEmpty,          // no header line
        kUnknownColumn,  // `name`: a column the header may not name
        kMissingColumn,  // `name`: a column the header lacks
        kFieldCount,     // `line` has `count` fields, the header `expected`
        kEmptyField,     // `line` has nothing in column `name`
        kKeyTwice,       // `otherLine` and `line` name the same Key, `name`
        kQuote,          // `line` has a quote that is not closed
        kNotAReport,     // the report's header is not this program's
        kReportLine,     // `line` of the report is not a report line
    };
    Kind kind = Kind::kNone;
    int line = 0, otherLine = 0, count = 0, expected = 0;
    std::string name;
};

// Reads the batch from CSV text: a header line naming the columns key, id_file, password, pin (in
// any order; other columns are refused), then one row per Key. Fields may be quoted ("a,b",
// "say ""x"""); blank lines and lines starting with '#' are skipped. False with *error: a missing
// column or field, a Key named twice, a malformed quote, and where.
bool ParseBatchCsv(const std::string &text, std::vector<BatchRow> *rows, BatchFileError *error);

// Whether `row` is for the Key with card id `cardId` (16 hexadecimal digits, any case) or label
// `label` (the whole label, exactly).
bool RowMatchesKey(const BatchRow &row, const std::string &cardId, const std::string &label);

// What became of a row. The report holds no secret: no PIN, no password, no ID file.
struct BatchOutcome {
    enum class State { kPending, kDone, kFailed };
    State state = State::kPending;
    std::string reader, cardId, user, idFileName;
    std::string message;   // why it failed, one line
    std::string when;      // local time of the outcome, "YYYY-MM-DD hh:mm:ss"
};

const char *BatchStateName(BatchOutcome::State state);

// The report's text: a header line, then one line per row in the batch's order.
std::string FormatBatchReport(const std::vector<BatchRow> &rows, const std::vector<BatchOutcome> &outcomes);

// The outcomes an earlier report holds for the rows of this batch (matched by the key column,
// so that rows added or moved since keep theirs); rows it does not name stay pending. False with
// *error when the text is no report of this program.
bool ParseBatchReport(const std::string &text, const std::vector<BatchRow> &rows, std::vector<BatchOutcome> *outcomes,
                      BatchFileError *error);

// One CSV line split into fields; false when a quote is not closed.
bool SplitCsvLine(const std::string &line, std::vector<std::string> *fields);
// A field quoted for a CSV line when it needs to be.
std::string CsvField(const std::string &text);
