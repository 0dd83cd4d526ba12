#include "ConnectionString.h"

namespace {

// Reads a value starting at pos; pos ends on the ';' that closes it, or past the end.
QString readValue(const QString& text, qsizetype& pos)
{
    while (pos < text.size() && text.at(pos).isSpace())
        ++pos;
    if (pos < text.size() && text.at(pos) == QLatin1Char('"')) {
        QString quoted;
        ++pos;
        while (pos < text.size()) {
            const QChar ch = text.at(pos++);
            if (ch == QLatin1Char('"')) {
                if (pos < text.size() && text.at(pos) == QLatin1Char('"')) {
                    quoted += ch;
                    ++pos;
                    continue;
                }
                break;
            }
            quoted += ch;
        }
        while (pos < text.size() && text.at(pos) != QLatin1Char(';'))
            ++pos;
        return quoted;
    }
    const qsizetype end = text.indexOf(QLatin1Char(';'), pos);
    const qsizetype stop = end < 0 ? text.size() : end;
    QString plain = text.mid(pos, stop - pos).trimmed();
    pos = stop;
    return plain;
}

} // namespace

ConnectionString ConnectionString::parse(const QString& text)
{
    ConnectionString result;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype equals = text.indexOf(QLatin1Char('='), pos);
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'), pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // A piece without '=' (such as the empty piece of ";;") carries nothing.
            if (semicolon < 0)
                break;
            pos = semicolon + 1;
            continue;
        }
        const QString key = text.mid(pos, equals - pos).trimmed();
        pos = equals + 1;
        const QString value = readValue(text, pos);
        ++pos;
        if (key.isEmpty())
            continue;
        bool replaced = false;
        for (Pair& pair : result.pairs_) {
            if (pair.key.compare(key, Qt::CaseInsensitive) == 0) {
                pair.value = value;
                replaced = true;
            }
        }
        if (!replaced)
            result.pairs_.append({key, value});
    }
    return result;
}

bool ConnectionString::contains(const QString& key) const
{
    for (const Pair& pair : pairs_) {
        if (pair.key.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString ConnectionString::value(const QString& key) const
{
    for (const Pair& pair : pairs_) {
        if (pair.key.compare(key, Qt::CaseInsensitive) == 0)
            return pair.value;
    }
    return {};
}
