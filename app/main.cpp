#include "ChineseFont.h"
#include "TClock2.h"
#include "TDataModule1.h"
#include "TfrmSetup.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    addChineseFontFallbacks();

    TDataModule1 DataModule1(&TfrmSetup::showFor);
    TClock2 Clock2(DataModule1.CUSConnection1);
    Clock2.show();
    // New settings were saved by the setup dialog: they take effect at the next start.
    if (DataModule1.endRequested())
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
