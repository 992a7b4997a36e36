// A second program purging from the same folder: tst_commands starts two of
// these at once. Each waits for the file GO to appear, so both start together,
// then purges the URL lines of URLS from SERVER, ROUNDS times in a row.
//
//   purgeloop FOLDER SERVER URLS ROUNDS GO
#include "commands/actions/purge.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6)
        qFatal("usage: purgeloop FOLDER SERVER URLS ROUNDS GO");
    QFile urls(args.at(3));
    if (!urls.open(QIODevice::ReadOnly))
        qFatal("cannot read the URLs");
    const QString text = QString::fromUtf8(urls.readAll());
    while (!QFile::exists(args.at(5)))
        QThread::usleep(200);
    for (int round = args.at(4).toInt(); round > 0; --round)
        Purge::run(AppFolder(args.at(1)), args.at(2), text);
    return 0;
}
