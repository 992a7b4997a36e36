#include "window/uilanguage.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace {
// Qt's own texts that this window shows: the buttons of its message boxes and the
// context menus of its text boxes. They are translated with ours, so the window
// speaks one language without Qt's translation files beside the program.
[[maybe_unused]] const char *const kQtTexts[] = {
        QT_TRANSLATE_NOOP("QPlatformTheme", "OK"), QT_TRANSLATE_NOOP("QLineEdit", "&Undo"),
        QT_TRANSLATE_NOOP("QLineEdit", "&Redo"),   QT_TRANSLATE_NOOP("QLineEdit", "Cu&t"),
        QT_TRANSLATE_NOOP("QLineEdit", "&Copy"),   QT_TRANSLATE_NOOP("QLineEdit", "&Paste"),
        QT_TRANSLATE_NOOP("QLineEdit", "Delete"),  QT_TRANSLATE_NOOP("QLineEdit", "Select All"),
};
} // namespace

bool UiLanguage::wantsChinese(const QStringList &uiLanguages)
{
    for (const QString &language : uiLanguages) {
        if (language.startsWith(QLatin1String("zh"), Qt::CaseInsensitive))
            return true;
        if (language.startsWith(QLatin1String("en"), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

void UiLanguage::install(QCoreApplication *app)
{
    if (!wantsChinese(QLocale::system().uiLanguages()))
        return;
    auto *translator = new QTranslator(app);
    if (translator->load(QStringLiteral(":/i18n/quellory_zh_CN.qm")))
        app->installTranslator(translator);
    else
        qWarning("the Chinese messages are missing from the program; they show in English");
}
