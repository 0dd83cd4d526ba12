// punchclock-export: the export screen's export and upload without a screen, for a timer or
// cron. Run in the punch clock's working directory (link.txt, ftp.txt, temp/):
//   punchclock-export [--from YYYY/MM/DD] [--to YYYY/MM/DD] [--kind 上班|加班]
//                     [--output FILE] [--upload [--unit UNIT] [--retries N] [--retry-pause SECONDS]]
// It prints one line per step done; a failed step is named on the standard error with its
// reason, and the exit status is 1 (2 for arguments it cannot use). 0 means every step worked.
#include "Connection.h"
#include "ConnectionSettings.h"
#include "CurlFtpUploader.h"
#include "DayFileUpload.h"
#include "ExportPaths.h"
#include "ExportStaging.h"
#include "LocalClock.h"
#include "PunchSearch.h"
#include "WorkingDatabase.h"
#include "RecordQuery.h"
#include "SettingsFileError.h"
#include "StagingPacker.h"
#include "Tables.h"
#include "TransferSettings.h"
#include "WorkbookFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>

namespace {

constexpr int exitFailedStep = 1;
constexpr int exitBadArguments = 2;
constexpr int defaultRetryPauseSeconds = 60;
const QString dateFormat = QStringLiteral("yyyy/MM/dd");

// A step that did not work: its name and why, as the command reports it.
class StepFailed : public std::runtime_error {
public:
    StepFailed(const QString& step, const QString& reason)
        : std::runtime_error((step + QStringLiteral(" failed: ") + reason).toStdString())
    {
    }
};

class BadArguments : public std::runtime_error {
public:
    explicit BadArguments(const QString& text)
        : std::runtime_error(text.toStdString())
    {
    }
};

struct Options {
    QString from;
    QString to;
    QString kind;
    bool upload = false;
    std::optional<QString> unit;
    QString output; // empty: the file of the screen's export
    DayFileUpload::Retries retries;
};

QString dateOption(const QCommandLineParser& parser, const QString& name, const QString& today)
{
    if (!parser.isSet(name))
        return today;
    const QString text = parser.value(name);
    if (!QDate::fromString(text, dateFormat).isValid())
        throw BadArguments(QStringLiteral("--%1 takes a date written YYYY/MM/DD, not '%2'").arg(name, text));
    return text;
}

int countOption(const QCommandLineParser& parser, const QString& name, int fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool isNumber = false;
    const int count = parser.value(name).toInt(&isNumber);
    if (!isNumber || count < 0)
        throw BadArguments(
            QStringLiteral("--%1 takes a whole number of 0 or more, not '%2'").arg(name, parser.value(name)));
    return count;
}

Options readOptions(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Exports the punches of a date range as the export screen does, into ptemp and an .xls "
                       "workbook under temp/, and uploads the day's file to the server of ftp.txt."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("from"), QStringLiteral("First day of the range (default: today)."),
         QStringLiteral("YYYY/MM/DD")},
        {QStringLiteral("to"), QStringLiteral("Last day of the range (default: today)."), QStringLiteral("YYYY/MM/DD")},
        {QStringLiteral("kind"), QStringLiteral("上班 for the shift punches, 加班 for overtime (default: 上班)."),
         QStringLiteral("KIND"), StagingPacker::shiftKind},
        {QStringLiteral("output"),
         QStringLiteral("The workbook to write (default: temp/卡鐘匯檔.xls, or with --upload the day's file "
                        "temp/yyyymmdd卡鐘.xls)."),
         QStringLiteral("FILE")},
        {QStringLiteral("upload"),
         QStringLiteral("Upload the workbook as \"上傳檔案\" does, checking the size stored.")},
        {QStringLiteral("unit"), QStringLiteral("The unit that begins the remote name (default: the one of ftp.txt)."),
         QStringLiteral("UNIT")},
        {QStringLiteral("retries"), QStringLiteral("Tries again after a failed upload, at most N times (default: 0)."),
         QStringLiteral("N")},
        {QStringLiteral("retry-pause"),
         QStringLiteral("Seconds to wait before each new try (default: %1).").arg(defaultRetryPauseSeconds),
         QStringLiteral("SECONDS")},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        throw BadArguments(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    Options options;
    const QString today = LocalClock::dateText(LocalClock::now());
    options.from = dateOption(parser, QStringLiteral("from"), today);
    options.to = dateOption(parser, QStringLiteral("to"), today);
    options.kind = parser.value(QStringLiteral("kind"));
    if (options.kind != StagingPacker::shiftKind && options.kind != StagingPacker::overtimeKind)
        throw BadArguments(QStringLiteral("--kind takes %1 or %2, not '%3'")
                               .arg(StagingPacker::shiftKind, StagingPacker::overtimeKind, options.kind));
    options.upload = parser.isSet(QStringLiteral("upload"));
    for (const QString& name : {QStringLiteral("unit"), QStringLiteral("retries"), QStringLiteral("retry-pause")}) {
        if (parser.isSet(name) && !options.upload)
            throw BadArguments(QStringLiteral("--%1 belongs to --upload").arg(name));
    }
    if (parser.isSet(QStringLiteral("unit")))
        options.unit = parser.value(QStringLiteral("unit"));
    options.output = parser.value(QStringLiteral("output"));
    options.retries.count = countOption(parser, QStringLiteral("retries"), 0);
    options.retries.pause =
        std::chrono::seconds(countOption(parser, QStringLiteral("retry-pause"), defaultRetryPauseSeconds));
    return options;
}

// Step lines go to the standard output; on a terminal a step's progress shows on its line until
// the step is done, elsewhere nothing but the step lines is written.
class Report {
public:
    Report()
        : onTerminal_(isatty(STDOUT_FILENO) == 1)
    {
    }

