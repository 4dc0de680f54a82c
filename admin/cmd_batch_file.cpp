// The batch CSV and the report: reading, matching a row to a Key, writing and reading back.
#include "cmd_batch_file.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

const char *const kColumns[] = {"key", "id_file", "password", "pin"};
const char kReportHeader[] = "row,key,outcome,reader,card_id,user,id_file,time,message";

std::string Lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string &text)
{
    std::size_t b = text.find_first_not_of(" \t");
    std::size_t e = text.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

bool IsSkipped(const std::string &line)
{
    std::string bare = Trim(line);
    return bare.empty() || bare[0] == '#';
}

std::string OneLine(std::string text)
{
    for (char &c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    std::string squeezed;
    for (char c : text)
        if (!(c == ' ' && !squeezed.empty() && squeezed.back() == ' '))
            squeezed += c;
    return Trim(squeezed);
}

}  // namespace

bool SplitCsvLine(const std::string &line, std::vector<std::string> *fields)
{
    fields->clear();
    std::string field;
    bool quoted = false, wasQuoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && Trim(field).empty()) {
            field.clear();
            quoted = wasQuoted = true;
        } else if (c == ',') {
            fields->push_back(wasQuoted ? field : Trim(field));
            field.clear();
            wasQuoted = false;
        } else {
            field += c;
        }
    }
    if (quoted)
        return false;
    fields->push_back(wasQuoted ? field : Trim(field));
    return true;
}

std::string CsvField(const std::string &text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos && Trim(text) == text)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

bool ParseBatchCsv(const std::string &text, std::vector<BatchRow> *rows, BatchFileError *error)
{
    rows->clear();
    std::vector<std::string> lines = Lines(text);
    int columnOf[4] = {-1, -1, -1, -1};
    std::size_t headerCount = 0;
    bool header = false;
    std::map<std::string, int> keys;  // lower-cased key -> line
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string &line = lines[n];
        int number = static_cast<int>(n + 1);
        if (IsSkipped(line))
            continue;
        std::vector<std::string> fields;
        if (!SplitCsvLine(line, &fields)) {
            error->kind = BatchFileError::Kind::kQuote;
            error->line = number;
            return false;
        }
        if (!header) {
            for (std::size_t f = 0; f < fields.size(); ++f) {
                std::string name = Lower(fields[f]);
                auto known = std::find(std::begin(kColumns), std::end(kColumns), name);
                if (known == std::end(kColumns)) {
                    error->kind = BatchFileError::Kind::kUnknownColumn;
                    error->name = fields[f];
                    return false;
                }
                columnOf[known - std::begin(kColumns)] = static_cast<int>(f);
            }
            for (int c = 0; c < 4; ++c)
                if (columnOf[c] < 0) {
                    error->kind = BatchFileError::Kind::kMissingColumn;
                    error->name = kColumns[c];
                    return false;
                }
            headerCount = fields.size();
            header = true;
            continue;
        }
        if (fields.size() != headerCount) {
            error->kind = BatchFileError::Kind::kFieldCount;
            error->line = number;
            error->count = static_cast<int>(fields.size());
            error->expected = static_cast<int>(headerCount);
            return false;
        }
        BatchRow row;
        row.line = number;
        row.key = fields[columnOf[0]];
        row.idFile = fields[columnOf[1]];
        row.passwordFrom = fields[columnOf[2]];
        row.pinFrom = fields[columnOf[3]];
        const char *empty = row.key.empty() ? "key" : row.idFile.empty() ? "id_file"
                          : row.passwordFrom.empty() ? "password" : row.pinFrom.empty() ? "pin" : nullptr;
        if (empty != nullptr) {
            error->kind = BatchFileError::Kind::kEmptyField;
            error->line = number;
            error->name = empty;
            return false;
        }
        auto seen = keys.find(Lower(row.key));
        if (seen != keys.end()) {
            error->kind = BatchFileError::Kind::kKeyTwice;
            error->otherLine = seen->second;
            error->line = number;
            error->name = row.key;
            return false;
        }
        keys[Lower(row.key)] = number;
        rows->push_back(row);
    }
    if (!header) {
        error->kind = BatchFileError::Kind::kEmpty;
        return false;
    }
    return true;
}

bool RowMatchesKey(const BatchRow &row, const std::string &cardId, const std::string &label)
{
    if (row.key.size() == 16 && Lower(row.key) == Lower(cardId))
        return true;
    return !label.empty() && row.key == label;
}

const char *BatchStateName(BatchOutcome::State state)
{
    switch (state) {
    case BatchOutcome::State::kDone: return "done";
    case BatchOutcome::State::kFailed: return "failed";
    case BatchOutcome::State::kPending: break;
    }
    return "not inserted";
}

std::string FormatBatchReport(const std::vector<BatchRow> &rows, const std::vector<BatchOutcome> &outcomes)
{
    std::string text = std::string(kReportHeader) + "\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BatchOutcome &o = outcomes[i];
        text += std::to_string(i + 1) + "," + CsvField(rows[i].key) + "," + BatchStateName(o.state) + "," +
                CsvField(o.reader) + "," + CsvField(o.cardId) + "," + CsvField(o.user) + "," +
                CsvField(o.idFileName) + "," + CsvField(o.when) + "," + CsvField(OneLine(o.message)) + "\n";
    }
    return text;
}

bool ParseBatchReport(const std::string &text, const std::vector<BatchRow> &rows, std::vector<BatchOutcome> *outcomes,
                      BatchFileError *error)
{
    outcomes->assign(rows.size(), BatchOutcome());
    std::vector<std::string> lines = Lines(text);
    if (lines.empty() || lines[0] != kReportHeader) {
        error->kind = BatchFileError::Kind::kNotAReport;
        return false;
    }
    for (std::size_t n = 1; n < lines.size(); ++n) {
        if (IsSkipped(lines[n]))
            continue;
        std::vector<std::string> f;
        if (!SplitCsvLine(lines[n], &f) || f.size() != 9) {
            error->kind = BatchFileError::Kind::kReportLine;
            error->line = static_cast<int>(n + 1);
            return false;
        }
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (Lower(rows[r].key) != Lower(f[1]))
                continue;
            BatchOutcome &o = (*outcomes)[r];
            o.state = f[2] == "done" ? BatchOutcome::State::kDone
                    : f[2] == "failed" ? BatchOutcome::State::kFailed : BatchOutcome::State::kPending;
            o.reader = f[3];
            o.cardId = f[4];
            o.user = f[5];
            o.idFileName = f[6];
            o.when = f[7];
            o.message = f[8];
        }
    }
    return true;
}
