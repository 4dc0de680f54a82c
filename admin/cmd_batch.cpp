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
        return Fail(kExitUsage, "batch needs --csv <file> and --ini <notes.ini>. See ArbolinCmd --help.");
    std::string csvPath = args.Value("csv");
    std::string reportPath = args.HasValue("report") ? args.Value("report") : csvPath + ".report.csv";
    long waitSeconds = kDefaultWaitSeconds;
    if (args.HasValue("wait")) {
        char *end = nullptr;
        waitSeconds = std::strtol(args.Value("wait").c_str(), &end, 10);
        if (end == nullptr || *end != 0 || waitSeconds <= 0)
            return Fail(kExitUsage, "--wait takes a number of seconds above 0.");
    }

    std::vector<BYTE> bytes;
    if (!ReadWholeFile(csvPath, &bytes, 16 * 1024 * 1024))
        return Fail(kExitUsage, "Cannot read the batch file " + csvPath + ". Check its path.");
    std::vector<BatchRow> rows;
    std::string error;
    if (!ParseBatchCsv(std::string(bytes.begin(), bytes.end()), &rows, &error))
        return Fail(kExitUsage, error + " (" + csvPath + ")");
    for (const BatchRow &row : rows) {
        SecretSource source;
        if (!SecretSource::Parse(row.passwordFrom, false, &source, &error) ||
            !SecretSource::Parse(row.pinFrom, true, &source, &error))
            return Fail(kExitUsage, "Line " + std::to_string(row.line) + " of " + csvPath + ": " + error);
    }

    std::vector<BatchOutcome> outcomes(rows.size());
    std::vector<BYTE> reportBytes;
    if (FileExists(reportPath)) {
        if (!ReadWholeFile(reportPath, &reportBytes, 16 * 1024 * 1024) ||
            !ParseBatchReport(std::string(reportBytes.begin(), reportBytes.end()), rows, &outcomes, &error))
            return Fail(kExitUsage, "The report file " + reportPath + " " + (error.empty() ? "cannot be read" : error) +
                                        ". Name another with --report, or move it away to start afresh.");
    }
    int doneBefore = 0;
    for (const BatchOutcome &o : outcomes)
        doneBefore += o.state == BatchOutcome::State::kDone;
    auto writeReport = [&]() {
        std::string text = FormatBatchReport(rows, outcomes);
        if (!WriteWholeFile(reportPath, text.data(), text.size()))
            io_.Err("ArbolinCmd: Cannot write the report " + reportPath +
                    ". Check that its folder may be written to; the run goes on.\n");
    };
    writeReport();
    io_.Out("Batch " + csvPath + ": " + std::to_string(rows.size()) + " rows, " + std::to_string(doneBefore) +
            " done in an earlier run. Insert the Keys, in any order.\n");

    pinHint_ = "Fill in the pin column of its row: stdin, prompt, file:<path> or secret:<name>.";
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
            std::string head = reader + ", Key " + shown + (label[0] != 0 ? " (" + cardId + ")" : std::string()) + ": ";
            if (index == rows.size()) {
                io_.Out(head + "in no row of the batch; left as it is.\n");
                continue;
            }
            std::string rowName = "row " + std::to_string(index + 1);
            if (outcomes[index].state == BatchOutcome::State::kDone) {
                io_.Out(head + rowName + " was done already; left as it is.\n");
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
                message = ConsoleCore::KeyNotFoundText() + ". Insert the Key again.";
            if (code == kExitDone)
                code = Attach(target, row.idFile, args.Value("ini"), row.passwordFrom, args.Has("restore-ini-backup"),
                              &held, &message);
            outcome.when = Now();
            if (code == kExitDone) {
                outcome.state = BatchOutcome::State::kDone;
                outcome.user = held.userName;
                outcome.idFileName = held.idFileName;
                io_.Out(head + rowName + " done: " + held.userName + ", " + held.idFileName + ".\n");
            } else {
                outcome.state = BatchOutcome::State::kFailed;
                outcome.message = FirstLine(message);
                io_.Out(head + rowName + " failed: " + outcome.message + "\n");
            }
            LogMessage(code == kExitDone ? kLogStep : kLogError, kAdminLog, "ArbolinCmd batch: %s %s", rowName.c_str(),
                       BatchStateName(outcome.state));
            outcomes[index] = outcome;
            tried[index] = true;
            writeReport();
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
    io_.Out("Summary: " + std::to_string(rows.size()) + " rows: " + std::to_string(done) + " done (" +
            std::to_string(doneBefore) + " in an earlier run), " + std::to_string(failed) + " failed, " +
            std::to_string(waiting) + " not inserted. Report: " + reportPath + "\n");
    if (done == static_cast<int>(rows.size()))
        return kExitDone;
    io_.Err("ArbolinCmd: Not every row is done. Correct what the report says and run the same command again: "
            "the rows done are skipped, the others tried again.\n");
    return kExitFailed;
}
