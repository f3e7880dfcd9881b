// The record files: where they are, their exact bytes, and how bad files,
// unusable folders and crashes mid-save are survived.

#include "fakeplatform.h"
#include "records/recordstore.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <sys/stat.h>
#include <chrono>
#include <thread>

using namespace segni;
using namespace segni::records;
using namespace segni::testing;


class RecordsTest : public QObject
{
    Q_OBJECT
private slots:
    void folderGetsOneTrailingSeparator_data();
    void folderGetsOneTrailingSeparator();
    void recordFolderFollowsXdgDataHome();
    void firstRunCreatesBothFilesEmpty();
    void existingFilesAreLeftUntouched();
    void savedRecordHasExactBytes_data();
    void savedRecordHasExactBytes();
    void startupReadsBackExactlyWhatASaveWrote_data();
    void startupReadsBackExactlyWhatASaveWrote();
    void windowsFileInAnsiKeepsItsAccents();
    void oddFileContentsNeverBreakStartup_data();
    void oddFileContentsNeverBreakStartup();
    void unusableFolderIsReportedAndTheGameGoesOn_data();
    void unusableFolderIsReportedAndTheGameGoesOn();
    void failedSaveIsReportedNotConfirmed();
    void interruptedSaveLeavesThePreviousRecordWhole();
    void saveWaitsForAnotherCopysLock();
};

void RecordsTest::folderGetsOneTrailingSeparator_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("scorePath");
    QTest::newRow("without separator") << "/home/anna/.local/share/segni"
                                       << "/home/anna/.local/share/segni/marvo.txt";
    QTest::newRow("with separator") << "/tmp/" << "/tmp/marvo.txt";
    QTest::newRow("root") << "/" << "/marvo.txt";
}

void RecordsTest::folderGetsOneTrailingSeparator()
{
    QFETCH(QString, folder);
    QFETCH(QString, scorePath);
    QCOMPARE(withTrailingSeparator(folder) + scoreFileName(), scorePath);
}

void RecordsTest::recordFolderFollowsXdgDataHome()
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    QCOMPARE(systemRecordFolder(), home.path() + QStringLiteral("/segni"));
}

void RecordsTest::firstRunCreatesBothFilesEmpty()
{
    Game game;
    QVERIFY(!QFile::exists(game.platform.folder));
    game.load();
    QCOMPARE(bytesOf(game.scoreFile()), QByteArray());
    QCOMPARE(bytesOf(game.holderFile()), QByteArray());
    QCOMPARE(game.w().lblpunti->caption(), QString());
    QCOMPARE(game.w().lblnome->caption(), QString());
    QVERIFY(game.platform.messageTexts().isEmpty());
}

void RecordsTest::existingFilesAreLeftUntouched()
{
    Game game;
    QDir().mkpath(game.platform.folder);
    QVERIFY(writeBytes(game.scoreFile(), "7\r\n"));
    QVERIFY(writeBytes(game.holderFile(), "Bruno\r\n"));
    game.load();
    QCOMPARE(bytesOf(game.scoreFile()), QByteArray("7\r\n"));
    QCOMPARE(game.w().lblpunti->caption(), QStringLiteral("7\r\n"));
    QCOMPARE(game.w().lblnome->caption(), QStringLiteral("Bruno\r\n"));
}

void RecordsTest::savedRecordHasExactBytes_data()
{
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QByteArray>("scoreBytes");
    QTest::addColumn<QByteArray>("holderBytes");
    QTest::newRow("12 by Anna") << "12" << "Anna" << QByteArray("12\r\n") << QByteArray("Anna\r\n");
    QTest::newRow("empty name") << "3" << "" << QByteArray("3\r\n") << QByteArray("\r\n");
    QTest::newRow("accented name in UTF-8") << "5" << QStringLiteral("Niccolò")
                                            << QByteArray("5\r\n")
                                            << QByteArray("Niccol\xc3\xb2\r\n");
}

