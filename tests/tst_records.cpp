// The record files: where they are, their exact bytes, and how bad files,
// unusable folders, crashes mid-save, other copies of the game and other
// accounts sharing the folder are survived.

#include "fakeplatform.h"
#include "records/recordfile.h"
#include "records/recordtext.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace segni;
using namespace segni::records;
using namespace segni::testing;

namespace {

const QString kSaved = QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E");
const QString kNotSaved = QStringLiteral("Non ho potuto registrare il tuo record");
// What a record folder holds once every save is settled.
const QStringList kSettled = {QStringLiteral("marvo.lock"), QStringLiteral("marvo.txt"),
                              QStringLiteral("nmarvo.txt")};

// An owner file naming a copy of the game on a host.
QByteArray ownerOf(const QByteArray &host, qint64 pid)
{
    return "segni-lock 1\n" + host + '\n' + QByteArray::number(pid)
        + "\n2026-12-09T08:00:00.000Z\n";
}
// No process has this id.
constexpr qint64 kGonePid = 999999999;

QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                      | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// The record folder this machine is set up with, as the program finds it.
void useMachineFolder(Game &game)
{
    const RecordPlace where = locateRecordFolder();
    game.platform.folder = where.where;
    game.platform.folderShared = where.shared;
    game.platform.folderProblem = where.problem;
}

// After start-up: `right` right answers, then Exit.
void answerRightAndExit(Game &game, int right)
{
    for (int i = 0; i < right; ++i) {
        game.platform.rng.draws = drawsFor(1, 1, 1, 0); // always -1
        game.tavola->cmdNext_Click();
        game.answer(QStringLiteral("-1"));
    }
    game.tavola->cmdExit_Click();
}

// One pupil's whole game in the machine's record folder.
void playAndExit(Game &game, const QString &name, int right)
{
    useMachineFolder(game);
    game.load(name);
    answerRightAndExit(game, right);
}

using Snapshot = QMap<QString, QByteArray>;
Snapshot snapshot(const QString &folder)
{
    Snapshot files;
    for (const QString &name : namesIn(folder)) {
        const QFileInfo info(folder + QLatin1Char('/') + name);
        files.insert(name, info.isSymLink() ? "<link to " + QFile::encodeName(info.symLinkTarget()) + '>'
                               : info.isDir()  ? QByteArray("<folder>")
                               : !info.isFile() ? QByteArray("<special>")
                                                : bytesOf(info.filePath()));
    }
    return files;
}
// An account of the machine, as the system sees it: no user need exist.
struct Account
{
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
};
constexpr gid_t kClass = 4242;
const Account kNobody{65534, 65534, {}};
const Account kUno{4001, 4001, {kClass}};
const Account kDue{4002, 4002, {kClass}};
const Account kTre{4003, 4003, {kClass}};

// Runs body as another account in a child process, with its own home and
// the system configuration folder given; the text is what went wrong
// there, empty when nothing did.
QString runAs(const Account &account, const QString &base, const std::function<QString()> &body)
{
    int out[2];
    if (::pipe(out) != 0)
        return QStringLiteral("no pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        QString problem;
        if (::setgroups(account.groups.size(), account.groups.data()) != 0
            || ::setresgid(account.gid, account.gid, account.gid) != 0
            || ::setresuid(account.uid, account.uid, account.uid) != 0) {
            problem = QStringLiteral("cannot become account %1").arg(account.uid);
        } else {
            ::umask(022);
            const QString home = base + QStringLiteral("/home-%1").arg(account.uid);
            qputenv("HOME", QFile::encodeName(home));
            qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/data")));
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
            qputenv("XDG_CONFIG_DIRS", QFile::encodeName(base + QStringLiteral("/etc")));
            problem = body();
        }
        const QByteArray bytes = problem.toUtf8();
        [[maybe_unused]] const ssize_t written = ::write(out[1], bytes.constData(), bytes.size());
        ::_exit(0);
    }
    ::close(out[1]);
    QByteArray said;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, n);
    ::close(out[0]);
    // A child that crashed, or that a sanitizer stopped, said nothing: that
    // is not "nothing went wrong".
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return QStringLiteral("the child was lost");
    if (WIFSIGNALED(status))
        return QString::fromUtf8(said) + QStringLiteral(" (the child died of signal %1)").arg(WTERMSIG(status));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QString::fromUtf8(said) + QStringLiteral(" (the child ended with %1)").arg(WEXITSTATUS(status));
    return QString::fromUtf8(said);
}

