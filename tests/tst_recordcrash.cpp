// The record pair survives a crash at any point of a save, a start that
// cannot lock undoes nothing of a save under way, and a class whose games
// end together keeps its best record: the real save and start run in child
// processes, which stop right after each of their changes on disk in turn,
// or save all at once. The same on every system.

#include "fakeplatform.h"
#include "otheraccount.h"
#include "records/recordfile.h"
#include "records/recordtext.h"
#include "records/serverstore.h"
#include "schoolserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

using namespace segni;
using namespace segni::records;
using namespace segni::testing;

namespace {

// The old holder is longer than the new one, so a file not emptied before
// it is written shows.
const Pair kOld{"0\r\n", "Beatrice\r\n"};
const Pair kNew{"1\r\n", "Anna\r\n"};

using Snapshot = QMap<QString, QByteArray>;

Snapshot snapshot(const QString &folder)
{
    Snapshot files;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        files.insert(name, bytesOf(folder + QLatin1Char('/') + name));
    return files;
}

void restore(const QString &folder, const Snapshot &files)
{
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(folder + QLatin1Char('/') + name);
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        writeBytes(folder + QLatin1Char('/') + it.key(), it.value());
}

Snapshot files(const Pair &pair)
{
    return {{scoreFileName(), pair.score}, {holderFileName(), pair.holder}};
}

// What the next start shows: of a folder, or of a school's web server.
Loaded loadRecord(const QString &place, bool server = false)
{
    if (server) {
        ServerStore store(place);
        return finished(store.load());
    }
    return loadFolder(place);
}

Pair shown(const Loaded &loaded)
{
    return {encodeLine(loaded.record.score).chopped(2), encodeLine(loaded.record.holder).chopped(2)};
}

QString describe(const Pair &pair)
{
    return QString::fromUtf8(pair.score + '/' + pair.holder).simplified();
}

// The helper program, built beside this test.
QString child()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/recordchild");
}

QStringList arguments(const QString &folder, const char *action, int change, const char *mode,
                      const QString &locks = QStringLiteral("real"), int score = 1)
{
    return {folder, QString::fromLatin1(action), QString::number(change),
            QString::fromLatin1(mode), locks, QString::number(score)};
}

fs::SystemLocks systemLocks(const QString &locks)
{
    if (locks == QLatin1String("failing"))
        return fs::SystemLocks::Failing;
    return locks == QLatin1String("granted") ? fs::SystemLocks::GrantedAtOnce
                                             : fs::SystemLocks::Real;
}

void lockModes()
{
    QTest::addColumn<QString>("locks");
    QTest::newRow("locks that fail (a share mounted without them)") << QStringLiteral("failing");
    QTest::newRow("locks granted at once (each machine grants its own)")
        << QStringLiteral("granted");
}

// Runs the child to its end; true when it ended itself after its change.
bool dies(const QStringList &args)
{
    QProcess process;
    process.start(child(), args);
    if (!process.waitForFinished(30000))
        qFatal("the record child did not finish");
    if (process.exitCode() != 0 && process.exitCode() != 42)
        qFatal("the record child failed: %d", process.exitCode());
    return process.exitCode() == 42;
}

} // namespace

class RecordCrashTest : public QObject
{
    Q_OBJECT
private slots:
    void crashAtAnyPointOfASaveLeavesOneWholePair_data();
    void crashAtAnyPointOfASaveLeavesOneWholePair();
    void startWithoutLockUndoesNothingOfASaveUnderWay_data();
    void startWithoutLockUndoesNothingOfASaveUnderWay();
    void aClassEndingTogetherKeepsItsBestRecord_data();
    void aClassEndingTogetherKeepsItsBestRecord();
    void aCopyHeldBackPastTheStaleTimeIsOvertaken_data();
    void aCopyHeldBackPastTheStaleTimeIsOvertaken();
    void intentThatIsNotWholeNamesNoPair_data();
    void intentThatIsNotWholeNamesNoPair();
};