void RecordsTest::savedRecordHasExactBytes()
{
    QFETCH(QString, score);
    QFETCH(QString, holder);
    QFETCH(QByteArray, scoreBytes);
    QFETCH(QByteArray, holderBytes);
    QTemporaryDir dir;
    const QString cartella = withTrailingSeparator(dir.path());
    QVERIFY(!saveRecord(cartella, score, holder));
    QCOMPARE(bytesOf(cartella + scoreFileName()), scoreBytes);
    QCOMPARE(bytesOf(cartella + holderFileName()), holderBytes);
    // Nothing else is left behind in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void RecordsTest::startupReadsBackExactlyWhatASaveWrote_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("Anna");
    QTest::newRow("accented") << QStringLiteral("Niccolò è già qui");
    QTest::newRow("non-Latin") << QStringLiteral("Анна 李明");
    QTest::newRow("emoji") << QString::fromUtf8("Leo \xF0\x9F\xA6\x81");
    QTest::newRow("empty") << QString();
    QTest::newRow("longest name the prompt takes, all emoji")
        << QString::fromUtf8("\xF0\x9F\xA6\x81").repeated(32767 / 2);
}

void RecordsTest::startupReadsBackExactlyWhatASaveWrote()
{
    QFETCH(QString, name);
    Game game;
    game.load();
    QVERIFY(!saveRecord(game.tavola->cartella, QStringLiteral("9"), name));
    Game next;
    next.platform.folder = game.platform.folder;
    next.load();
    QCOMPARE(next.w().lblnome->caption(), name + QStringLiteral("\r\n"));
    QCOMPARE(next.w().lblpunti->caption(), QStringLiteral("9\r\n"));
}

void RecordsTest::windowsFileInAnsiKeepsItsAccents()
{
    QCOMPARE(decodeFile("Niccol\xf2 \x80\r\n"), QStringLiteral("Niccolò €\r\n"));
}

void RecordsTest::oddFileContentsNeverBreakStartup_data()
{
    QTest::addColumn<QByteArray>("score");
    QTest::addColumn<double>("record");
    QTest::newRow("not a number") << QByteArray("dodici\r\n") << 0.0;
    QTest::newRow("no line end") << QByteArray("15") << 15.0;
    QTest::newRow("NUL bytes") << QByteArray("\0\0\x01\xff", 4) << 0.0;
    QTest::newRow("binary noise") << QByteArray("\x89PNG\r\n\x1a\n") << 0.0;
    QTest::newRow("megabytes of digits") << QByteArray(3 * 1024 * 1024, '9') << 0.0;
    QTest::newRow("hand-edited exponent") << QByteArray("1e3\r\n") << 1.0;
}

void RecordsTest::oddFileContentsNeverBreakStartup()
{
    QFETCH(QByteArray, score);
    QFETCH(double, record);
    Game game;
    QDir().mkpath(game.platform.folder);
    QVERIFY(writeBytes(game.scoreFile(), score));
    QVERIFY(writeBytes(game.holderFile(), score));
    game.load();
    QVERIFY(game.platform.messageTexts().isEmpty());
    QCOMPARE(lenientNumber(game.w().lblpunti->caption()), record);
    QVERIFY(game.w().lblnome->caption().size() <= kMaxRecordFileBytes);
    // The question handler reads the record without failing.
    game.tavola->Form_Activate();
    QVERIFY(!game.platform.endedWith);
}

void RecordsTest::unusableFolderIsReportedAndTheGameGoesOn_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("named");
    // Root can write anywhere, so the folder is made unusable by a regular
    // file standing where a folder should be, or the other way round.
    QTest::newRow("folder below a regular file") << "blocker" << "blocker/segni" << "blocker/segni";
    QTest::newRow("a folder in place of the score file") << "" << "records" << "marvo.txt";
    QTest::newRow("a named pipe in place of the holder file") << "fifo" << "records"
                                                              << "nmarvo.txt";
}