// A folder every account may look into, with a class folder set up as the
// administrator would: owned by the group, 2775.
struct Machine
{
    Machine()
    {
        ::chmod(QFile::encodeName(dir.path()), 0755);
        classFolder = dir.path() + QStringLiteral("/class");
        QDir().mkpath(classFolder);
        setUp(classFolder, 02775);
        QDir().mkpath(dir.path() + QStringLiteral("/etc/segni"));
        setting(QStringLiteral("[records]\nfolder=%1\n").arg(classFolder).toUtf8());
    }
    static void setUp(const QString &path, mode_t mode, uid_t owner = 0, gid_t group = kClass)
    {
        [[maybe_unused]] const int owned = ::chown(QFile::encodeName(path), owner, group);
        ::chmod(QFile::encodeName(path), mode);
    }
    void setting(const QByteArray &text)
    {
        writeBytes(dir.path() + QStringLiteral("/etc/segni/segni.conf"), text);
    }
    QString home(const Account &account) const
    {
        return dir.path() + QStringLiteral("/home-%1").arg(account.uid);
    }
    QString classFile(const QString &name) const { return classFolder + QLatin1Char('/') + name; }

    QTemporaryDir dir;
    QString classFolder;
};

#define SKIP_UNLESS_ROOT()                                                                       \
    if (::geteuid() != 0)                                                                        \
        QSKIP("playing other accounts needs root (CI runs as root): skipped");

#define EXPECT(condition, what)                                                                  \
    if (!(condition))                                                                            \
        return QStringLiteral(#condition ": ") + QString(what);

} // namespace

class RecordsTest : public QObject
{
    Q_OBJECT
private slots:
    void folderGetsOneTrailingSeparator_data();
    void folderGetsOneTrailingSeparator();
    void recordFolderIsTheOneTheAdministratorSet_data();
    void recordFolderIsTheOneTheAdministratorSet();
    void firstRunCreatesBothFilesEmpty();
    void existingFilesAreLeftUntouched();
    void savedRecordHasExactBytes_data();
    void savedRecordHasExactBytes();
    void startupReadsBackExactlyWhatASaveWrote_data();
    void startupReadsBackExactlyWhatASaveWrote();
    void windowsFileInAnsiKeepsItsAccents();
    void oddFileContentsNeverBreakStartup_data();
    void oddFileContentsNeverBreakStartup();
    void unusableFilesAreReportedNeverWrittenOver_data();
    void unusableFilesAreReportedNeverWrittenOver();
    void failedSaveIsReportedNotConfirmed_data();
    void failedSaveIsReportedNotConfirmed();
    void anotherCopysLockNeverFreezesTheGame_data();
    void anotherCopysLockNeverFreezesTheGame();
    void ownerFileTakenOverMeanwhileStaysItsNewHolders();
    void folderThatTakesNoNewFileStillTakesTheRecord_data();
    void folderThatTakesNoNewFileStillTakesTheRecord();
    void anUnfinishedSaveComesBeforeTheNextOne();
    void ownerFileOfACopyThatIsGoneIsTakenOver_data();
    void ownerFileOfACopyThatIsGoneIsTakenOver();
    void stickyClassFolderKeepsEveryPairWhole_data();
    void stickyClassFolderKeepsEveryPairWhole();
    void classFolderIsSharedByEveryAccountOfTheGroup();
    void classFolderThatCannotBeUsedIsReportedNeverSwapped_data();
    void classFolderThatCannotBeUsedIsReportedNeverSwapped();
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
    // One encoding on every system: Windows-1252 where the name fits, as the
    // files have always been written, else UTF-8.
    QTest::newRow("accented name, in Windows-1252") << "5" << QStringLiteral("Niccolò €")
                                                    << QByteArray("5\r\n")
                                                    << QByteArray("Niccol\xf2 \x80\r\n");
    QTest::newRow("a name outside Windows-1252, in UTF-8") << "5" << QStringLiteral("Ștefan")
                                                           << QByteArray("5\r\n")
                                                           << QByteArray("\xc8\x98tefan\r\n");
    // Its Windows-1252 bytes would read back as "é".
    QTest::newRow("a name whose Windows-1252 reads as other UTF-8")
        << "5" << QStringLiteral("Ã©") << QByteArray("5\r\n") << QByteArray("\xc3\x83\xc2\xa9\r\n");
}

