// The batch: the Keys of a CSV file provisioned as they are inserted, in any order. Each Key is
// matched to its row by card id or label; one line is printed per Key; the report is written
// after every Key, so that a run cut short resumes where it stopped.
#include "arbolin_cmd.h"

#include <cstdio>
#include <map>

#include "admin_files.h"
#include "cmd_batch_file.h"
#include "key_messages.h"
#include "log.h"
#include "admin_ui.h"
#include "arbolin_cmd_texts.h"

namespace {

constexpr DWORD kPassMs = 200;        // how often the readers are looked at
constexpr long kDefaultWaitSeconds = 600;

std::string Now()
{
    SYSTEMTIME t = {};
    GetLocalTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

// What is wrong with a batch or report file, in words.
std::string BatchFileErrorText(const BatchFileError &e)
{
    switch (e.kind) {
    case BatchFileError::Kind::kEmpty: return Text(IDS_CMD_CSV_EMPTY);
    case BatchFileError::Kind::kUnknownColumn: return TextF(IDS_CMD_CSV_UNKNOWN_COLUMN, e.name.c_str());
    case BatchFileError::Kind::kMissingColumn: return TextF(IDS_CMD_CSV_MISSING_COLUMN, e.name.c_str());
    case BatchFileError::Kind::kFieldCount: return TextF(IDS_CMD_CSV_FIELD_COUNT, e.line, e.count, e.expected);
    case BatchFileError::Kind::kEmptyField: return TextF(IDS_CMD_CSV_EMPTY_FIELD, e.line, e.name.c_str());
    case BatchFileError::Kind::kKeyTwice: return TextF(IDS_CMD_CSV_KEY_TWICE, e.otherLine, e.line, e.name.c_str());
    case BatchFileError::Kind::kQuote: return TextF(IDS_CMD_CSV_QUOTE, e.line);
    case BatchFileError::Kind::kNotAReport: return Text(IDS_CMD_REPORT_NOT_A_REPORT);
    case BatchFileError::Kind::kReportLine: return TextF(IDS_CMD_REPORT_LINE, e.line);
    case BatchFileError::Kind::kNone: break;
    }
    return Text(IDS_CMD_REPORT_UNREADABLE);
}

std::string FirstLine(const std::string &text)
{
    std::string line;
    for (char c : text)
        line += c == '\n' ? ' ' : c;
    return line;
}

}  // namespace

int CmdSession::Batch(const CmdArgs &args)
{
    if (!args.HasValue("csv") || !args.HasValue("ini"))
        return Fail(kExitUsage, TextF(IDS_CMD_NEEDS_OPTION, "batch", "--csv <file> and --ini <notes.ini>"));
    std::string csvPath = args.Value("csv");
    std::string reportPath = args.HasValue("report") ? args.Value("report") : csvPath + ".report.csv";
    long waitSeconds = kDefaultWaitSeconds;
    if (args.HasValue("wait")) {
        char *end = nullptr;
        waitSeconds = std::strtol(args.Value("wait").c_str(), &end, 10);
        if (end == nullptr || *end != 0 || waitSeconds <= 0)
            return Fail(kExitUsage, Text(IDS_CMD_WAIT_SECONDS));
    }

    std::vector<BYTE> bytes;
    if (!ReadWholeFile(csvPath, &bytes, 16 * 1024 * 1024))
        return Fail(kExitUsage, TextF(IDS_CMD_BATCH_UNREADABLE, csvPath.c_str()));
    std::vector<BatchRow> rows;
    BatchFileError fileError;
    if (!ParseBatchCsv(std::string(bytes.begin(), bytes.end()), &rows, &fileError))
        return Fail(kExitUsage, BatchFileErrorText(fileError) + " (" + csvPath + ")");
    std::string error;
    for (const BatchRow &row : rows) {
        SecretSource source;
        if (!SecretSource::Parse(row.passwordFrom, false, &source, &error) ||
            !SecretSource::Parse(row.pinFrom, true, &source, &error))
            return Fail(kExitUsage, TextF(IDS_CMD_BATCH_LINE, row.line, csvPath.c_str(), error.c_str()));
    }

    std::vector<BatchOutcome> outcomes(rows.size());
    std::vector<BYTE> reportBytes;
    if (FileExists(reportPath)) {
        if (!ReadWholeFile(reportPath, &reportBytes, 16 * 1024 * 1024) ||
            !ParseBatchReport(std::string(reportBytes.begin(), reportBytes.end()), rows, &outcomes, &fileError))
            return Fail(kExitUsage, TextF(IDS_CMD_REPORT_UNUSABLE, reportPath.c_str(),
                                          BatchFileErrorText(fileError).c_str()));
    }
    int doneBefore = 0;
    for (const BatchOutcome &o : outcomes)
        doneBefore += o.state == BatchOutcome::State::kDone;
    auto writeReport = [&]() {
        std::string text = FormatBatchReport(rows, outcomes);
        if (!WriteWholeFile(reportPath, text.data(), text.size()))
            io_.Err(CmdErrorLine(TextF(IDS_CMD_REPORT_NOT_WRITTEN, reportPath.c_str())));
    };
    writeReport();
    io_.Out(TextF(IDS_CMD_BATCH_START, csvPath.c_str(), static_cast<int>(rows.size()), doneBefore));

    pinHint_ = Text(IDS_CMD_PIN_HINT_ROW);
    std::vector<bool> tried(rows.size(), false);
    std::map<std::string, std::string> handled;  // reader -> card id of the Key dealt with there
    DWORD lastNews = GetTickCount();
    auto allTried = [&]() {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (outcomes[i].state != BatchOutcome::State::kDone && !tried[i])
                return false;
        return true;
    };
    while (!allTried() && InterlockedCompareExchange(&g_cmdStopRequested, 0, 0) == 0) {
        bool news = false;
        for (const std::string &reader : key_.ReaderNames()) {
            char label[36] = "";
            int state = key_.GetKeyInfo(reader.c_str(), nullptr, nullptr, label);
            std::optional<ReaderRecord> r = key_.FindReader(reader.c_str());
            if (!r || state == csAbsent) {
                handled.erase(reader);  // the next Key in this reader is a new one
                continue;
            }
            std::string cardId = CardIdText(r->card_id);
            auto seen = handled.find(reader);
            if (seen != handled.end() && seen->second == cardId)
                continue;  // dealt with since it was inserted
            handled[reader] = cardId;
            news = true;
            std::string shown = std::string(label[0] != 0 ? label : cardId.c_str());
            std::size_t index = rows.size();
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (RowMatchesKey(rows[i], cardId, label))
                    index = i;
            std::string head = label[0] != 0 ? TextF(IDS_CMD_KEY_HEAD_LABELLED, reader.c_str(), shown.c_str(), cardId.c_str())
                                             : TextF(IDS_CMD_KEY_HEAD, reader.c_str(), shown.c_str());
            if (index == rows.size()) {
                io_.Out(TextF(IDS_CMD_KEY_IN_NO_ROW, head.c_str()));
                continue;
            }
            int rowNumber = static_cast<int>(index + 1);
            if (outcomes[index].state == BatchOutcome::State::kDone) {
                io_.Out(TextF(IDS_CMD_ROW_DONE_BEFORE, head.c_str(), rowNumber));
                continue;
            }
            const BatchRow &row = rows[index];
            BatchOutcome outcome;
            outcome.reader = reader;
            outcome.cardId = cardId;
            KeyTarget target = core_.Target(reader);
            ReadResult read;
            HeldNotesData held;
            std::string message;
            int code = target.empty() ? kExitNoKey : OpenKey(target, row.pinFrom, true, &read, &message);
            if (target.empty())
                message = TextF(IDS_CMD_INSERT_AGAIN, ConsoleCore::KeyNotFoundText().c_str());
            if (code == kExitDone)
                code = Attach(target, row.idFile, args.Value("ini"), row.passwordFrom, args.Has("restore-ini-backup"),
                              &held, &message);
            outcome.when = Now();
            std::string line;
            if (code == kExitDone) {
                outcome.state = BatchOutcome::State::kDone;
                outcome.user = held.userName;
                outcome.idFileName = held.idFileName;
                line = TextF(IDS_CMD_ROW_DONE, head.c_str(), rowNumber, held.userName.c_str(), held.idFileName.c_str());
            } else {
                outcome.state = BatchOutcome::State::kFailed;
                outcome.message = FirstLine(message);
                line = TextF(IDS_CMD_ROW_FAILED, head.c_str(), rowNumber, outcome.message.c_str());
            }
            LogMessage(code == kExitDone ? kLogStep : kLogError, kAdminLog, "ArbolinCmd batch: row %d %s", rowNumber,
                       BatchStateName(outcome.state));
            outcomes[index] = outcome;
            tried[index] = true;
            // The report first: once a Key's line is out, a run cut short there resumes after it.
            writeReport();
            io_.Out(line);
        }
        if (news)
            lastNews = GetTickCount();
        else if (GetTickCount() - lastNews >= static_cast<DWORD>(waitSeconds) * 1000)
            break;
        if (!allTried())
            Sleep(kPassMs);
    }

    int done = 0, failed = 0, waiting = 0;
    for (const BatchOutcome &o : outcomes) {
        done += o.state == BatchOutcome::State::kDone;
        failed += o.state == BatchOutcome::State::kFailed;
        waiting += o.state == BatchOutcome::State::kPending;
    }
    io_.Out(TextF(IDS_CMD_SUMMARY, static_cast<int>(rows.size()), done, doneBefore, failed, waiting, reportPath.c_str()));
    if (done == static_cast<int>(rows.size()))
        return kExitDone;
    io_.Err(CmdErrorLine(Text(IDS_CMD_NOT_EVERY_ROW)));
    return kExitFailed;
}
