#include "commands/scriptlines/cacheclient.h"
#include "outputbox/widget/outputboxaccessible.h"
#include "storage/actionerror.h"
#include "storage/appfolder.h"
#include "window/cachewindow.h"
#include "window/uifont.h"
#include "window/uilanguage.h"

#include <QApplication>
#include <QMessageBox>

#include <csignal>
#include <optional>

int main(int argc, char *argv[])
{
#ifdef SIGXFSZ
    // A file that reaches the size limit set for this user fails its write, which
    // is reported; the default action would end the program instead.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quellory"));
    UiLanguage::install(&app);
    UiFont::install();
    // A screen reader reads the output box as the text field it is.
    OutputBoxAccessible::install();

    // Everything the program keeps lives beside the executable; without that
    // folder there is nothing it may touch.
    std::optional<AppFolder> folder;
    try {
        folder = AppFolder::ofExecutable();
    } catch (const ActionError &error) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Quellory"), error.message(), QMessageBox::Ok);
        box.setObjectName(QStringLiteral("failureBox"));
        box.exec();
        return 1;
    }

    // A folder that others may write is said at once; the window still opens,
    // and refuses each action until the folder is the operator's alone.
    try {
        CacheClient::checkFolder(*folder);
    } catch (const ActionError &error) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Quellory"), error.message(), QMessageBox::Ok);
        box.setObjectName(QStringLiteral("failureBox"));
        box.exec();
    }

    CacheWindow window(*folder);
    window.show();
    return app.exec();
}