void RecordsTest::savedRecordHasExactBytes()
{
    QFETCH(QString, score);
    QFETCH(QString, holder);
    QFETCH(QByteArray, scoreBytes);
    QFETCH(QByteArray, holderBytes);
    QTemporaryDir dir;
    const QString cartella = withTrailingSeparator(dir.path());
    QVERIFY(saveToFolder(cartella, score, holder).saved());
    QCOMPARE(bytesOf(cartella + scoreFileName()), scoreBytes);
    QCOMPARE(bytesOf(cartella + holderFileName()), holderBytes);
    // Nothing else is left behind in the folder but the lock.
    QCOMPARE(namesIn(dir.path()), kSettled);
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
    QVERIFY(saveToFolder(game.tavola->cartella, QStringLiteral("9"), name).saved());
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

void RecordsTest::failedSaveIsReportedNotConfirmed_data()
{
    QTest::addColumn<QString>("turnsInto");
    QTest::newRow("the folder turns into a file") << "folder";
    QTest::newRow("the holder file turns into a folder") << "holder";
}

void RecordsTest::failedSaveIsReportedNotConfirmed()
{
    QFETCH(QString, turnsInto);
    Game game;
    game.start(drawsFor(1, 1, 1, 0));
    game.answer(QStringLiteral("-1"));
    // Something changes behind the game's back.
    if (turnsInto == QLatin1String("folder")) {
        QDir(game.platform.folder).removeRecursively();
        QVERIFY(writeBytes(game.platform.folder, "not a folder"));
    } else {
        QVERIFY(QFile::remove(game.holderFile()) && QDir().mkpath(game.holderFile()));
    }
    game.platform.calls.clear();
    game.tavola->cmdExit_Click();
    const QStringList texts = game.platform.messageTexts();
    QCOMPARE(texts.size(), 2); // goodbye, then the failure
    QVERIFY(!texts[1].contains(QStringLiteral("C A M P I O N E")));
    QVERIFY2(texts[1].contains(turnsInto == QLatin1String("folder") ? game.platform.folder
                                                                    : QStringLiteral("nmarvo.txt")),
             qPrintable(texts[1]));
    QCOMPARE(game.platform.endedWith, std::optional<int>(0));
    // Both or neither: the score file was not touched either.
    if (turnsInto == QLatin1String("holder"))
        QCOMPARE(bytesOf(game.scoreFile()), QByteArray());
}

void RecordsTest::recordFolderIsTheOneTheAdministratorSet_data()
{
    QTest::addColumn<QString>("systemSetting"); // in the second system folder
    QTest::addColumn<QString>("userSetting");
    QTest::addColumn<QString>("folder");        // "<own>": the user's own data folder
    QTest::addColumn<bool>("shared");
    QTest::addColumn<bool>("problem");
    const QString own = QStringLiteral("<own>");
    QTest::newRow("nothing set") << "" << "" << own << false << false;
    QTest::newRow("set for the machine") << "[records]\nfolder=/srv/segni/\n" << ""
                                         << "/srv/segni/" << true << false;
    QTest::newRow("the pupil's own setting counts for nothing")
        << "" << "[records]\nfolder=/home/leo/mio\n" << own << false << false;
    QTest::newRow("a setting file without the key") << "[other]\nx=1\n" << "" << own << false
                                                    << false;
    QTest::newRow("a relative folder") << "[records]\nfolder=segni\n" << "" << "" << true << true;
    QTest::newRow("an empty folder") << "[records]\nfolder=\n" << "" << "" << true << true;
    QTest::newRow("a folder where the setting file should be")
        << "<folder>" << "" << "" << true << true;
}

void RecordsTest::recordFolderIsTheOneTheAdministratorSet()
{
    QFETCH(QString, systemSetting);
    QFETCH(QString, userSetting);
    QFETCH(QString, folder);
    QFETCH(bool, shared);
    QFETCH(bool, problem);
    QTemporaryDir root;
    const QString first = root.path() + QStringLiteral("/etc1");
    const QString second = root.path() + QStringLiteral("/etc2");
    const QString user = root.path() + QStringLiteral("/config");
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(first + QLatin1Char(':') + second));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(user));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path() + QStringLiteral("/data")));
    if (systemSetting == QLatin1String("<folder>"))
        QDir().mkpath(second + QStringLiteral("/segni/segni.conf"));
    else if (!systemSetting.isEmpty())
        QVERIFY(QDir().mkpath(second + QStringLiteral("/segni"))
                && writeBytes(second + QStringLiteral("/segni/segni.conf"), systemSetting.toUtf8()));
    if (!userSetting.isEmpty())
        QVERIFY(QDir().mkpath(user + QStringLiteral("/segni"))
                && writeBytes(user + QStringLiteral("/segni/segni.conf"), userSetting.toUtf8()));
    const RecordPlace where = finished(locateRecordPlace());
    QCOMPARE(where.where, folder == QLatin1String("<own>") ? root.path() + QStringLiteral("/data/segni/")
                                                           : folder);
    QCOMPARE(where.shared, shared);
    QCOMPARE(bool(where.problem), problem);
    if (where.problem)
        QVERIFY(where.problem->file.endsWith(QStringLiteral("etc2/segni/segni.conf")));
    qunsetenv("XDG_CONFIG_DIRS");
    qunsetenv("XDG_CONFIG_HOME");
}

