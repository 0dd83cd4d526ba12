#include "ChineseFont.h"

#include <QStringList>

namespace {
const QString mingLiU = QStringLiteral("新細明體");
}

void addChineseFontFallbacks()
{
    QFont::insertSubstitutions(mingLiU, {QStringLiteral("PMingLiU"), QStringLiteral("AR PL UMing TW"),
                                         QStringLiteral("Noto Sans CJK TC"), QStringLiteral("Noto Serif CJK TC")});
}

QFont chineseFont(int pixelSize)
{
    QFont font(mingLiU);
    font.setPixelSize(pixelSize);
    return font;
}
