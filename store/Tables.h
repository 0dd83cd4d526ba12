#pragma once

#include "FieldDef.h"

// The columns that the screens declare on the five tables, with their types, widths and
// display labels, in the order of each table.
namespace Tables {

FieldDefs employee();   // all 51 columns
FieldDefs clock();      // all 17 columns
FieldDefs presSys();    // all 11 columns
FieldDefs preOver();    // all 12 columns
FieldDefs ptemp();      // P01, P02, P03, P04, P00: the export reads the first four by position

// The named columns of a table's definitions, in the order given.
FieldDefs only(const FieldDefs& table, const QStringList& names);

} // namespace Tables