void RecordsTest::unusableFilesAreReportedNeverWrittenOver_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("named");
    // Root can write anywhere, so the files are made unusable by something
    // else standing where they should be.
    QTest::newRow("folder below a regular file") << "blocker" << "blocker/segni" << "blocker/segni";
    QTest::newRow("a folder in place of the score file") << "dir:marvo.txt" << "records"
                                                         << "marvo.txt";
    QTest::newRow("a folder in place of the holder file, 30 stored")
        << "dir:nmarvo.txt" << "records" << "nmarvo.txt";
    QTest::newRow("a named pipe in place of the holder file") << "fifo:nmarvo.txt" << "records"
                                                              << "nmarvo.txt";
    QTest::newRow("a link in place of the score file") << "link:marvo.txt" << "records"
                                                       << "marvo.txt";
    QTest::newRow("a link in place of the intent") << "link:marvo.intent" << "records"
                                                   << "marvo.intent";
    QTest::newRow("a link in place of the lock") << "link:marvo.lock" << "records" << "marvo.lock";
    QTest::newRow("a folder in place of the lock") << "dir:marvo.lock" << "records" << "marvo.lock";
    QTest::newRow("a class folder that is missing") << "shared" << "gone" << "gone";
    QTest::newRow("a class folder setting that cannot be read") << "setting" << "records"
                                                                << "segni.conf";
}

void RecordsTest::unusableFilesAreReportedNeverWrittenOver()
{
    QFETCH(QString, blocker);
    QFETCH(QString, folder);
    QFETCH(QString, named);
    Game game;
    const QString records = game.dir.path() + QStringLiteral("/records");
    const QString outside = game.dir.path() + QStringLiteral("/outside.txt");
    QDir().mkpath(records);
    QVERIFY(writeBytes(records + QStringLiteral("/marvo.txt"), "30\r\n"));
    QVERIFY(writeBytes(outside, "keep\r\n"));
    const QString kind = blocker.section(QLatin1Char(':'), 0, 0);
    const QString target = records + QLatin1Char('/') + blocker.section(QLatin1Char(':'), 1);
    if (kind == QLatin1String("dir")) {
        QFile::remove(target);
        QDir().mkpath(target);
    } else if (kind == QLatin1String("fifo")) {
        // Opening a pipe with nobody at the other end would hang the game.
        QCOMPARE(::mkfifo(QFile::encodeName(target), 0600), 0);
    } else if (kind == QLatin1String("link")) {
        QFile::remove(target);
        QVERIFY(QFile::link(outside, target));
    } else if (kind == QLatin1String("shared")) {
        game.platform.folderShared = true;
    } else if (kind == QLatin1String("setting")) {
        game.platform.folderProblem = SettingError{QStringLiteral("/etc/xdg/segni/segni.conf"),
                                                   SettingProblem::Unreadable};
    } else {
        QVERIFY(writeBytes(game.dir.path() + QLatin1Char('/') + blocker, "x"));
    }
    const Snapshot before = snapshot(records);
    game.platform.folder = game.dir.path() + QLatin1Char('/') + folder;
    game.load();
    QStringList texts = game.platform.messageTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.first().contains(named), qPrintable(texts.first()));
    QVERIFY(!game.platform.endedWith);
    QCOMPARE(game.w().lblpunti->caption(), QStringLiteral("0"));
    QCOMPARE(game.w().lblnome->caption(), QString());
    QCOMPARE(game.w().lblconto->caption(), QStringLiteral("00:15:00"));
    // The game plays on, and the record it beats is not written over what
    // start-up could not use: the ending says so once.
    game.platform.calls.clear();
    answerRightAndExit(game, 1);
    texts = game.platform.messageTexts();
    QCOMPARE(texts.size(), 2); // goodbye, then why there is no record
    QVERIFY2(texts[1].startsWith(kNotSaved), qPrintable(texts[1]));
    QCOMPARE(game.platform.endedWith, std::optional<int>(0));
    Snapshot after = snapshot(records);
    if (!before.contains(lockFileName()))
        after.remove(lockFileName());
    QCOMPARE(after, before);
    QCOMPARE(bytesOf(outside), QByteArray("keep\r\n"));
    QVERIFY(!QFile::exists(game.dir.path() + QStringLiteral("/gone")));
}

