// Text files, the split rule, the application folder and the server list.
#include "storage/appfolder.h"
#include "storage/fileerror.h"
#include "storage/linesplit.h"
#include "storage/serverlist.h"
#include "storage/textfile.h"

#include "filebytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestStorage : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup()
    {
        // Every test starts in an empty folder.
        QDir dir(m_dir.path());
        dir.removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void splitLines_data();
    void splitLines();
    void missingFileText();
    void fileExist_data();
    void fileExist();
    void fileContentGivesBytesBack_data();
    void fileContentGivesBytesBack();
    void writeContentLineAppends();
    void writeContentLineFailures_data();
    void writeContentLineFailures();
    void appFolderJoins_data();
    void appFolderJoins();
    void serverListLoad_data();
    void serverListLoad();
    void serverListAdds();
    void serverListOfTenThousand();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestStorage::splitLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("empty text gives no pieces") << QString() << QStringList();
    QTest::newRow("no separator") << "a" << QStringList{"a"};
    QTest::newRow("trailing CR LF gives empty last piece") << "a\r\n" << QStringList{"a", ""};
    QTest::newRow("only CR LF") << "\r\n" << QStringList{"", ""};
    QTest::newRow("empty piece inside") << "a\r\n\r\nb" << QStringList{"a", "", "b"};
    QTest::newRow("LF alone is no separator") << "a\nb\n" << QStringList{"a\nb\n"};
    QTest::newRow("CR alone is no separator") << "a\rb" << QStringList{"a\rb"};
    QTest::newRow("LF CR is no separator") << "a\n\rb" << QStringList{"a\n\rb"};
    QTest::newRow("blanks are kept") << " a \r\n b" << QStringList{" a ", " b"};
}

void TestStorage::splitLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pieces);
    QCOMPARE(SplitLines(text), pieces);
}

void TestStorage::missingFileText()
{
    const QString text = TextFile::missingFileText();
    QCOMPARE(text.size(), 7);
    QCOMPARE(text, QString::fromUtf8("文件不存在") + QString(2, QChar(0xFF01)));
}

void TestStorage::fileExist_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("create"); // "file", "dir", "hidden", "readonly", "none"
    QTest::addColumn<bool>("exists");
    QTest::newRow("empty name") << ""
                                << "none" << false;
    QTest::newRow("missing file") << "nothing.txt"
                                  << "none" << false;
    QTest::newRow("plain file") << "a.txt"
                                << "file" << true;
    QTest::newRow("hidden file") << ".hidden"
                                 << "hidden" << true;
    QTest::newRow("read-only file") << "ro.txt"
                                    << "readonly" << true;
    QTest::newRow("directory") << "sub"
                               << "dir" << false;
    QTest::newRow("name with trailing blank") << "info.txt "
                                              << "file" << true;
}

void TestStorage::fileExist()
{
    QFETCH(QString, name);
    QFETCH(QString, create);
    QFETCH(bool, exists);
    const QString full = name.isEmpty() ? QString() : path(name);
    if (create == "dir") {
        QVERIFY(QDir().mkpath(full));
    } else if (create != "none") {
        QVERIFY(FileBytes::write(full, "x"));
        if (create == "readonly")
            QFile::setPermissions(full, QFileDevice::ReadOwner);
    }
    QCOMPARE(TextFile::FileExist(full), exists);
    const QString content = TextFile::FileContent(full);
    if (exists)
        QCOMPARE(content, QStringLiteral("x"));
    else
        QCOMPARE(content, TextFile::missingFileText());
}

void TestStorage::fileContentGivesBytesBack_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty file is empty text, not missing") << QByteArray() << QString();
    QTest::newRow("line ends kept") << QByteArray("a\r\nb\nc\r") << "a\r\nb\nc\r";
    QTest::newRow("no trimming") << QByteArray("  x  \r\n\r\n") << "  x  \r\n\r\n";
    QTest::newRow("local 8-bit text") << QString::fromUtf8("服务器\r\n").toLocal8Bit()
                                      << QString::fromUtf8("服务器\r\n");
}

void TestStorage::fileContentGivesBytesBack()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QVERIFY(FileBytes::write(path("f.txt"), bytes));
    QCOMPARE(TextFile::FileContent(path("f.txt")), text);
}

