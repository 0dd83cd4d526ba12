#pragma once

#include <QString>

class Connection;

// Opens the database that the program works on, for the commands that run in its working
// directory: the one link.txt names or, without link.txt, the default file, as the program
// goes on with it after saying "File not found". Returns what was opened, in words; raises
// SettingsFileError for a link.txt it cannot read and DatabaseError when opening fails.
QString openWorkingDatabase(Connection& connection);