void RecordCrashTest::crashAtAnyPointOfASaveLeavesOneWholePair_data()
{
    QTest::addColumn<QByteArray>("intent"); // "-": none
    QTest::newRow("the pair alone") << QByteArray("-");
    // As a folder with the sticky bit, or one that takes no new file, keeps it.
    QTest::newRow("an empty intent") << QByteArray();
    QTest::newRow("an earlier save's intent, never set aside") << intentBytes(kOld);
}

void RecordCrashTest::crashAtAnyPointOfASaveLeavesOneWholePair()
{
    QFETCH(QByteArray, intent);
    QTemporaryDir dir;
    const QString folder = dir.path();
    Snapshot before = files(kOld);
    if (intent != "-")
        before.insert(intentFileName(), intent);
    const QStringList settled{lockFileName(), scoreFileName(), holderFileName()};
    int savePoints = 0;
    // The save ends after each of its changes in turn; then the next start,
    // itself ending after each of its own changes in turn, and finally one
    // that runs through: every start shows, and keeps, one whole pair.
    for (int point = 1;; ++point) {
        restore(folder, before);
        if (!dies(arguments(folder, "save", point, "die")))
            break;
        ++savePoints;
        const Snapshot crashed = snapshot(folder);
        for (int startPoint = 1;; ++startPoint) {
            restore(folder, crashed);
            const bool died = dies(arguments(folder, "load", startPoint, "die"));
            for (int again = 0; again < 2; ++again) {
                const Pair pair = shown(loadRecord(folder));
                QVERIFY2(pair == kOld || pair == kNew,
                         qPrintable(QStringLiteral("save change %1, start change %2: %3")
                                        .arg(point).arg(startPoint).arg(describe(pair))));
                QCOMPARE(snapshot(folder).keys(), settled);
                QCOMPARE(snapshot(folder).value(scoreFileName()), pair.score);
                QCOMPARE(snapshot(folder).value(holderFileName()), pair.holder);
            }
            if (!died)
                break;
        }
    }
    QVERIFY2(savePoints >= 7, qPrintable(QString::number(savePoints)));
    QCOMPARE(shown(loadRecord(folder)), kNew);
}

void RecordCrashTest::startWithoutLockUndoesNothingOfASaveUnderWay_data()
{
    lockModes();
}

void RecordCrashTest::startWithoutLockUndoesNothingOfASaveUnderWay()
{
    // A network share whose locks do not exclude: a copy saving is held
    // back after each of its changes while another starts.
    QFETCH(QString, locks);
    QTemporaryDir dir;
    const QString folder = dir.path();
    restore(folder, files(kOld));
    int points = 0;
    for (int point = 1;; ++point) {
        QProcess saving;
        saving.start(child(), arguments(folder, "save", point, "freeze", locks));
        if (!saving.waitForReadyRead(30000)) {
            // The save had fewer changes, and ran to its end.
            saving.waitForFinished(30000);
            QCOMPARE(saving.error(), QProcess::UnknownError);
            QCOMPARE(saving.exitStatus(), QProcess::NormalExit);
            QCOMPARE(saving.exitCode(), 0);
            break;
        }
        ++points;
        const Snapshot frozen = snapshot(folder);
        fs::setTestHooks({nullptr, systemLocks(locks)});
        const Pair pair = shown(loadRecord(folder));
        fs::setTestHooks({});
        QCOMPARE(snapshot(folder), frozen);
        QVERIFY2(pair == kOld || pair == kNew,
                 qPrintable(QStringLiteral("change %1: %2").arg(point).arg(describe(pair))));
        saving.write("go\n");
        QVERIFY(saving.waitForFinished(30000));
        QCOMPARE(saving.exitCode(), 0);
        QVERIFY2(shown(loadRecord(folder)) == kNew, qPrintable(QString::number(point)));
        restore(folder, files(kOld));
    }
    QVERIFY2(points >= 6, qPrintable(QString::number(points)));
    qInfo("a start without the lock at each of %d changes of a save: the save stands", points);
}