void TestStorage::writeContentLineAppends()
{
    const QString file = path("new.txt");
    QVERIFY(TextFile::WriteContentLine(QStringLiteral("first"), file)); // creates it
    QVERIFY(TextFile::WriteContentLine(QString(), file));               // bare CR LF
    QVERIFY(TextFile::WriteContentLine(QString::fromUtf8("  中 "), file));
    const QByteArray expected = QByteArray("first\r\n\r\n") + QString::fromUtf8("  中 ").toLocal8Bit() + "\r\n";
    QCOMPARE(FileBytes::read(file), expected);
    QCOMPARE(TextFile::FileContent(file), QString::fromLocal8Bit(expected));
}

void TestStorage::writeContentLineFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("path is a directory") << "adir";
    QTest::newRow("folder does not exist") << "no/such/folder/x.txt";
    QTest::newRow("empty path") << "";
}

void TestStorage::writeContentLineFailures()
{
    QFETCH(QString, name);
    QVERIFY(QDir().mkpath(path("adir")));
    const QString full = name.isEmpty() ? QString() : path(name);
    try {
        TextFile::WriteContentLine(QStringLiteral("x"), full);
        QFAIL("a failing write must not report success");
    } catch (const FileError &error) {
        QCOMPARE(error.path(), full);
        QVERIFY(!error.systemText().isEmpty());
        QVERIFY(error.message().contains(full));
    }
}

void TestStorage::appFolderJoins_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("joined");
    QTest::newRow("plain folder") << "/opt/quellory"
                                  << "/opt/quellory/serverlist.txt";
    QTest::newRow("trailing separator dropped") << "/opt/quellory/"
                                                << "/opt/quellory/serverlist.txt";
    QTest::newRow("root keeps its separator") << "/"
                                              << "//serverlist.txt";
    QTest::newRow("blanks kept") << "/opt/my tools"
                                 << "/opt/my tools/serverlist.txt";
}

void TestStorage::appFolderJoins()
{
    QFETCH(QString, folder);
    QFETCH(QString, joined);
    QCOMPARE(AppFolder(folder).file(QStringLiteral("serverlist.txt")), QDir::toNativeSeparators(joined));
}

void TestStorage::serverListLoad_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("no file") << false << QByteArray() << QStringList{TextFile::missingFileText()};
    QTest::newRow("empty file") << true << QByteArray() << QStringList();
    QTest::newRow("written by the program") << true << QByteArray("a\r\nb\r\n") << QStringList{"a", "b", ""};
    QTest::newRow("no line end") << true << QByteArray("127.0.0.5") << QStringList{"127.0.0.5"};
    QTest::newRow("LF line ends stay in one item") << true << QByteArray("a\nb\n") << QStringList{"a\nb\n"};
    QTest::newRow("blank lines are items") << true << QByteArray("\r\n\r\nx\r\n") << QStringList{"", "", "x", ""};
}

void TestStorage::serverListLoad()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, items);
    const ServerList list{AppFolder(m_dir.path())};
    if (present)
        QVERIFY(FileBytes::write(list.filePath(), bytes));
    QCOMPARE(list.load(), items);
}

void TestStorage::serverListAdds()
{
    const ServerList list{AppFolder(m_dir.path())};
    list.add(QStringLiteral("b"));
    QCOMPARE(list.load(), (QStringList{"b", ""}));
    list.add(QStringLiteral("b"));
    list.add(QString());
    list.add(QStringLiteral(" c d "));
    QCOMPARE(list.load(), (QStringList{"b", "b", "", " c d ", ""}));
    QCOMPARE(FileBytes::read(list.filePath()), QByteArray("b\r\nb\r\n\r\n c d \r\n"));
}

void TestStorage::serverListOfTenThousand()
{
    QByteArray bytes;
    for (int i = 0; i < 10000; ++i)
        bytes += "cache" + QByteArray::number(i) + ".example.net\r\n";
    const ServerList list{AppFolder(m_dir.path())};
    QVERIFY(FileBytes::write(list.filePath(), bytes));
    const QStringList items = list.load();
    QCOMPARE(items.size(), 10001);
    QCOMPARE(items.at(9999), QStringLiteral("cache9999.example.net"));
}

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"
