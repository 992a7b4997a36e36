#include "storage/appfolder.h"
#include "window/cachewindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quellory"));

    // Everything the program keeps lives beside the executable.
    CacheWindow window(AppFolder::ofExecutable());
    window.show();
    return app.exec();
}
