#include "TransferSettings.h"

#include "SettingsLine.h"

namespace {
const QString transferFile = QStringLiteral("./ftp.txt");
}

void ReadTransferSettings(TransferSettings& settings)
{
    SettingsLine::assign(SettingsLine::values(SettingsLine::readFirstLine(transferFile)),
                         {&settings.user, &settings.password, &settings.host, &settings.directory,
                          &settings.unit});
}

void WriteTransferSettings(const TransferSettings& settings)
{
    SettingsLine::write(transferFile, {settings.user, settings.password, settings.host,
                                       settings.directory, settings.unit});
}
