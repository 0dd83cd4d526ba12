#include "PunchJournal.h"

#include "LocalClock.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QSysInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString zeroChecksum = QStringLiteral("0000000000000000");
const QString checksumKey = QStringLiteral("prev");

QString checksumOf(const QByteArray& line)
{
    return QString::fromLatin1(QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex().left(16));
}

QString escaped(const QString& value)
{
    QString text;
    for (const QChar c : value) {
        if (c == QLatin1Char('%') || c == QLatin1Char('=') || c.isSpace() || c.unicode() < 0x20)
            text += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            text += c;
    }
    return text;
}

QString unescaped(const QString& value)
{
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        bool ok = false;
        const ushort code = i + 2 < value.size() && value[i] == QLatin1Char('%')
                                ? value.mid(i + 1, 2).toUShort(&ok, 16)
                                : 0;
        if (ok) {
            text += QChar(code);
            i += 2;
        } else {
            text += value[i];
        }
    }
    return text;
}

struct ParsedLine {
    QString type;
    QHash<QString, QString> values;
};

// "DATE TIME TYPE key=value ...".
std::optional<ParsedLine> parseLine(const QString& line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 4)
        return std::nullopt;
    ParsedLine parsed{words[2], {}};
    for (qsizetype i = 3; i < words.size(); ++i) {
        const qsizetype equals = words[i].indexOf(QLatin1Char('='));
        if (equals <= 0)
            return std::nullopt;
        parsed.values.insert(words[i].left(equals), unescaped(words[i].mid(equals + 1)));
    }
    return parsed;
}

QString resultText(PunchOutcome outcome)
{
    switch (outcome) {
    case PunchOutcome::Written:
        return QStringLiteral("written");
    case PunchOutcome::Refused:
        return QStringLiteral("refused");
    case PunchOutcome::WrongCard:
        return QStringLiteral("wrong-card");
    case PunchOutcome::Pending:
        return QStringLiteral("pending");
    }
    return {};
}

std::optional<PunchOutcome> outcomeFromText(const QString& text)
{
    for (PunchOutcome outcome :
         {PunchOutcome::Written, PunchOutcome::Refused, PunchOutcome::WrongCard, PunchOutcome::Pending}) {
        if (resultText(outcome) == text)
            return outcome;
    }
    return std::nullopt;
}

QString systemText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QStringList linesOf(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw JournalError(QStringLiteral("cannot read %1: %2").arg(filePath, file.errorString()));
    QStringList lines;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        lines.append(QString::fromUtf8(line));
    }
    return lines;
}

// Reads the punches and outcomes of the files, in order, into punches. An outcome may stand in
// an earlier file than its punch when the clock was set back.
void collect(const QStringList& files, std::vector<JournalPunch>& punches)
{
    QHash<QString, std::size_t> byId;
    QList<QHash<QString, QString>> outcomes;
    for (const QString& path : files) {
        for (const QString& line : linesOf(path)) {
            const std::optional<ParsedLine> parsed = parseLine(line);
            if (!parsed)
                continue;
            const auto& v = parsed->values;
            if (parsed->type == QLatin1String("punch")) {
                JournalPunch punch;
                punch.id = v.value(QStringLiteral("id"));
                punch.host = v.value(QStringLiteral("host"));
                punch.request.kind = punchKindFromText(v.value(QStringLiteral("kind"))).value_or(PunchKind::ShiftStart);
                punch.request.employeeNo = v.value(QStringLiteral("emp"));
                punch.request.cardNo = v.value(QStringLiteral("cardno"));
                punch.request.overtimeLevel = v.value(QStringLiteral("level"));
                punch.request.date = v.value(QStringLiteral("date"));
                punch.request.time = v.value(QStringLiteral("time"));
                punch.request.serial = v.value(QStringLiteral("serial"));
                punch.cardMatched = v.value(QStringLiteral("card")) == QLatin1String("matched");
                byId.insert(punch.id, punches.size());
                punches.push_back(std::move(punch));
            } else if (parsed->type == QLatin1String("outcome")) {
                outcomes.append(v);
            }
        }
    }
    for (const auto& v : std::as_const(outcomes)) {
        const auto found = byId.constFind(v.value(QStringLiteral("id")));
        if (found == byId.constEnd())
            continue;
        punches[*found].outcome = outcomeFromText(v.value(QStringLiteral("result")));
        punches[*found].outcomeText = v.value(QStringLiteral("text"));
    }
}

QString uniqueId(const QString& host)
{
    static std::atomic<int> counter{0};
    return QStringLiteral("%1-%2-%3-%4")
        .arg(host, LocalClock::now().toString(QStringLiteral("yyyyMMddHHmmsszzz")))
        .arg(::getpid())
        .arg(++counter);
}

} // namespace

PunchJournal::PunchJournal(const QDir& folder)
    : folder_(folder)
{
}

PunchJournal PunchJournal::ofWorkingDirectory()
{
    return PunchJournal(QDir(QDir::current().filePath(QStringLiteral("journal"))));
}