void RecordsTest::anotherCopysLockNeverFreezesTheGame_data()
{
    QTest::addColumn<int>("releasedAfterPauses"); // -1: never
    QTest::addColumn<int>("endAskedAfterPauses"); // -1: never
    QTest::newRow("the other copy finishes") << 3 << -1;
    QTest::newRow("the other copy never lets go") << -1 << -1;
    // The clock ends the class's games together, then the session ends.
    QTest::newRow("SIGTERM while waiting: the save goes on") << 4 << 2;
}

void RecordsTest::anotherCopysLockNeverFreezesTheGame()
{
    QFETCH(int, releasedAfterPauses);
    QFETCH(int, endAskedAfterPauses);
    Game game;
    game.load();
    // Another copy of the game holds the lock.
    fs::Folder folder;
    QVERIFY(folder.open(game.platform.folder).ok());
    auto other = std::make_unique<fs::Lock>();
    fs::Result result;
    QCOMPARE(other->acquire(folder, lockFileName(), ownerFileName(), result), fs::Lock::State::Held);
    game.platform.whilePaused = [&] {
        if (game.platform.pauses == endAskedAfterPauses)
            game.tavola->sessionEnding(true);
        if (game.platform.pauses == releasedAfterPauses)
            other.reset();
    };
    game.platform.calls.clear();
    answerRightAndExit(game, 1);
    // The wait went by in short pauses that let the window run, for as long
    // as a save keeps trying.
    if (releasedAfterPauses > 0) {
        QCOMPARE(game.platform.pauses, releasedAfterPauses);
    } else {
        const RetryPolicy policy;
        QVERIFY(game.platform.pausedMs >= policy.budgetMs);
        QVERIFY(game.platform.pausedMs < policy.budgetMs + policy.longestPauseMs);
        QVERIFY(game.platform.pauses > 1);
    }
    QCOMPARE(game.platform.endCount, 1);
    QCOMPARE(bytesOf(game.scoreFile()), releasedAfterPauses > 0 ? QByteArray("1\r\n") : QByteArray());
    const QStringList texts = game.platform.messageTexts();
    if (endAskedAfterPauses > 0)
        QCOMPARE(texts, QStringList()); // ended before the goodbye
    else if (releasedAfterPauses > 0)
        QCOMPARE(texts.value(1), kSaved);
    else
        QVERIFY2(texts.value(1).contains(QStringLiteral("un'altra copia del gioco")),
                 qPrintable(texts.join(QLatin1Char('|'))));
}

void RecordsTest::ownerFileTakenOverMeanwhileStaysItsNewHolders()
{
    // This copy stalled until another judged its owner file stale and took
    // the lock: it writes nothing more, and leaves the other's file alone.
    QTemporaryDir dir;
    const QString owner = dir.path() + QLatin1Char('/') + ownerFileName();
    fs::Folder folder;
    QVERIFY(folder.open(dir.path()).ok());
    {
        fs::Lock stalled;
        fs::Result result;
        QCOMPARE(stalled.acquire(folder, lockFileName(), ownerFileName(), result),
                 fs::Lock::State::Held);
        QVERIFY(QFile::remove(owner) && writeBytes(owner, ownerOf("elsewhere", 1)));
        QVERIFY(!stalled.stillHeld());
    }
    QCOMPARE(bytesOf(owner), ownerOf("elsewhere", 1));
}

void RecordsTest::folderThatTakesNoNewFileStillTakesTheRecord_data()
{
    QTest::addColumn<QByteArray>("intent"); // left by an earlier save
    QTest::addColumn<int>("fileSizeLimit"); // 0: none
    QTest::addColumn<int>("right");
    QTest::addColumn<bool>("saved");
    QTest::newRow("as an older version left it") << QByteArray() << 0 << 1 << true;
    QTest::newRow("with an intent an earlier save left")
        << QByteArray("segni-record 1\n3 5\n0\r\nOld\r\n") << 0 << 1 << true;
    // Both files get their old bytes back.
    QTest::newRow("the holder file cannot grow (a quota)") << QByteArray() << 6 << 1 << false;
    QTest::newRow("the score file cannot grow (a quota)") << QByteArray() << 3 << 10 << false;
}

