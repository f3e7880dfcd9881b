// The record on a school's web server: whatever the server holds or
// answers, the game shows a record or none, never hangs, and saves only
// where the server can keep saves apart. Against Debian's lighttpd set up
// as the school's documentation says, and against a stand-in server for
// the answers lighttpd never gives.

#include "fakeplatform.h"
#include "records/serverstore.h"
#include "schoolserver.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace segni;
using namespace segni::records;
using namespace segni::testing;

namespace {

// Answers GETs and PUTs with canned responses, in turn (the last one
// again once they run out); or never answers at all.
class CannedServer : public QTcpServer
{
public:
    QList<QByteArray> get;
    QList<QByteArray> put;
    int puts = 0;

    CannedServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_asked[socket] += socket->readAll();
                    const QByteArray &asked = m_asked[socket];
                    const qsizetype end = asked.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const bool isPut = asked.startsWith("PUT");
                    QList<QByteArray> &answers = isPut ? put : get;
                    if (answers.isEmpty())
                        return; // silent
                    const QByteArray answer =
                        answers.size() > 1 ? answers.takeFirst() : answers.first();
                    if (answer.isEmpty())
                        return; // silent
                    puts += isPut ? 1 : 0;
                    m_asked.remove(socket);
                    socket->write(answer);
                    socket->disconnectFromHost();
                });
            }
        });
    }

    QString url() const
    {
        return QStringLiteral("http://127.0.0.1:%1/segni-record/record.txt").arg(serverPort());
    }

private:
    QHash<QTcpSocket *, QByteArray> m_asked;
};

Loaded loadFrom(const QString &url)
{
    ServerStore store(url);
    return finished(store.load());
}

Saved saveTo(const QString &url, const QString &score, const QString &holder)
{
    ServerStore store(url);
    return finished(saveIfBeaten(store, score, holder, timerPause()));
}

// The problem a server's error names; -1 for another kind of error.
int serverProblem(const std::optional<StoreError> &error)
{
    const auto *server = error ? std::get_if<ServerError>(&*error) : nullptr;
    return server ? int(server->problem) : -1;
}

QByteArray response(const QByteArray &status, const QByteArray &headers, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

class RecordWebTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        const QString why = m_server.start();
        if (!why.isEmpty() && m_server.notInstalled())
            QSKIP(qPrintable(why));
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QFile::remove(m_server.recordFile());
    }
    void cleanup() { m_server.stop(); }

    void whatTheServerHoldsIsARecordOrNone_data();
    void whatTheServerHoldsIsARecordOrNone();
    void serverThatCannotKeepSavesApartIsRefused_data();
    void serverThatCannotKeepSavesApartIsRefused();
    void saveOvertakenReadsAndDecidesAgain_data();
    void saveOvertakenReadsAndDecidesAgain();
    void serverStoppedMidGame();
    void aGameAgainstTheServerTellsThePupil();

private:
    SchoolServer m_server;
};

void RecordWebTest::whatTheServerHoldsIsARecordOrNone_data()
{
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("holder");
    QTest::newRow("no record yet") << QByteArray() << QString() << QString();
    QTest::newRow("a record") << QByteArray("7\r\nBruno\r\n") << "7\r\n" << "Bruno\r\n";
    QTest::newRow("an empty name") << QByteArray("3\r\n\r\n") << "3\r\n" << "\r\n";
    QTest::newRow("a name beyond Windows-1252")
        << QByteArray("4\r\nZoë Ξ\r\n") << "4\r\n" << QStringLiteral("Zoë Ξ\r\n");
    QTest::newRow("larger than any record")
        << QByteArray("5\r\n" + QByteArray(8000, 'A') + "\r\n") << QString() << QString();
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << QString()
                            << QString();
    QTest::newRow("not UTF-8") << QByteArray("5\r\nAnn\xe0\r\n") << QString() << QString();
    QTest::newRow("a negative score") << QByteArray("-5\r\nAnna\r\n") << QString() << QString();
    QTest::newRow("a huge score") << QByteArray("99999999999999999999\r\nAnna\r\n") << QString()
                                  << QString();
    QTest::newRow("a control character in the name")
        << QByteArray("5\r\nAn\x1b[2Jna\r\n") << QString() << QString();
    QTest::newRow("an invisible format character in the name")
        << QByteArray("5\r\nAn\xe2\x80\x8bna\r\n") << QString() << QString();
    QTest::newRow("a third line") << QByteArray("5\r\nAnna\r\nBruno\r\n") << QString()
                                  << QString();
}

