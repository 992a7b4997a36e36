// Text files, the split rule, the application folder and the server list.
#include "storage/actionerror.h"
#include "storage/appfolder.h"
#include "storage/encodinglist.h"
#include "storage/fileerror.h"
#include "storage/linesplit.h"
#include "storage/serverlist.h"
#include "storage/textfile.h"

#include "filebytes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    void writeContentLineEndsAnUnfinishedLine_data();
    void writeContentLineEndsAnUnfinishedLine();
    void writeCutShortLeavesTheFileAsItWas();
    void fullFileSystemLeavesTheFileAsItWas();
    void onlyOrdinaryFilesAreOpened_data();
    void onlyOrdinaryFilesAreOpened();
    void fileSwappedForAFifoNeverHangs();
    void fileHeldByAnother_data();
    void fileHeldByAnother();
    void writersAtOnceLoseNothing_data();
    void writersAtOnceLoseNothing();
    void readingStopsAtSizeAndLimit_data();
    void readingStopsAtSizeAndLimit();
    void fileShorterThanItsSizeIsNotCut();
    void appFolderMustBeAFolder_data();
    void appFolderMustBeAFolder();
    void appFolderJoins_data();
    void appFolderJoins();
    void serverListLoad_data();
    void serverListLoad();
    void serverListAdds();
    void serverListOfTenThousand();
    void encodingListLoad();

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
    // Large files are read in pieces of 1 MiB: the text is the same as that of
    // the whole file decoded at once, whatever falls on a piece's edge.
    const QByteArray wide = QString::fromUtf8("服").toLocal8Bit();
    const QByteArray across = QByteArray((1 << 20) - 1, 'a') + wide + "b";
    QTest::newRow("character across two pieces") << across << QString::fromLocal8Bit(across);
    const QByteArray many = wide.repeated(1 << 20);
    QTest::newRow("several pieces of wide text") << many << QString::fromLocal8Bit(many);
    const QByteArray bad("ok \xff\xfe ok");
    QTest::newRow("bad bytes") << bad << QString::fromLocal8Bit(bad);
    QTest::newRow("character cut off at the end") << QByteArray("ok \xe6\x9c") << QStringLiteral("ok \uFFFD");
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

void TestStorage::writeContentLineEndsAnUnfinishedLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("saved without a last line break") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("ends with CR LF") << QByteArray("a\r\n") << QByteArray("a\r\nc\r\n");
    QTest::newRow("ends with LF alone") << QByteArray("a\nb\n") << QByteArray("a\nb\nc\r\n");
    QTest::newRow("ends with a lone CR") << QByteArray("a\r") << QByteArray("a\r\r\nc\r\n");
    QTest::newRow("empty file") << QByteArray() << QByteArray("c\r\n");
}

void TestStorage::writeContentLineEndsAnUnfinishedLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    const QString file = path("serverlist.txt");
    QVERIFY(FileBytes::write(file, before));
    QVERIFY(TextFile::WriteContentLine(QStringLiteral("c"), file));
    QCOMPARE(FileBytes::read(file), after);
}

namespace {
// Lowers the limit on the size of files this process writes for as long as it
// lives; a write past it fails (EFBIG) after writing what fits, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};
} // namespace

void TestStorage::writeCutShortLeavesTheFileAsItWas()
{
    const QString file = path("serverlist.txt");
    const QByteArray before("10.0.0.1\r\n");
    QVERIFY(FileBytes::write(file, before));
    {
        // Room for "192.16" of the next line and no more.
        FileSizeLimit limit(before.size() + 6);
        try {
            TextFile::WriteContentLine(QStringLiteral("192.168.0.1"), file);
            QFAIL("a line cut short must not be reported as written");
        } catch (const FileError &error) {
            QCOMPARE(error.systemText(), QString::fromLocal8Bit(strerror(EFBIG)));
        }
    }
    QCOMPARE(FileBytes::read(file), before);
    QVERIFY(TextFile::WriteContentLine(QStringLiteral("10.9.9.9"), file));
    QCOMPARE(FileBytes::read(file), before + "10.9.9.9\r\n");
}