void RecordsTest::folderThatTakesNoNewFileStillTakesTheRecord()
{
    SKIP_UNLESS_ROOT();
    QFETCH(QByteArray, intent);
    QFETCH(int, fileSizeLimit);
    QFETCH(int, right);
    QFETCH(bool, saved);
    Machine machine;
    const QString folder = machine.dir.path() + QStringLiteral("/readonly");
    QDir().mkpath(folder);
    QVERIFY(writeBytes(folder + QStringLiteral("/marvo.txt"), "0\r\n"));
    QVERIFY(writeBytes(folder + QStringLiteral("/nmarvo.txt"), "Bea\r\n"));
    if (!intent.isEmpty())
        QVERIFY(writeBytes(folder + QLatin1Char('/') + intentFileName(), intent));
    for (const QString &name : namesIn(folder))
        Machine::setUp(folder + QLatin1Char('/') + name, 0666);
    Machine::setUp(folder, 0555);
    const Snapshot pair = saved ? Snapshot{{QStringLiteral("marvo.txt"), "1\r\n"},
                                           {QStringLiteral("nmarvo.txt"), "Annamaria\r\n"}}
                                : Snapshot{{QStringLiteral("marvo.txt"), "0\r\n"},
                                           {QStringLiteral("nmarvo.txt"), "Bea\r\n"}};
    QCOMPARE(runAs(kNobody, machine.dir.path(), [&] {
                 if (fileSizeLimit) {
                     const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
                     ::signal(SIGXFSZ, SIG_IGN);
                     ::setrlimit(RLIMIT_FSIZE, &limit);
                 }
                 Game game;
                 game.platform.folder = folder;
                 game.load(QStringLiteral("Annamaria"));
                 answerRightAndExit(game, right);
                 const QString said = game.platform.messageTexts().last();
                 EXPECT((said == kSaved) == saved, said);
                 // The next start shows the same pair.
                 const Loaded next = loadFolder(folder);
                 EXPECT(encodeLine(next.record.holder).chopped(2) == pair.value(QStringLiteral("nmarvo.txt")),
                        next.record.holder);
                 return QString();
             }),
             QString());
    QCOMPARE(bytesOf(folder + QStringLiteral("/marvo.txt")), pair.value(QStringLiteral("marvo.txt")));
    QCOMPARE(bytesOf(folder + QStringLiteral("/nmarvo.txt")), pair.value(QStringLiteral("nmarvo.txt")));
}

void RecordsTest::anUnfinishedSaveComesBeforeTheNextOne()
{
    // A save whose files would not take its pair (a quota, here a file
    // size limit) leaves its intent: that pair is the record until the
    // files hold it, and a later save first puts it in place, or saves
    // nothing.
    SKIP_UNLESS_ROOT();
    Machine machine;
    const QString folder = machine.dir.path() + QStringLiteral("/own");
    // Too long for the file size limit below, which the owner file (the
    // host, its boot, its processes' namespace, a process, a time) is not.
    const QByteArray longName = QByteArray("Beatrice").repeated(40) + "\r\n";
    QDir().mkpath(folder);
    QVERIFY(writeBytes(folder + QStringLiteral("/marvo.txt"), "0\r\n"));
    QVERIFY(writeBytes(folder + QStringLiteral("/nmarvo.txt"), "Bea\r\n"));
    QVERIFY(writeBytes(folder + QLatin1Char('/') + intentFileName(), intentBytes({"5\r\n", longName})));
    for (const QString &name : namesIn(folder))
        Machine::setUp(folder + QLatin1Char('/') + name, 0666);
    Machine::setUp(folder, 0777);
    QCOMPARE(runAs(kNobody, machine.dir.path(), [&] {
                 const rlimit limit{200, 200};
                 ::signal(SIGXFSZ, SIG_IGN);
                 ::setrlimit(RLIMIT_FSIZE, &limit);
                 Game game;
                 game.platform.folder = folder;
                 game.load(QStringLiteral("Leo"));
                 EXPECT(game.w().lblnome->caption().toUtf8() == longName, game.w().lblnome->caption());
                 answerRightAndExit(game, 6);
                 const QString said = game.platform.messageTexts().value(1);
                 EXPECT(said.startsWith(QStringLiteral("Non sono riuscito")) && said.contains(holderFileName()),
                        said);
                 return QString();
             }),
             QString());
    QCOMPARE(loadFolder(folder).record.holder.toUtf8(), longName);
    QCOMPARE(bytesOf(folder + QStringLiteral("/nmarvo.txt")), longName);
}

void RecordsTest::ownerFileOfACopyThatIsGoneIsTakenOver_data()
{
    QTest::addColumn<QByteArray>("owner");
    QTest::addColumn<bool>("atOnce");
    QTest::newRow("a process of this host that is gone")
        << ownerOf(fs::hostIdentity(), kGonePid) << true;
    QTest::newRow("this process, still running")
        << ownerOf(fs::hostIdentity(), QCoreApplication::applicationPid()) << false;
    QTest::newRow("another host") << ownerOf("elsewhere", 1) << false;
    QTest::newRow("cut short by a crash: no owner named") << QByteArray() << false;
}

