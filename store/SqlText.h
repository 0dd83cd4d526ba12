#pragma once

#include <QString>

// Makes a value safe to stand between the single quotes of a SQL text literal: every quote in
// it is doubled, as standard SQL reads it, so the value can never end the literal early.
inline QString sqlQuoted(const QString& value)
{
    QString safe = value;
    safe.replace(QLatin1Char('\''), QStringLiteral("''"));
    safe.remove(QChar(u'\0'));
    return safe;
}
