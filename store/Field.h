#pragma once

#include "FieldDef.h"

#include <QString>
#include <QVariant>

class RecordQuery;

// One declared field of a RecordQuery: reads and writes the query's current row.
class Field {
public:
    Field(RecordQuery& query, int index)
        : query_(&query)
        , index_(index)
    {
    }

    const FieldDef& definition() const;
    const QString& name() const { return definition().name; }

    QVariant value() const;
    bool isNull() const;
    QString asString() const; // empty for NULL or when there is no current row
    int asInteger() const;
    double asFloat() const;

    // Each setter needs the row in edit or insert mode and runs the field's validation first.
    void setAsString(const QString& text);
    void setAsInteger(int number);
    void setAsFloat(double number);

private:
    RecordQuery* query_;
    int index_;
};
