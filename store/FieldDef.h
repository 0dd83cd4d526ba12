#pragma once

#include <QList>
#include <QString>

enum class FieldType { Text, Integer, Float, Boolean };

// A column that a query declares: opening checks that the result has it with a fitting type.
struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    int width = 50; // the longest text a Text field takes
    QString label;  // display label, a grid's column title
};

inline FieldDef textField(const QString& name, int width = 50, const QString& label = {})
{
    return {name, FieldType::Text, width, label};
}
inline FieldDef integerField(const QString& name, const QString& label = {})
{
    return {name, FieldType::Integer, 0, label};
}
inline FieldDef floatField(const QString& name, const QString& label = {})
{
    return {name, FieldType::Float, 0, label};
}
inline FieldDef booleanField(const QString& name, const QString& label = {})
{
    return {name, FieldType::Boolean, 0, label};
}

using FieldDefs = QList<FieldDef>;