void RecordsTest::unusableFolderIsReportedAndTheGameGoesOn()
{
    QFETCH(QString, blocker);
    QFETCH(QString, folder);
    QFETCH(QString, named);
    Game game;
    if (blocker == QLatin1String("fifo")) {
        // Opening a pipe with nobody at the other end would hang the game.
        QDir().mkpath(game.dir.path() + QStringLiteral("/records"));
        QCOMPARE(::mkfifo(QFile::encodeName(game.dir.path() + QStringLiteral("/records/nmarvo.txt")),
                          0600),
                 0);
    } else if (!blocker.isEmpty()) {
        QVERIFY(writeBytes(game.dir.path() + QLatin1Char('/') + blocker, "x"));
    } else {
        QDir().mkpath(game.dir.path() + QStringLiteral("/records/marvo.txt"));
    }
    game.platform.folder = game.dir.path() + QLatin1Char('/') + folder;
    game.load();
    const QStringList texts = game.platform.messageTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.first().contains(named), qPrintable(texts.first()));
    QVERIFY(!game.platform.endedWith);
    QCOMPARE(game.w().lblpunti->caption(), QStringLiteral("0"));
    QCOMPARE(game.w().lblnome->caption(), QString());
    QCOMPARE(game.w().lblconto->caption(), QStringLiteral("00:15:00"));
    QCOMPARE(game.w().lblScore->caption(), QStringLiteral("0"));
    // The game plays on.
    game.tavola->Form_Activate();
    QVERIFY(!game.w().lblNum1->caption().isEmpty());
}

void RecordsTest::failedSaveIsReportedNotConfirmed()
{
    Game game;
    game.start(drawsFor(1, 1, 1, 0));
    game.answer(QStringLiteral("-1"));
    // The record folder turns into a file behind the game's back.
    QDir(game.platform.folder).removeRecursively();
    QVERIFY(writeBytes(game.platform.folder, "not a folder"));
    game.platform.calls.clear();
    game.tavola->cmdExit_Click();
    const QStringList texts = game.platform.messageTexts();
    QCOMPARE(texts.size(), 2); // goodbye, then the failure
    QVERIFY(!texts[1].contains(QStringLiteral("C A M P I O N E")));
    QVERIFY2(texts[1].contains(QStringLiteral("marvo.txt")) || texts[1].contains(game.platform.folder),
             qPrintable(texts[1]));
    QCOMPARE(game.platform.endedWith, std::optional<int>(0));
}

void RecordsTest::interruptedSaveLeavesThePreviousRecordWhole()
{
    QTemporaryDir dir;
    const QString cartella = withTrailingSeparator(dir.path());
    QVERIFY(!saveRecord(cartella, QStringLiteral("12"), QStringLiteral("Anna")));
    {
        // A save that dies before it completes: the temporary copy is
        // written but never put in place.
        QSaveFile torn(cartella + scoreFileName());
        QVERIFY(torn.open(QIODevice::WriteOnly));
        torn.write("9");
        torn.cancelWriting();
    }
    QCOMPARE(bytesOf(cartella + scoreFileName()), QByteArray("12\r\n"));
    QCOMPARE(bytesOf(cartella + holderFileName()), QByteArray("Anna\r\n"));
}

void RecordsTest::saveWaitsForAnotherCopysLock()
{
    QTemporaryDir dir;
    const QString cartella = withTrailingSeparator(dir.path());
    // Another copy of the game holds the lock while it saves its pair.
    QLockFile other(cartella + QStringLiteral("segni.lock"));
    QVERIFY(other.tryLock());
    std::atomic<bool> otherDone{false};
    std::thread otherCopy([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        writeBytes(cartella + scoreFileName(), "20\r\n");
        writeBytes(cartella + holderFileName(), "Bruno\r\n");
        otherDone = true;
        other.unlock();
    });
    const std::optional<FileError> result
        = saveRecord(cartella, QStringLiteral("3"), QStringLiteral("Ugo"));
    otherCopy.join();
    QVERIFY(!result);
    // Our save waited for the other pair to be complete, then wrote its own
    // whole: the last to save wins, and score and name stay together.
    QVERIFY(otherDone);
    QCOMPARE(bytesOf(cartella + scoreFileName()), QByteArray("3\r\n"));
    QCOMPARE(bytesOf(cartella + holderFileName()), QByteArray("Ugo\r\n"));
}

QTEST_MAIN(RecordsTest)
#include "tst_records.moc"