void RecordsTest::ownerFileOfACopyThatIsGoneIsTakenOver()
{
    // One that may still be saving is waited for until it has stayed the
    // same longer than any save takes; one whose process is gone, not at all.
    QFETCH(QByteArray, owner);
    QFETCH(bool, atOnce);
    QTemporaryDir dir;
    const QString cartella = withTrailingSeparator(dir.path());
    QVERIFY(writeBytes(cartella + ownerFileName(), owner));
    // Each try of a save finds the lock busy until then (the time another
    // host's file takes to be stale is shortened here).
    fs::setTestHooks({nullptr, fs::SystemLocks::Real, 1500});
    FolderStore store(cartella, false);
    QElapsedTimer waited;
    waited.start();
    bool busy = finished(store.beginSave()).busy;
    QCOMPARE(!busy, atOnce);
    while (busy && waited.elapsed() < 3 * fs::staleOwnerMs()) {
        QTest::qWait(200);
        busy = finished(store.beginSave()).busy;
    }
    QVERIFY(!busy);
    QVERIFY(saveToFolder(cartella, QStringLiteral("1"), QStringLiteral("Anna")).saved());
    if (!atOnce)
        QVERIFY2(waited.elapsed() >= fs::staleOwnerMs(), qPrintable(QString::number(waited.elapsed())));
    fs::setTestHooks({});
    QCOMPARE(namesIn(dir.path()), kSettled);
}

void RecordsTest::stickyClassFolderKeepsEveryPairWhole_data()
{
    QTest::addColumn<QString>("leftBehind");
    QTest::addColumn<bool>("saved");
    QTest::newRow("another pupil's files") << "" << true;
    QTest::newRow("another pupil's intent, never removed") << "intent" << true;
    // It cannot be removed: the system's lock alone excludes, as before.
    QTest::newRow("another pupil's owner file, left by a crash") << "owner" << true;
    QTest::newRow("a holder file no pupil may write") << "root holder" << false;
}

void RecordsTest::stickyClassFolderKeepsEveryPairWhole()
{
    // With the sticky bit on the folder, nobody may rename over or remove
    // another account's file.
    SKIP_UNLESS_ROOT();
    QFETCH(QString, leftBehind);
    QFETCH(bool, saved);
    Machine machine;
    Machine::setUp(machine.classFolder, 03775);
    QCOMPARE(runAs(kUno, machine.dir.path(), [] {
                 Game game;
                 playAndExit(game, QStringLiteral("Uno"), 1);
                 return QString();
             }),
             QString());
    if (leftBehind == QLatin1String("intent")) {
        const QString intent = machine.classFile(intentFileName());
        QVERIFY(writeBytes(intent, "segni-record 1\n3 5\n1\r\nUno\r\n"));
        Machine::setUp(intent, 0664, kUno.uid);
    } else if (leftBehind == QLatin1String("owner")) {
        const QString owner = machine.classFile(ownerFileName());
        QVERIFY(writeBytes(owner, ownerOf(fs::hostIdentity(), kGonePid)));
        Machine::setUp(owner, 0664, kUno.uid);
    } else if (leftBehind == QLatin1String("root holder")) {
        const QString holder = machine.classFile(holderFileName());
        QVERIFY(QFile::remove(holder) && writeBytes(holder, "Uno\r\n"));
        Machine::setUp(holder, 0644);
    }
    QCOMPARE(runAs(kDue, machine.dir.path(), [&] {
                 Game game;
                 playAndExit(game, QStringLiteral("Due"), 2);
                 const QString said = game.platform.messageTexts().last();
                 EXPECT((said == kSaved) == saved, said);
                 return QString();
             }),
             QString());
    const Loaded next = loadFolder(machine.classFolder);
    QCOMPARE(next.record.score, QString::fromLatin1(saved ? "2\r\n" : "1\r\n"));
    QCOMPARE(next.record.holder, QString::fromLatin1(saved ? "Due\r\n" : "Uno\r\n"));
}

