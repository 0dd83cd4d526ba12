#pragma once

#include <QString>
#include <QStringList>

#include <initializer_list>

// The one-line format of the settings files link.txt and ftp.txt: every value, the last one
// included, is followed by a comma, and the line ends with CR LF. The files are Big5 text, as
// the program has always written them.
namespace SettingsLine {

// The line cut after every comma, each piece less its last character; text after the last
// comma is one more piece, which thus loses its own last character.
QStringList values(const QString& line);

// The first line of the file, without its line break. Throws SettingsFileError "File not found".
QString readFirstLine(const QString& path);

// Gives the values to the targets in order. At the first target without a value it throws
// "List index out of bounds (%d)" with that position counted from 0; earlier targets keep
// what they were given.
void assign(const QStringList& values, std::initializer_list<QString*> targets);

// Replaces the file with one line of the values, each followed by a comma, ended by CR LF,
// readable and writable by its owner only (mode 0600). A value that Big5 cannot hold is
// refused before anything is written.
void write(const QString& path, const QStringList& values);

} // namespace SettingsLine