void TestStorage::fullFileSystemLeavesTheFileAsItWas()
{
    // Runs in a private mount namespace on a tmpfs of a few pages, so a full disk
    // is real and nothing outside the test sees it. The test binary runs itself
    // again in there, with the mounted folder in QUELLORY_SMALL_FS.
    const QString smallFs = qEnvironmentVariable("QUELLORY_SMALL_FS");
    if (smallFs.isEmpty()) {
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("unshare"),
                    {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("--mount"),
                     QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("mount -t tmpfs -o size=16k quellory \"$1\" && QUELLORY_SMALL_FS=\"$1\" "
                                    "exec \"$2\" fullFileSystemLeavesTheFileAsItWas"),
                     QStringLiteral("sh"), m_dir.path(), QCoreApplication::applicationFilePath()});
        QVERIFY(child.waitForFinished(-1));
        const QByteArray output = child.readAll();
        if (child.exitCode() != 0 && output.contains("unshare:")) {
            // Without user namespaces only root can make the file system.
            if (geteuid() == 0)
                QFAIL(output.constData());
            QSKIP(qPrintable(QStringLiteral("needs root or user namespaces: ") + QString::fromLocal8Bit(output)));
        }
        QVERIFY2(child.exitCode() == 0, output.constData());
        return;
    }

    const QString file = smallFs + QStringLiteral("/serverlist.txt");
    // Fill the file system to the last page, and that page but for 6 bytes.
    QByteArray before(4096 - 6 - 2, 'x');
    before += "\r\n";
    QVERIFY(FileBytes::write(file, before));
    QFile filler(smallFs + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'f')) > 0) { }
    filler.close();
    try {
        TextFile::WriteContentLine(QStringLiteral("192.168.0.1"), file);
        QFAIL("a line that does not fit must not be reported as written");
    } catch (const FileError &error) {
        QCOMPARE(error.systemText(), QString::fromLocal8Bit(strerror(ENOSPC)));
    }
    QCOMPARE(FileBytes::read(file), before);
    QVERIFY(QFile::remove(filler.fileName()));
    QVERIFY(TextFile::WriteContentLine(QStringLiteral("10.9.9.9"), file));
    QCOMPARE(FileBytes::read(file), before + "10.9.9.9\r\n");
}

void TestStorage::onlyOrdinaryFilesAreOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("link to an endless device") << "/dev/zero";
    QTest::newRow("link to a device that takes any write") << "/dev/null";
}

void TestStorage::onlyOrdinaryFilesAreOpened()
{
    QFETCH(QString, kind);
    const QString file = path("serverlist.txt");
    if (kind == QLatin1String("fifo"))
        QCOMPARE(mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    else
        QVERIFY(QFile::link(kind, file));
    QVERIFY(TextFile::FileExist(file)); // it is there, just not a file to use

    // Either call blocking or reading forever would hang the test here, until
    // its timeout.
    QVERIFY_THROWS_EXCEPTION(FileError, TextFile::FileContent(file));
    QVERIFY_THROWS_EXCEPTION(FileError, TextFile::WriteContentLine(QStringLiteral("x"), file));
}

void TestStorage::fileSwappedForAFifoNeverHangs()
{
    // Another process keeps putting a FIFO and a file in turn under the name; a
    // check of the name followed by an open of it would sooner or later open the
    // FIFO and wait for a writer that never comes.
    const QString file = path("serverlist.txt");
    const QByteArray fifo = QFile::encodeName(path("fifo"));
    const QByteArray plain = QFile::encodeName(path("plain"));
    const QByteArray name = QFile::encodeName(file);
    const pid_t swapper = fork();
    if (swapper == 0) {
        for (;;) {
            mkfifo(fifo.constData(), 0600);
            rename(fifo.constData(), name.constData());
            if (FILE *f = fopen(plain.constData(), "w")) {
                fputs("a\r\n", f);
                fclose(f);
            }
            rename(plain.constData(), name.constData());
        }
    }
    QVERIFY(swapper > 0);
    int refused = 0;
    int read = 0;
    // Many rounds, and until both kinds were met; a call that blocked would hang
    // the test here, until its timeout.
    for (int round = 0; round < 2000 || refused == 0 || read == 0; ++round) {
        try {
            const QString text = TextFile::FileContent(file);
            read += text == QStringLiteral("a\r\n");
            TextFile::WriteContentLine(QStringLiteral("b"), file);
        } catch (const FileError &) {
            ++refused;
        }
    }
    kill(swapper, SIGKILL);
    waitpid(swapper, nullptr, 0);
}

namespace {
int g_leased = -1;
void letGo(int)
{
    fcntl(g_leased, F_SETLEASE, F_UNLCK);
}
} // namespace

void TestStorage::fileHeldByAnother_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<bool>("added");
    // Anyone who may read the file can hold its lock: we give up after a while.
    QTest::newRow("lock held") << "lock" << false;
    // A lease (Samba's oplocks, an NFS delegation) makes the open answer "try
    // again" while it is broken: asked again until its holder lets go ...
    QTest::newRow("lease let go of") << "lease" << true;
    // ... or, when it never does, given up like the lock.
    QTest::newRow("lease kept") << "kept lease" << false;
}