void RecordWebTest::whatTheServerHoldsIsARecordOrNone()
{
    QFETCH(QByteArray, served);
    QFETCH(QString, score);
    QFETCH(QString, holder);
    if (!served.isNull())
        QVERIFY(writeBytes(m_server.recordFile(), served));
    const Loaded loaded = loadFrom(m_server.url());
    QVERIFY2(!loaded.error && !loaded.readOnly, qPrintable(m_server.errorLog()));
    QCOMPARE(loaded.record.score, score);
    QCOMPARE(loaded.record.holder, holder);
    // The next record replaces whatever was not one; a real one stands.
    const Saved saved = saveTo(m_server.url(), QStringLiteral("6"), QStringLiteral("Anna"));
    QVERIFY(!saved.error);
    if (score.isEmpty())
        QCOMPARE(bytesOf(m_server.recordFile()), QByteArray("6\r\nAnna\r\n"));
    else
        QCOMPARE(saved.saved(), score.toInt() < 6);
}

void RecordWebTest::serverThatCannotKeepSavesApartIsRefused_data()
{
    const QByteArray record = "7\r\nBruno\r\n";
    QTest::addColumn<QByteArray>("get");
    QTest::addColumn<QByteArray>("put");
    QTest::addColumn<int>("problem");
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("no ETag") << response("200 OK", "", record)
                             << response("412 Precondition Failed", "", "")
                             << int(ServerProblem::NoStrongEtag) << false;
    QTest::newRow("weak ETag") << response("200 OK", "ETag: W/\"1\"\r\n", record)
                               << response("412 Precondition Failed", "", "")
                               << int(ServerProblem::NoStrongEtag) << false;
    QTest::newRow("If-Match ignored")
        << response("200 OK", "ETag: \"1\"\r\n", record) << response("204 No Content", "", "")
        << int(ServerProblem::IgnoresConditions) << false;
    QTest::newRow("PUT forbidden") << response("200 OK", "ETag: \"1\"\r\n", record)
                                   << response("403 Forbidden", "", "")
                                   << int(ServerProblem::WriteRefused) << true;
    QTest::newRow("a server error") << response("500 Internal Server Error", "", "")
                                    << QByteArray() << int(ServerProblem::Status) << false;
    QTest::newRow("never answers") << QByteArray() << QByteArray() << int(ServerProblem::Unreachable)
                                   << false;
}

void RecordWebTest::serverThatCannotKeepSavesApartIsRefused()
{
    QFETCH(QByteArray, get);
    QFETCH(QByteArray, put);
    QFETCH(int, problem);
    QFETCH(bool, readOnly);
    CannedServer server;
    server.get = {get};
    server.put = {put};
    const Loaded loaded = loadFrom(server.url());
    QCOMPARE(serverProblem(readOnly ? loaded.readOnly : loaded.error), problem);
    QVERIFY(readOnly || !loaded.readOnly);
    // The check may PUT once; nothing else is written.
    QVERIFY(server.puts <= 1);
}

void RecordWebTest::saveOvertakenReadsAndDecidesAgain_data()
{
    // Another game's save lands between this save's read and its write.
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("standing");
    QTest::newRow("by a lower score: saved") << QByteArray("5\r\nCarla\r\n") << QString();
    QTest::newRow("by a higher score: it stands")
        << QByteArray("9\r\nCarla\r\n") << QStringLiteral("9\r\n");
}