void RecordsTest::classFolderIsSharedByEveryAccountOfTheGroup()
{
    SKIP_UNLESS_ROOT();
    Machine machine;
    QCOMPARE(runAs(kUno, machine.dir.path(), [] {
                 Game game;
                 playAndExit(game, QStringLiteral("Uno"), 1);
                 EXPECT(game.platform.messageTexts().value(1) == kSaved,
                        game.platform.messageTexts().join(QLatin1Char('|')));
                 return QString();
             }),
             QString());
    QCOMPARE(runAs(kDue, machine.dir.path(), [] {
                 Game game;
                 useMachineFolder(game);
                 game.load(QStringLiteral("Due"));
                 EXPECT(game.w().lblpunti->caption() == QStringLiteral("1\r\n")
                            && game.w().lblnome->caption() == QStringLiteral("Uno\r\n"),
                        "the second pupil does not see the first one's record");
                 answerRightAndExit(game, 2);
                 EXPECT(game.platform.messageTexts().value(1) == kSaved,
                        game.platform.messageTexts().join(QLatin1Char('|')));
                 return QString();
             }),
             QString());
    QCOMPARE(snapshot(machine.classFolder), (Snapshot{{QStringLiteral("marvo.lock"), ""},
                                                      {QStringLiteral("marvo.txt"), "2\r\n"},
                                                      {QStringLiteral("nmarvo.txt"), "Due\r\n"}}));
    // Whoever saved last, the next member of the group can save again.
    for (const QString &name : kSettled) {
        struct stat st;
        QCOMPARE(::lstat(QFile::encodeName(machine.classFile(name)), &st), 0);
        QVERIFY2((st.st_mode & 0060) == 0060 && st.st_gid == kClass, qPrintable(name));
    }
    QVERIFY(!QFile::exists(machine.home(kUno)));
    QVERIFY(!QFile::exists(machine.home(kDue)));
}

void RecordsTest::classFolderThatCannotBeUsedIsReportedNeverSwapped_data()
{
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("shown");
    QTest::newRow("set but missing") << "missing" << "/nowhere" << "0";
    QTest::newRow("no group write") << "2755" << "/class" << "5\r\n";
    QTest::newRow("setting unreadable") << "0600" << "segni.conf" << "0";
    QTest::newRow("score file linked to a pupil's own file") << "link:secret.txt" << "marvo.txt"
                                                              << "0";
    QTest::newRow("holder file linked to a missing path in a pupil's home")
        << "link:new.txt" << "nmarvo.txt" << "0";
}

void RecordsTest::classFolderThatCannotBeUsedIsReportedNeverSwapped()
{
    SKIP_UNLESS_ROOT();
    QFETCH(QString, setUp);
    QFETCH(QString, named);
    QFETCH(QString, shown);
    Machine machine;
    QVERIFY(writeBytes(machine.classFile(QStringLiteral("marvo.txt")), "5\r\n"));
    QVERIFY(writeBytes(machine.classFile(QStringLiteral("nmarvo.txt")), "Bea\r\n"));
    const QString home = machine.home(kDue);
    QDir().mkpath(home);
    QVERIFY(writeBytes(home + QStringLiteral("/secret.txt"), "mine\n"));
    for (const QString &path : {home, home + QStringLiteral("/secret.txt")})
        Machine::setUp(path, 0755, kDue.uid, kDue.gid);
    if (setUp == QLatin1String("missing")) {
        machine.setting("[records]\nfolder=" + QFile::encodeName(machine.dir.path()) + "/nowhere\n");
    } else if (setUp == QLatin1String("2755")) {
        Machine::setUp(machine.classFolder, 02755);
    } else if (setUp == QLatin1String("0600")) {
        ::chmod(QFile::encodeName(machine.dir.path() + QStringLiteral("/etc/segni/segni.conf")), 0600);
    } else {
        // Another pupil of the class puts a link in place of a record file.
        const QString victim = home + QLatin1Char('/') + setUp.section(QLatin1Char(':'), 1);
        const QString file = machine.classFile(named);
        QCOMPARE(runAs(kTre, machine.dir.path(), [&] {
                     EXPECT(QFile::remove(file) && QFile::link(victim, file), "no link planted");
                     return QString();
                 }),
                 QString());
    }
    const Snapshot before = snapshot(machine.classFolder);
    QCOMPARE(runAs(kDue, machine.dir.path(), [&] {
                 Game game;
                 playAndExit(game, QStringLiteral("Due"), 6);
                 const QStringList texts = game.platform.messageTexts();
                 EXPECT(texts.first().contains(named) && texts.last().startsWith(kNotSaved)
                            && !texts.contains(kSaved),
                        texts.join(QLatin1Char('|')));
                 EXPECT(game.w().lblpunti->caption() == shown, game.w().lblpunti->caption());
                 EXPECT(game.platform.endedWith == std::optional<int>(0), "the game did not end well");
                 return QString();
             }),
             QString());
    Snapshot after = snapshot(machine.classFolder);
    after.remove(lockFileName()); // the one file a start may make
    QCOMPARE(after, before);
    QCOMPARE(bytesOf(home + QStringLiteral("/secret.txt")), QByteArray("mine\n"));
    QVERIFY(!QFile::exists(home + QStringLiteral("/new.txt")));
    QVERIFY(!QFile::exists(home + QStringLiteral("/data")));
    QVERIFY(!QFile::exists(machine.dir.path() + QStringLiteral("/nowhere")));
}

QTEST_MAIN(RecordsTest)
#include "tst_records.moc"
