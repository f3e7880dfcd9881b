// The game on Windows: the record folder is the Windows directory where
// it takes new files, the record files are ANSI text with CR LF, an
// administrator's class folder is read from %ProgramData%, and one that
// cannot be used is reported once. Built and run only for Windows (under
// Wine here, where wine_game.sh also plays an account whose Windows
// directory takes no new file).

#include "fakeplatform.h"
#include "records/recordfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <qt_windows.h>

using namespace segni;
using namespace segni::records;
using namespace segni::testing;

namespace {

QString environment(const char *name)
{
    return QDir::toNativeSeparators(qEnvironmentVariable(name));
}

// Removes, at the end of a test, what it added to a system folder, and
// leaves whatever was there before untouched.
struct Cleanup
{
    QString folderMade;
    QString fileMade;
    ~Cleanup()
    {
        if (!fileMade.isEmpty())
            QFile::remove(fileMade);
        if (!folderMade.isEmpty())
            QDir().rmdir(folderMade);
    }
};

} // namespace

class WindowsTest : public QObject
{
    Q_OBJECT
private slots:
    void recordFolderIsTheWindowsDirectory();
    void pathsEndInOneBackslash_data();
    void pathsEndInOneBackslash();
    void recordFilesAreWindows1252OrUtf8WithCrLf_data();
    void recordFilesAreWindows1252OrUtf8WithCrLf();
    void classFolderComesFromProgramData_data();
    void classFolderComesFromProgramData();
    void missingClassFolderIsReportedOnce();
};

void WindowsTest::recordFolderIsTheWindowsDirectory()
{
    QVERIFY(!environment("windir").isEmpty());
    fs::Folder windows;
    QVERIFY(windows.open(environment("windir")).ok());
    if (!windows.takesNewFiles())
        QSKIP("this account may not make files in the Windows directory");
    QCOMPARE(systemRecordFolder().toLower(), environment("windir").toLower());
    // Asking leaves nothing behind.
    QVERIFY(QDir(environment("windir")).entryList({QStringLiteral(".segni-*")},
                                                  QDir::Files | QDir::Hidden | QDir::System)
                .isEmpty());
    const RecordPlace where = locateRecordFolder();
    if (!where.shared)
        QCOMPARE(where.where, withTrailingSeparator(systemRecordFolder()));
}

void WindowsTest::pathsEndInOneBackslash_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("scorePath");
    QTest::newRow("Windows directory") << "C:\\WINDOWS" << "C:\\WINDOWS\\marvo.txt";
    QTest::newRow("drive root") << "C:\\" << "C:\\marvo.txt";
    QTest::newRow("network share") << "\\\\server\\classe" << "\\\\server\\classe\\marvo.txt";
    QTest::newRow("forward slash kept") << "D:/Classe/" << "D:/Classe/marvo.txt";
}

void WindowsTest::pathsEndInOneBackslash()
{
    QFETCH(QString, folder);
    QFETCH(QString, scorePath);
    QCOMPARE(withTrailingSeparator(folder) + scoreFileName(), scorePath);
}

void WindowsTest::recordFilesAreWindows1252OrUtf8WithCrLf_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("holderBytes");
    QTest::newRow("plain") << "Anna" << QByteArray("Anna\r\n");
    QTest::newRow("Italian accents") << QStringLiteral("Niccolò è")
                                     << QByteArray("Niccol\xf2 \xe8\r\n");
    QTest::newRow("euro sign, Windows-1252 only") << QStringLiteral("€uro")
                                                  << QByteArray("\x80uro\r\n");
    QTest::newRow("empty") << "" << QByteArray("\r\n");
    // Whatever the system's code page: the same bytes a Linux copy writes.
    QTest::newRow("outside Windows-1252, in UTF-8") << QStringLiteral("Ștefan")
                                                    << QByteArray("\xc8\x98tefan\r\n");
}

void WindowsTest::recordFilesAreWindows1252OrUtf8WithCrLf()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, holderBytes);
    Game game;
    game.load();
    QVERIFY(saveToFolder(game.tavola->cartella, QStringLiteral("12"), name).saved());
    QCOMPARE(bytesOf(game.scoreFile()), QByteArray("12\r\n"));
    QCOMPARE(bytesOf(game.holderFile()), holderBytes);
    Game next;
    next.platform.folder = game.platform.folder;
    next.load();
    QCOMPARE(next.w().lblnome->caption(), name + QStringLiteral("\r\n"));
    QCOMPARE(next.w().lblpunti->caption(), QStringLiteral("12\r\n"));
}

void WindowsTest::classFolderComesFromProgramData_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("folder"); // empty: the setting cannot be used
    QTest::newRow("forward slashes") << QByteArray("folder=C:/Classe/segni") << "C:\\Classe\\segni\\";
    QTest::newRow("doubled backslashes, a share")
        << QByteArray("folder=\\\\\\\\server\\\\classe") << "\\\\server\\classe\\";
    QTest::newRow("single backslashes are escapes") << QByteArray("folder=C:\\Classe") << "";
}

void WindowsTest::classFolderComesFromProgramData()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, folder);
    const QString settingFile = environment("ProgramData") + QStringLiteral("\\segni\\segni.conf");
    QCOMPARE(classFolderSettingFile().toLower(), settingFile.toLower());
    if (QFile::exists(settingFile))
        QSKIP("this computer has a class folder setting of its own");
    Cleanup cleanup;
    const QString dir = QFileInfo(settingFile).path();
    if (!QFileInfo::exists(dir)) {
        if (!QDir().mkdir(dir))
            QSKIP("cannot write under %ProgramData%");
        cleanup.folderMade = dir;
    }
    cleanup.fileMade = settingFile;
    QVERIFY(writeBytes(settingFile, "[records]\r\n" + line + "\r\n"));
    const RecordPlace where = locateRecordFolder();
    QVERIFY(where.shared);
    QCOMPARE(QDir::toNativeSeparators(where.where), folder);
    QCOMPARE(bool(where.problem), folder.isEmpty());
}

void WindowsTest::missingClassFolderIsReportedOnce()
{
    Game game;
    game.platform.folder = game.dir.path() + QStringLiteral("/classe");
    game.platform.folderShared = true;
    game.load();
    const QStringList texts = game.platform.messageTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.first().contains(QStringLiteral("classe")), qPrintable(texts.first()));
    QVERIFY(!game.platform.endedWith);
    QVERIFY(!QFileInfo::exists(game.platform.folder));
    QCOMPARE(game.w().lblpunti->caption(), QStringLiteral("0"));
}

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