void RecordWebTest::saveOvertakenReadsAndDecidesAgain()
{
    QFETCH(QByteArray, after);
    QFETCH(QString, standing);
    CannedServer server;
    // The read after the 412 finds the other save; the next try reads it
    // again, and its own save is what it reads back at last.
    const QByteArray other = response("200 OK", "ETag: \"2\"\r\n", after);
    server.get = {response("200 OK", "ETag: \"1\"\r\n", "3\r\nBruno\r\n"), other, other,
                  response("200 OK", "ETag: \"3\"\r\n", "6\r\nAnna\r\n")};
    server.put = {response("412 Precondition Failed", "", ""), response("204 No Content", "", "")};
    const Saved saved = saveTo(server.url(), QStringLiteral("6"), QStringLiteral("Anna"));
    QVERIFY(!saved.error);
    QCOMPARE(saved.standing ? saved.standing->score : QString(), standing);
    QCOMPARE(server.puts, standing.isEmpty() ? 2 : 1);
    // A score no record can hold is refused before anything is sent.
    const Saved refused = saveTo(server.url(), QStringLiteral("1234567"), QStringLiteral("Anna"));
    QCOMPARE(serverProblem(refused.error), int(ServerProblem::NotARecord));
    QCOMPARE(server.puts, standing.isEmpty() ? 2 : 1);
}

void RecordWebTest::serverStoppedMidGame()
{
    QVERIFY(writeBytes(m_server.recordFile(), "3\r\nBruno\r\n"));
    const QString url = m_server.url();
    QVERIFY(!loadFrom(url).error);
    m_server.stop();
    ServerStore store(url);
    QVERIFY(!finished(store.peek()));
    const Saved saved = saveTo(url, QStringLiteral("6"), QStringLiteral("Anna"));
    QCOMPARE(serverProblem(saved.error), int(ServerProblem::Unreachable));
    QCOMPARE(serverProblem(loadFrom(url).error), int(ServerProblem::Unreachable));
}

void RecordWebTest::aGameAgainstTheServerTellsThePupil()
{
    // A game whose record is the server's: shown at start, saved at Exit;
    // the next game's Exit, with the server gone, says why it was not.
    QVERIFY(writeBytes(m_server.recordFile(), "1\r\nBruno\r\n"));
    for (const bool serverGone : {false, true}) {
        Game game;
        game.platform.folder = m_server.url();
        game.platform.server = true;
        game.start(drawsFor(1, 1, 1, 0));
        QCOMPARE(game.platform.messageTexts(), QStringList());
        QCOMPARE(game.caption(game.w().lblpunti), serverGone ? "2\r\n" : "1\r\n");
        for (int right = 0; right < (serverGone ? 3 : 2); ++right) {
            game.platform.rng.draws = drawsFor(1, 1, 1, 0);
            game.answer(QStringLiteral("-1"));
            game.tavola->cmdNext_Click();
        }
        game.platform.calls.clear();
        if (serverGone)
            m_server.stop();
        game.tavola->cmdExit_Click();
        QTRY_VERIFY_WITH_TIMEOUT(game.platform.endedWith, 20000);
        const QStringList texts = game.platform.messageTexts();
        QCOMPARE(texts.size(), 2);
        if (serverGone) {
            QCOMPARE(texts.last(), QStringLiteral("Non sono riuscito a registrare il record sul "
                                                  "server %1\n(il server non risponde).")
                                       .arg(m_server.url()));
        } else {
            QCOMPARE(texts.last(), QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E"));
            QCOMPARE(bytesOf(m_server.recordFile()), QByteArray("2\r\nAnna\r\n"));
        }
    }
}

QTEST_MAIN(RecordWebTest)
#include "tst_recordweb.moc"
