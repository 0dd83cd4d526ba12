#include "SettingsLine.h"

#include "SettingsFileError.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace SettingsLine {

QStringList values(const QString& line)
{
    QStringList result;
    qsizetype start = 0;
    while (start < line.size()) {
        const qsizetype comma = line.indexOf(QLatin1Char(','), start);
        const qsizetype end = comma < 0 ? line.size() : comma + 1;
        result.append(line.mid(start, end - start - 1));
        start = end;
    }
    return result;
}

QString readFirstLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SettingsFileError(QStringLiteral("File not found"));
    QByteArray bytes = file.readLine();
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    QStringDecoder big5("Big5");
    return big5.decode(bytes);
}

void assign(const QStringList& values, std::initializer_list<QString*> targets)
{
    int position = 0;
    for (QString* target : targets) {
        if (position >= values.size())
            throw SettingsFileError(QStringLiteral("List index out of bounds (%1)").arg(position));
        *target = values.at(position++);
    }
}

void write(const QString& path, const QStringList& values)
{
    QString line;
    for (const QString& value : values)
        line += value + QLatin1Char(',');
    QStringEncoder big5("Big5");
    QByteArray bytes = big5.encode(line);
    if (big5.hasError())
        throw SettingsFileError(QStringLiteral("'%1' holds characters that Big5 cannot store").arg(line));
    bytes += "\r\n";
    // The files hold passwords in plain text, so only their owner may read them. The new file
    // gets its mode before anything is written to it and replaces the old one whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(bytes) != bytes.size() || !file.commit())
        throw SettingsFileError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

} // namespace SettingsLine