void RecordCrashTest::aClassEndingTogetherKeepsItsBestRecord_data()
{
    QTest::addColumn<QString>("locks");
    QTest::addColumn<QString>("folder"); // how the class folder stands
    QTest::newRow("real locks") << QStringLiteral("real") << QString();
    QTest::newRow("locks that fail") << QStringLiteral("failing") << QString();
    QTest::newRow("locks granted at once") << QStringLiteral("granted") << QString();
    // Every copy waits until it is stale, then all break it at once.
    QTest::newRow("locks granted at once, an owner file left by a machine that crashed")
        << QStringLiteral("granted") << QStringLiteral("stale owner");
    // No copy can hold the lock, and on such a share nothing else keeps
    // their saves apart: each checks before it writes, and reads back.
    QTest::newRow("locks granted at once, a folder where the owner file goes")
        << QStringLiteral("granted") << QStringLiteral("folder at owner");
    QTest::newRow("locks granted at once, another pupil's stale owner file in a sticky folder")
        << QStringLiteral("granted") << QStringLiteral("sticky");
    // The record on the school's web server, as its documentation sets it
    // up, instead of a folder: lighttpd, and Apache, whose check of If-Match
    // does not hold its write back.
    QTest::newRow("a school's web server, lighttpd") << QStringLiteral("server")
                                                     << QStringLiteral("lighttpd");
    QTest::newRow("a school's web server, Apache") << QStringLiteral("server")
                                                   << QStringLiteral("apache");
}

