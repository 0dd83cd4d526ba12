#pragma once

#include <QFont>

// The screens ask for 新細明體; where it is not installed, Qt falls back to the installed
// Traditional Chinese fonts named here.
void addChineseFontFallbacks();

// 新細明體 at the given pixel size.
QFont chineseFont(int pixelSize);