void TestStorage::fileHeldByAnother()
{
    QFETCH(QString, holder);
    QFETCH(bool, added);
    const QString file = path("serverlist.txt");
    QVERIFY(FileBytes::write(file, "a\r\n"));
    int ready[2];
    QCOMPARE(pipe(ready), 0);
    const QByteArray name = QFile::encodeName(file);
    const pid_t child = fork();
    if (child == 0) {
        g_leased = ::open(name.constData(), O_RDONLY);
        bool held;
        if (holder == u"lock") {
            held = flock(g_leased, LOCK_SH) == 0;
        } else {
            signal(SIGIO, holder == u"lease" ? letGo : SIG_IGN);
            held = fcntl(g_leased, F_SETLEASE, F_RDLCK) == 0;
        }
        (void)!write(ready[1], held ? "y" : "n", 1);
        for (;;)
            pause();
    }
    QVERIFY(child > 0);
    char held = 0;
    QCOMPARE(read(ready[0], &held, 1), 1);
    close(ready[0]);
    close(ready[1]);
    bool appended = false;
    QString reason;
    if (held == 'y') {
        try {
            appended = TextFile::WriteContentLine(QStringLiteral("b"), file);
        } catch (const FileError &error) {
            reason = error.systemText();
        }
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    QVERIFY2(held == 'y', "the other process could not take hold of the file");
    QCOMPARE(appended, added);
    QCOMPARE(FileBytes::read(file), QByteArray(added ? "a\r\nb\r\n" : "a\r\n"));
    if (!added)
        QVERIFY2(reason.startsWith(QStringLiteral("Another program holds this file")), qPrintable(reason));
}

void TestStorage::writersAtOnceLoseNothing_data()
{
    QTest::addColumn<QString>("other");
    // Two copies of the program adding servers at the same moment.
    QTest::newRow("another copy of the program") << "program";
    // A writer that takes no lock but appends, like echo >> serverlist.txt.
    QTest::newRow("a plain appender") << "shell";
}

void TestStorage::writersAtOnceLoseNothing()
{
    QFETCH(QString, other);
    // Each append is flushed to the disk, so not too many.
    constexpr int kLines = 1000;
    const QString file = path("serverlist.txt");
    // Run as a writer: this binary, started again with the file and a name.
    if (qEnvironmentVariableIsSet("QUELLORY_WRITER")) {
        const QString writer = qEnvironmentVariable("QUELLORY_WRITER");
        const QString target = qEnvironmentVariable("QUELLORY_WRITER_FILE");
        for (int i = 0; i < kLines; ++i)
            TextFile::WriteContentLine(writer + QLatin1Char('-') + QString::number(i), target);
        return;
    }
    const auto program = [&](const QString &name) {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUELLORY_WRITER"), name);
        env.insert(QStringLiteral("QUELLORY_WRITER_FILE"), file);
        p->setProcessEnvironment(env);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("writersAtOnceLoseNothing:another copy of the program")});
        return p;
    };
    QList<QProcess *> writers{program(QStringLiteral("A"))};
    if (other == QLatin1String("program")) {
        writers.append(program(QStringLiteral("B")));
    } else {
        auto *shell = new QProcess(this);
        shell->start(
                QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("i=0; while [ $i -lt %1 ]; do echo \"B-$i\" >> \"$0\"; i=$((i+1)); done").arg(kLines),
                 file});
        writers.append(shell);
    }
    for (QProcess *w : writers) {
        QVERIFY(w->waitForFinished(-1));
        QVERIFY2(w->exitCode() == 0, w->readAll().constData());
    }

    // Every line whole, once; each writer's in its own order.
    QSet<QByteArray> seen;
    QHash<char, int> next{{'A', 0}, {'B', 0}};
    const QList<QByteArray> lines = FileBytes::read(file).split('\n');
    QCOMPARE(lines.last(), QByteArray());
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray line = lines.at(i).endsWith('\r') ? lines.at(i).chopped(1) : lines.at(i);
        const char who = line.isEmpty() ? '?' : line.at(0);
        // A writer without a lock can be seen in the middle of its line, which
        // then gets a line break of ours after it: an empty line, nothing lost.
        if (line.isEmpty() && other == QLatin1String("shell"))
            continue;
        QVERIFY2(next.contains(who) && line == who + QByteArray("-") + QByteArray::number(next[who]), line.constData());
        ++next[who];
    }
    QCOMPARE(next['A'], kLines);
    QCOMPARE(next['B'], kLines);
}