QString PunchJournal::recordPunch(const PunchRequest& request, bool cardMatched)
{
    const QString host = QSysInfo::machineHostName();
    const QString id = uniqueId(host);
    append(QStringLiteral("punch"), {{QStringLiteral("id"), id},
                                     {QStringLiteral("host"), host},
                                     {QStringLiteral("emp"), request.employeeNo},
                                     {QStringLiteral("kind"), punchKindText(request.kind)},
                                     {QStringLiteral("date"), request.date},
                                     {QStringLiteral("time"), request.time},
                                     {QStringLiteral("serial"), request.serial},
                                     {QStringLiteral("card"), cardMatched ? QStringLiteral("matched") : QStringLiteral("wrong")},
                                     {QStringLiteral("cardno"), request.cardNo},
                                     {QStringLiteral("level"), request.overtimeLevel}},
           true);
    return id;
}

void PunchJournal::recordOutcome(const QString& id, PunchOutcome outcome, const QString& text)
{
    QList<std::pair<QString, QString>> values{{QStringLiteral("id"), id}, {QStringLiteral("result"), resultText(outcome)}};
    if (!text.isEmpty())
        values.append({QStringLiteral("text"), text});
    // An outcome lost with the machine's power only has its punch written once more, which
    // changes nothing: the punch line alone waits for the disk.
    append(QStringLiteral("outcome"), values, false);
}

void PunchJournal::append(const QString& type, const QList<std::pair<QString, QString>>& values, bool durable)
{
    if (!folder_.exists() && !QDir().mkpath(folder_.path()))
        throw JournalError(QStringLiteral("cannot make the folder %1").arg(folder_.path()));
    const QDateTime now = LocalClock::now();
    const QString path = folder_.filePath(now.toString(QStringLiteral("yyyy-MM")) + QStringLiteral(".log"));

    // Terminals of one machine may share the folder: the lock keeps their lines whole and in
    // one chain.
    const int file = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (file < 0)
        throw JournalError(QStringLiteral("cannot open %1: %2").arg(path, systemText()));
    struct Closer {
        int file;
        ~Closer() { ::close(file); }
    } closer{file};
    if (::lockf(file, F_LOCK, 0) != 0)
        throw JournalError(QStringLiteral("cannot lock %1: %2").arg(path, systemText()));

    // The checksum of the last line of the file.
    QString previous = zeroChecksum;
    const off_t size = ::lseek(file, 0, SEEK_END);
    if (size > 0) {
        QByteArray tail;
        off_t start = size;
        while (start > 0 && tail.count('\n') < 2) {
            const off_t step = std::min<off_t>(start, 4096);
            start -= step;
            QByteArray chunk(step, '\0');
            if (::pread(file, chunk.data(), step, start) != step)
                throw JournalError(QStringLiteral("cannot read %1: %2").arg(path, systemText()));
            tail.prepend(chunk);
        }
        if (tail.endsWith('\n'))
            tail.chop(1);
        previous = checksumOf(tail.mid(tail.lastIndexOf('\n') + 1));
    }

    QString line = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + type;
    for (const auto& [key, value] : values)
        line += QLatin1Char(' ') + key + QLatin1Char('=') + escaped(value);
    line += QLatin1Char(' ') + checksumKey + QLatin1Char('=') + previous + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    if (::write(file, bytes.constData(), bytes.size()) != bytes.size() || (durable && ::fdatasync(file) != 0))
        throw JournalError(QStringLiteral("cannot write %1: %2").arg(path, systemText()));
}

QStringList PunchJournal::monthFiles() const
{
    QStringList files;
    for (const QString& name : folder_.entryList({QStringLiteral("[0-9][0-9][0-9][0-9]-[0-9][0-9].log")}, QDir::Files, QDir::Name))
        files.append(folder_.filePath(name));
    return files;
}

std::vector<JournalPunch> PunchJournal::punches() const
{
    std::vector<JournalPunch> all;
    collect(monthFiles(), all);
    return all;
}

std::vector<JournalPunch> PunchJournal::pending() const
{
    const QStringList files = monthFiles();
    std::vector<JournalPunch> recent;
    // From the newest file back to the one that holds a written punch.
    for (qsizetype first = files.size() - 1; first >= 0; --first) {
        recent.clear();
        collect(files.mid(first), recent);
        if (std::any_of(recent.begin(), recent.end(),
                        [](const JournalPunch& p) { return p.outcome == PunchOutcome::Written; }))
            break;
    }
    std::vector<JournalPunch> open;
    for (JournalPunch& punch : recent) {
        const bool settled = punch.outcome && punch.outcome != PunchOutcome::Pending;
        if (!settled && punch.cardMatched)
            open.push_back(std::move(punch));
    }
    return open;
}

JournalCheck PunchJournal::check(const QString& filePath)
{
    JournalCheck result;
    QString previous = zeroChecksum;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw JournalError(QStringLiteral("cannot read %1: %2").arg(filePath, file.errorString()));
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        ++result.lines;
        if (!line.endsWith('\n')) {
            result.brokenLine = result.lines;
            result.reason = QStringLiteral("the line is cut off");
            return result;
        }
        line.chop(1);
        const qsizetype mark = line.lastIndexOf(" prev=");
        const QString carried = mark < 0 ? QString() : QString::fromLatin1(line.mid(mark + 6));
        if (carried != previous) {
            // What breaks the chain here is the line before, changed, or lines removed after it.
            result.brokenLine = std::max(1, result.lines - 1);
            result.reason = result.lines == 1
                                ? QStringLiteral("line 1 does not begin the chain: lines before it were removed")
                                : QStringLiteral("the chain breaks after line %1: that line was changed, or lines "
                                                 "after it were removed")
                                      .arg(result.lines - 1);
            return result;
        }
        previous = checksumOf(line);
    }
    return result;
}