void RecordCrashTest::aClassEndingTogetherKeepsItsBestRecord()
{
    // Copies of the game whose clocks end together, each with a different
    // score, all started against the record 0: each saves as soon as it is
    // told to go.
    QFETCH(QString, locks);
    QFETCH(QString, folder);
    const bool sticky = folder == QLatin1String("sticky");
    if (const QString why = whyNoOtherAccount(); sticky && !why.isEmpty())
        QSKIP(qPrintable(why + QStringLiteral(": skipped")));
    QTemporaryDir dir;
    const QString place = dir.path();
    const QByteArray elsewhere = "segni-lock 1\nelsewhere\n1\n2026-12-09T08:00:00.000Z\n";
    Snapshot before = files(kOld);
    if (folder == QLatin1String("stale owner") || sticky)
        before.insert(ownerFileName(), elsewhere);
    restore(place, before);
    if (folder == QLatin1String("folder at owner"))
        QVERIFY(QDir(place).mkdir(ownerFileName()));
    // The copies play another account than the owner file's, in a folder
    // where nobody may move another's file.
    if (sticky)
        QVERIFY(shareStickily(place, ownerFileName()));
    QString folderOrUrl = place;
    SchoolServer server(folder);
    if (locks == QLatin1String("server")) {
        if (const QString why = server.start(); !why.isEmpty()) {
            if (server.notInstalled())
                QSKIP(qPrintable(why));
            QFAIL(qPrintable(why));
        }
        QVERIFY(writeBytes(server.recordFile(), kOld.score + kOld.holder));
        folderOrUrl = server.url();
    }
    QList<int> scores;
    for (int score = 1; score <= 40; ++score)
        scores.append(score);
    std::shuffle(scores.begin(), scores.end(), *QRandomGenerator::global());
    scores.resize(10);
    const auto holder = [](int score) { return QStringLiteral("P%1").arg(score); };
    std::vector<std::unique_ptr<QProcess>> copies;
    for (const int score : scores) {
        copies.push_back(std::make_unique<QProcess>());
        // What a copy says of its own failure shows in the test's log.
        copies.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Another host's owner file is stale sooner than in a class.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SEGNI_STALE_OWNER_MS"), QStringLiteral("2000"));
        copies.back()->setProcessEnvironment(environment);
        QStringList args{folderOrUrl, QStringLiteral("compete"), QString::number(score),
                         holder(score), locks};
        const QStringList command = sticky ? asOtherAccount(child(), args) : QStringList{child()} + args;
        copies.back()->start(command.first(), command.mid(1));
        QVERIFY(copies.back()->waitForStarted(30000));
    }
    // Written out at once: QProcess would otherwise hand each copy its
    // line only when the test waits for that copy.
    for (const auto &copy : copies)
        copy->write("go\n");
    for (const auto &copy : copies)
        QVERIFY(copy->waitForBytesWritten(10000));
    const int best = *std::max_element(scores.cbegin(), scores.cend());
    QStringList listed;
    for (const int score : scores)
        listed << QString::number(score);
    const QString order = QStringLiteral("; scores in order: ") + listed.join(QLatin1Char(' '));
    int saved = 0;
    for (qsizetype i = 0; i < scores.size(); ++i) {
        QProcess &copy = *copies[size_t(i)];
        QVERIFY(copy.waitForFinished(60000));
        QVERIFY2(copy.exitStatus() == QProcess::NormalExit && copy.exitCode() == 0,
                 qPrintable(QStringLiteral("a copy ended with %1 (%2)")
                                .arg(copy.exitCode())
                                .arg(copy.exitStatus() == QProcess::NormalExit
                                         ? QStringLiteral("its own exit")
                                         : QStringLiteral("a crash"))));
        const QString told = QString::fromUtf8(copy.readAllStandardOutput()).trimmed();
        if (told == QLatin1String("saved")) {
            ++saved;
            continue;
        }
        // Not saved: it says who holds the record now, with a score at least
        // its own, and that pair is one some copy set.
        const QStringList standing = told.split(QLatin1Char(' '));
        QVERIFY2(standing.size() == 3 && standing[0] == QLatin1String("standing"),
                 qPrintable(told + order));
        const int score = standing[1].toInt();
        QVERIFY2(score >= scores[i] && scores.contains(score) && standing[2] == holder(score),
                 qPrintable(told + order));
    }
    const Pair expected{QByteArray::number(best) + "\r\n", holder(best).toUtf8() + "\r\n"};
    const Pair standing = shown(loadRecord(folderOrUrl, locks == QLatin1String("server")));
    QVERIFY2(standing == expected, qPrintable(describe(standing) + order));
    QVERIFY(saved >= 1);
    // What nobody can remove stays; nothing else is left behind.
    if (sticky)
        QCOMPARE(bytesOf(place + QLatin1Char('/') + ownerFileName()), elsewhere);
    else if (folder != QLatin1String("folder at owner"))
        QVERIFY(!QFile::exists(place + QLatin1Char('/') + ownerFileName()));
    qInfo("%lld copies: %d told their record is saved, %lld told who holds it now",
          qlonglong(scores.size()), saved, qlonglong(scores.size() - saved));
}

void RecordCrashTest::aCopyHeldBackPastTheStaleTimeIsOvertaken_data()
{
    QTest::addColumn<QString>("locks");
    QTest::addColumn<int>("heldScore"); // the held-back copy's; the other saves 5
    QTest::newRow("locks that fail (a share mounted without them)") << QStringLiteral("failing") << 1;
    QTest::newRow("locks granted at once (each machine grants its own)")
        << QStringLiteral("granted") << 1;
    // Its pair, completed by the other, is its own: it is told it is saved.
    QTest::newRow("locks granted at once, the held-back copy's score the higher")
        << QStringLiteral("granted") << 7;
}