void TestStorage::readingStopsAtSizeAndLimit_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("cut");
    QTest::newRow("under the limit") << qint64(100) << QByteArray("0123456789") << false;
    QTest::newRow("exactly at the limit") << qint64(13) << QByteArray("0123456789") << false;
    QTest::newRow("over the limit") << qint64(4) << QByteArray("0123") << true;
    QTest::newRow("limit of nothing") << qint64(0) << QByteArray() << true;
    // A character is never half shown: the cut one becomes the replacement mark.
    QTest::newRow("cut inside a character") << qint64(11) << QByteArray("0123456789\xef\xbf\xbd") << true;
}

void TestStorage::readingStopsAtSizeAndLimit()
{
    QFETCH(qint64, limit);
    QFETCH(QByteArray, expected);
    QFETCH(bool, cut);
    const QString file = path("info.txt ");
    QVERIFY(FileBytes::write(file, "0123456789\xe4\xb8\xad"));
    const TextFile::FilePart part = TextFile::FileContent(file, limit);
    QCOMPARE(part.text.toUtf8(), cut ? expected : expected + "\xe4\xb8\xad");
    QCOMPARE(part.bytes, qMin<qint64>(limit, 13));
    QCOMPARE(part.cut, cut);
}

void TestStorage::fileShorterThanItsSizeIsNotCut()
{
    // sysfs says a page for every file and holds less, as a result file does
    // that shrank while it was read: read whole, so not cut.
    const QString file = QStringLiteral("/sys/devices/system/cpu/online");
    QVERIFY2(QFileInfo(file).size() > 100, "no sysfs to read a file from that is shorter than its size");
    const TextFile::FilePart part = TextFile::FileContent(file, 1 << 20);
    QVERIFY(part.bytes > 0 && part.bytes < 100);
    QVERIFY(!part.cut);
}

void TestStorage::appFolderMustBeAFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("usable");
    QTest::newRow("its own folder") << "." << true;
    QTest::newRow("name could not be read") << "" << false;
    QTest::newRow("gone") << "gone" << false;
    QTest::newRow("a file") << "file" << false;
}

void TestStorage::appFolderMustBeAFolder()
{
    QFETCH(QString, name);
    QFETCH(bool, usable);
    QVERIFY(FileBytes::write(path("file"), "x"));
    const QString folder = name.isEmpty() ? QString() : path(name);
    try {
        QCOMPARE(AppFolder::usable(folder).file(QStringLiteral("x")), QDir::toNativeSeparators(path("./x")));
        QVERIFY(usable);
    } catch (const ActionError &error) {
        QVERIFY2(!usable, qPrintable(error.message()));
    }
    // Never a path that would put the files at the root.
    QVERIFY_THROWS_EXCEPTION(ActionError, AppFolder{QString()});
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

void TestStorage::encodingListLoad()
{
    // No file, or a folder in its place: the defaults. Blank lines are no values.
    const EncodingList list{AppFolder(m_dir.path())};
    QCOMPARE(list.load(), EncodingList::defaults());
    QVERIFY(QDir().mkdir(list.filePath()));
    QCOMPARE(list.load(), EncodingList::defaults());
    QVERIFY(QDir().rmdir(list.filePath()));
    QVERIFY(FileBytes::write(list.filePath(), "gzip\r\n\r\nbr, zstd\r\n"));
    QCOMPARE(list.load(), (QStringList{"gzip", "br, zstd"}));
    // Every value costs each URL two requests: 16 at most, blank lines aside.
    QVERIFY(FileBytes::write(list.filePath(), "v\r\n\r\n" + QByteArray("v\r\n").repeated(15)));
    QCOMPARE(list.load().size(), 16);
    QVERIFY(FileBytes::write(list.filePath(), QByteArray("v\r\n").repeated(17)));
    QVERIFY_THROWS_EXCEPTION(FileError, list.load());
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
