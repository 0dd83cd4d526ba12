#pragma once

#include <QList>
#include <QString>

// The key=value; pairs of an OLE DB connection string. Keys compare without regard to case;
// a value may be enclosed in double quotes (a doubled quote inside stands for one).
class ConnectionString {
public:
    static ConnectionString parse(const QString& text);

    bool contains(const QString& key) const;
    QString value(const QString& key) const;

private:
    struct Pair {
        QString key;
        QString value;
    };
    QList<Pair> pairs_;
};