void RecordCrashTest::aCopyHeldBackPastTheStaleTimeIsOvertaken()
{
    // A copy held back in the middle of its save (a share that dropped out,
    // a laptop put to sleep) for longer than its owner file takes to be
    // stale: another copy takes the lock over and saves 5, and the first,
    // once it goes on, writes nothing more of its own unless its score is
    // still the higher. The higher score stays, and each copy is told so.
    QFETCH(QString, locks);
    QFETCH(int, heldScore);
    QTemporaryDir dir;
    const QString folder = dir.path();
    const bool heldHigher = heldScore > 5;
    const Pair higher = heldHigher ? Pair{QByteArray::number(heldScore) + "\r\n", "Anna\r\n"}
                                   : Pair{"5\r\n", "Bruno\r\n"};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SEGNI_STALE_OWNER_MS"), QStringLiteral("300"));
    int points = 0;
    for (int point = 1;; ++point) {
        restore(folder, files(kOld));
        QProcess heldBack;
        heldBack.setProcessEnvironment(environment);
        heldBack.start(child(), arguments(folder, "save", point, "freeze", locks, heldScore));
        if (!heldBack.waitForReadyRead(30000)) {
            // The save had fewer changes, and ran to its end.
            heldBack.waitForFinished(30000);
            QCOMPARE(heldBack.exitStatus(), QProcess::NormalExit);
            QCOMPARE(heldBack.exitCode(), 0);
            break;
        }
        ++points;
        QProcess other;
        other.setProcessEnvironment(environment);
        other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        other.start(child(), {folder, QStringLiteral("compete"), QStringLiteral("5"),
                              QStringLiteral("Bruno"), locks});
        other.write("go\n");
        QVERIFY(other.waitForFinished(30000));
        // It found the held-back copy's pair already decided, or saved.
        const QString told = QString::fromUtf8(other.readAllStandardOutput()).trimmed();
        QVERIFY2(told == QLatin1String("saved")
                     || (heldHigher && told == QStringLiteral("standing %1 Anna").arg(heldScore)),
                 qPrintable(told));
        heldBack.write("go\n");
        QVERIFY(heldBack.waitForFinished(30000));
        // Never told that somebody else holds its own record.
        if (heldHigher)
            QVERIFY2(heldBack.exitCode() == 0, qPrintable(QString::number(point)));
        QVERIFY2(shown(loadRecord(folder)) == higher,
                 qPrintable(QStringLiteral("held back after change %1: %2")
                                .arg(point)
                                .arg(describe(shown(loadRecord(folder))))));
        QCOMPARE(bytesOf(folder + QLatin1Char('/') + scoreFileName()), higher.score);
        QCOMPARE(bytesOf(folder + QLatin1Char('/') + holderFileName()), higher.holder);
    }
    QVERIFY2(points >= 6, qPrintable(QString::number(points)));
    qInfo("a copy held back past the stale time at each of %d changes of its save: overtaken", points);
}

void RecordCrashTest::intentThatIsNotWholeNamesNoPair_data()
{
    QTest::addColumn<QByteArray>("intent");
    QTest::newRow("cut inside the holder") << QByteArray("segni-record 1\n3 6\n1\r\nAnn");
    QTest::newRow("impossible sizes") << QByteArray("segni-record 1\n-3 99999999999\n");
    QTest::newRow("cut inside the sizes") << QByteArray("segni-record 1\n3 6");
    QTest::newRow("a megabyte of line ends") << QByteArray(1 << 20, '\n');
    QTest::newRow("empty") << QByteArray();
}

void RecordCrashTest::intentThatIsNotWholeNamesNoPair()
{
    QFETCH(QByteArray, intent);
    QTemporaryDir dir;
    restore(dir.path(), files(kOld));
    QVERIFY(writeBytes(dir.path() + QLatin1Char('/') + intentFileName(), intent));
    QCOMPARE(shown(loadRecord(dir.path())), kOld);
    Snapshot settled = files(kOld);
    settled.insert(lockFileName(), "");
    QCOMPARE(snapshot(dir.path()), settled);
}

QTEST_GUILESS_MAIN(RecordCrashTest)
#include "tst_recordcrash.moc"