    void step(const QString& name, const QString& what)
    {
        clearProgress();
        out_ << name << ": " << what << '\n';
        out_.flush();
    }

    ExportProgress progress(const QString& name)
    {
        if (!onTerminal_)
            return {};
        return [this, name](qsizetype done, qsizetype total) {
            out_ << '\r' << name << ": " << done;
            if (total > 0)
                out_ << " of " << total;
            out_ << " rows";
            out_.flush();
            progressShown_ = true;
            return true;
        };
    }

private:
    void clearProgress()
    {
        if (progressShown_)
            out_ << "\r\033[K";
        progressShown_ = false;
    }

    QTextStream out_{stdout};
    bool onTerminal_;
    bool progressShown_ = false;
};

// Runs one step; whatever it throws becomes the failure of that step.
template <typename Work> auto runStep(const QString& step, Work&& work)
{
    try {
        return work();
    } catch (const std::exception& error) {
        throw StepFailed(step, QString::fromUtf8(error.what()));
    }
}

TransferSettings readTransferSettings(const Options& options)
{
    TransferSettings settings;
    try {
        ReadTransferSettings(settings);
    } catch (const SettingsFileError& error) {
        throw SettingsFileError(QStringLiteral("ftp.txt: ") + QString::fromUtf8(error.what()));
    }
    if (options.unit)
        settings.unit = *options.unit;
    return settings;
}

void run(const Options& options, Report& report)
{
    const QDateTime today = LocalClock::now();
    Connection connection(QStringLiteral("CUSConnection1"));
    report.step(QStringLiteral("database"),
                runStep(QStringLiteral("database"), [&] { return openWorkingDatabase(connection); }));

    TransferSettings transfer;
    if (options.upload) {
        transfer = runStep(QStringLiteral("settings"), [&] { return readTransferSettings(options); });
        report.step(QStringLiteral("settings"),
                    QStringLiteral("ftp.txt: unit '%1', server %2").arg(transfer.unit, transfer.host));
    }

    RecordQuery search(QStringLiteral("clock_ADOQ"), connection, RecordQuery::WriteMode::Batch, PunchSearch::fields());
    runStep(QStringLiteral("search"), [&] {
        PunchSearch::run(search, options.kind, options.from, options.to, report.progress(QStringLiteral("search")));
    });
    report.step(QStringLiteral("search"), QStringLiteral("%1 rows of %2 from %3 to %4")
                                              .arg(search.rowCount())
                                              .arg(options.kind, options.from, options.to));

    RecordQuery staging(QStringLiteral("clockexp_ADOQ"), connection, RecordQuery::WriteMode::Batch, Tables::ptemp());
    runStep(QStringLiteral("staging"),
            [&] { ExportStaging::stage(search, staging, options.kind, report.progress(QStringLiteral("staging"))); });
    report.step(QStringLiteral("staging"), QStringLiteral("%1 rows into ptemp").arg(staging.rowCount()));

    const QString defaultPath = options.upload ? ExportPaths::datedWorkbookPath(today) : ExportPaths::workbookPath();
    const QString path = options.output.isEmpty() ? defaultPath : QDir::current().absoluteFilePath(options.output);
    runStep(QStringLiteral("workbook"), [&] {
        saveWorkbook(path, ExportStaging::stagedWorkbook(staging, ExportStaging::sheetHeader(),
                                                         report.progress(QStringLiteral("workbook"))));
    });
    report.step(QStringLiteral("workbook"), path);

    if (!options.upload)
        return;
    CurlFtpUploader uploader;
    const QString remoteName = ExportPaths::remoteName(transfer.unit, today);
    runStep(QStringLiteral("upload"), [&] {
        try {
            DayFileUpload::send(
                uploader, transfer, path, today, options.retries, [&](int attempt, const UploadError& error) {
                    report.step(QStringLiteral("upload"), QStringLiteral("try %1 failed (%2); again in %3 s")
                                                              .arg(attempt)
                                                              .arg(QString::fromUtf8(error.what()))
                                                              .arg(options.retries.pause.count()));
                });
        } catch (const UploadError& error) {
            throw UploadError(DayFileUpload::failedText + QStringLiteral(": ") + QString::fromUtf8(error.what()));
        }
    });
    report.step(QStringLiteral("upload"),
                QStringLiteral("%1: %2 in ./%3/").arg(DayFileUpload::succeededText, remoteName, transfer.directory));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("punchclock-export"));
    QTextStream err(stderr);
    Options options;
    try {
        options = readOptions(app);
    } catch (const BadArguments& error) {
        err << "punchclock-export: " << QString::fromUtf8(error.what()) << "\n";
        return exitBadArguments;
    }
    Report report;
    try {
        run(options, report);
    } catch (const std::exception& error) {
        err << "punchclock-export: " << QString::fromUtf8(error.what()) << "\n";
        return exitFailedStep;
    }
    return 0;
}
