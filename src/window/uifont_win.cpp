#include "window/uifont.h"

#include <QApplication>
#include <QFont>
#include <QFontInfo>

#include <windows.h>

namespace {
// The first of `wanted` that is a font of its own. Qt lists the names Windows
// only substitutes (Arial, MS Shell Dlg, ...) as families too; such a name
// resolves to another family when its font is missing.
QString firstInstalled(const QStringList &wanted)
{
    for (const QString &family : wanted) {
        if (!family.isEmpty() && QFontInfo(QFont(family)).family().compare(family, Qt::CaseInsensitive) == 0)
            return family;
    }
    return QString();
}
} // namespace

void UiFont::install()
{
    QStringList wanted;
    qreal pointSize = 0;
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        wanted.append(QString::fromWCharArray(metrics.lfMessageFont.lfFaceName));
        // lfHeight is in pixels at the system's 96 dpi base, negative for the
        // character height, which is what point sizes measure.
        if (metrics.lfMessageFont.lfHeight < 0)
            pointSize = -metrics.lfMessageFont.lfHeight * 72.0 / 96.0;
    }
    // Windows' own dialog fonts first, then ordinary ones a Linux font folder
    // under wine may hold; all have a baseline where their metrics say.
    wanted << QStringLiteral("Microsoft YaHei UI") << QStringLiteral("Segoe UI") << QStringLiteral("Tahoma")
           << QStringLiteral("SimSun") << QStringLiteral("Arial") << QStringLiteral("DejaVu Sans")
           << QStringLiteral("Noto Sans CJK SC");
    const QString family = firstInstalled(wanted);
    if (family.isEmpty())
        return;
    QFont font = QApplication::font();
    font.setFamilies({family});
    if (pointSize > 0)
        font.setPointSizeF(pointSize);
    QApplication::setFont(font);
}
