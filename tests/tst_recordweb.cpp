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

// Answers GETs, PUTs and DELETEs with canned responses, in turn (the last
// one again once they run out); or never answers at all, or ("drop") closes
// the connection without an answer. Keeps the head of every request.
class CannedServer : public QTcpServer
{
public:
    QList<QByteArray> get;
    QList<QByteArray> put;
    QList<QByteArray> remove{"HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"};
    int puts = 0;
    QList<QByteArray> asked;

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
                    QList<QByteArray> &answers =
                        isPut ? put : asked.startsWith("DELETE") ? remove : get;
                    this->asked.append(asked.left(end));
                    m_asked.remove(socket);
                    if (answers.isEmpty())
                        return; // silent
                    const QByteArray answer =
                        answers.size() > 1 ? answers.takeFirst() : answers.first();
                    if (answer.isEmpty())
                        return; // silent
                    if (answer == "drop") {
                        socket->abort();
                        return;
                    }
                    puts += isPut ? 1 : 0;
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

// A record served with its ETag.
QByteArray served(const QByteArray &etag, const QByteArray &body)
{
    return response("200 OK", "ETag: " + etag + "\r\n", body);
}

// The value of a header in a request's head; empty when it is not there.
QByteArray header(const QByteArray &head, const QByteArray &name)
{
    for (const QByteArray &line : head.split('\n')) {
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    }
    return QByteArray();
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
    void saveStandsOnlyOnWhatItReadsBack_data();
    void saveStandsOnlyOnWhatItReadsBack();
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
    const QByteArray refused = response("412 Precondition Failed", "", "");
    QTest::addColumn<QByteArray>("get");
    QTest::addColumn<QByteArray>("put");
    QTest::addColumn<int>("problem"); // -1: none
    QTest::addColumn<bool>("readOnly");
    // Part of the start-up box; SERVER stands for the canned server's address.
    QTest::addColumn<QString>("says");
    QTest::newRow("no ETag") << response("200 OK", "", record) << refused
                             << int(ServerProblem::NoStrongEtag) << false << QString();
    QTest::newRow("weak ETag") << response("200 OK", "ETag: W/\"1\"\r\n", record) << refused
                               << int(ServerProblem::NoStrongEtag) << false << QString();
    QTest::newRow("If-Match ignored")
        << response("200 OK", "ETag: \"1\"\r\n", record) << response("204 No Content", "", "")
        << int(ServerProblem::IgnoresConditions) << false << QStringLiteral("non rispetta If-Match");
    QTest::newRow("If-Match ignored, no record yet")
        << response("404 Not Found", "", "") << response("201 Created", "", "")
        << int(ServerProblem::IgnoresConditions) << false << QString();
    QTest::newRow("If-Match honoured: accepted") << served("\"1\"", record) << refused << -1 << false
                                                 << QString();
    QTest::newRow("the check's PUT forbidden")
        << response("200 OK", "ETag: \"1\"\r\n", record) << response("403 Forbidden", "", "")
        << int(ServerProblem::CheckRefused) << true
        << QStringLiteral("SERVER/segni-record/record.txt.segni-check, ha avuto il codice 403");
    QTest::newRow("a server error") << response("500 Internal Server Error", "", "")
                                    << QByteArray() << int(ServerProblem::Status) << false
                                    << QString();
    QTest::newRow("never answers") << QByteArray() << QByteArray() << int(ServerProblem::Unreachable)
                                   << false << QString();
    QTest::newRow("moved, to an address relative to the record's")
        << response("301 Moved Permanently", "Location: /nuovo/record.txt\r\n", "") << QByteArray()
        << int(ServerProblem::Moved) << false
        << QStringLiteral("all'indirizzo SERVER/nuovo/record.txt (codice 301): va scritto "
                          "quell'indirizzo nella chiave url di segni.conf");
    QTest::newRow("moved, to an address holding %1")
        << response("302 Found", "Location: https://server.example/%1/record.txt\r\n", "")
        << QByteArray() << int(ServerProblem::Moved) << false
        << QStringLiteral("all'indirizzo https://server.example/%1/record.txt (codice 302)");
    QTest::newRow("a password asked (401)")
        << response("401 Unauthorized", "WWW-Authenticate: Basic realm=\"x\"\r\n", "")
        << QByteArray() << int(ServerProblem::NeedsPassword) << false
        << QStringLiteral("chiede una password (codice 401), ma il gioco non ne invia");
    QTest::newRow("forbidden to read (403)")
        << response("403 Forbidden", "", "") << QByteArray() << int(ServerProblem::NeedsPassword)
        << false << QStringLiteral("chiede una password (codice 403), ma il gioco non ne invia");
}

void RecordWebTest::serverThatCannotKeepSavesApartIsRefused()
{
    QFETCH(QByteArray, get);
    QFETCH(QByteArray, put);
    QFETCH(int, problem);
    QFETCH(bool, readOnly);
    QFETCH(QString, says);
    CannedServer server;
    server.get = {get};
    server.put = {put};
    const Loaded loaded = loadFrom(server.url());
    QCOMPARE(serverProblem(readOnly ? loaded.readOnly : loaded.error), problem);
    QVERIFY(readOnly || !loaded.readOnly);
    if (!says.isEmpty()) {
        const QString box = readOnly ? readOnlyText(*loaded.readOnly) : unusableText(*loaded.error);
        const QString address = QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
        QVERIFY2(box.contains(QString(says).replace(QStringLiteral("SERVER"), address)),
                 qPrintable(box));
    }
    // The check may PUT once, beside the record, and take away what a
    // server that ignores conditions made there; the record itself is only
    // read, and asked for as the server keeps it, uncompressed.
    QVERIFY(server.puts <= 1);
    for (const QByteArray &head : std::as_const(server.asked)) {
        QVERIFY2(head.startsWith("GET /segni-record/record.txt ")
                     || head.startsWith("PUT /segni-record/record.txt.segni-check ")
                     || head.startsWith("DELETE /segni-record/record.txt.segni-check "),
                 head.constData());
        QCOMPARE(header(head, "Accept-Encoding"), QByteArray("identity"));
    }
    if (problem == int(ServerProblem::IgnoresConditions))
        QVERIFY(server.asked.last().startsWith("DELETE "));
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

void RecordWebTest::saveStandsOnlyOnWhatItReadsBack_data()
{
    // The server's answers in turn; the save is 6 by Anna, over 3 by Bruno.
    const QByteArray bruno = "3\r\nBruno\r\n";
    const QByteArray anna = "6\r\nAnna\r\n";
    QTest::addColumn<QList<QByteArray>>("gets");
    QTest::addColumn<QList<QByteArray>>("puts");
    QTest::addColumn<QString>("outcome"); // saved, or the problem's number
    QTest::addColumn<int>("putsSent");    // -1: any
    QTest::addColumn<QByteArray>("ifMatch"); // of the last PUT
    QTest::addColumn<int>("retries");
    // Apache's, for a second after another save's write.
    QTest::newRow("a weak ETag during the save: waited out, then saved")
        << QList<QByteArray>{served("W/\"1\"", bruno), served("\"1\"", bruno), served("\"2\"", anna)}
        << QList<QByteArray>{response("204 No Content", "", "")} << "saved" << 1
        << QByteArray("\"1\"") << 1;
    // Its PUT was applied, the answer lost; sent again, it got 412.
    QTest::newRow("412, and its own body read back: saved")
        << QList<QByteArray>{served("\"1\"", bruno), served("\"2\"", anna)}
        << QList<QByteArray>{response("412 Precondition Failed", "", "")} << "saved" << 1
        << QByteArray("\"1\"") << 0;
    // A server whose check of If-Match does not hold its write back let
    // another save in after this one.
    QTest::newRow("a lower record read back after a 2xx: saved again on its ETag")
        << QList<QByteArray>{served("\"1\"", bruno), served("\"2\"", "5\r\nCarla\r\n"),
                             served("\"2\"", "5\r\nCarla\r\n"), served("\"3\"", anna)}
        << QList<QByteArray>{response("204 No Content", "", "")} << "saved" << 2
        << QByteArray("\"2\"") << 1;
    QTest::newRow("no answer to the PUT, its own body read back: saved")
        << QList<QByteArray>{served("\"1\"", bruno), served("\"2\"", anna)}
        << QList<QByteArray>{"drop"} << "saved" << -1 << QByteArray("\"1\"") << 0;
}

void RecordWebTest::saveStandsOnlyOnWhatItReadsBack()
{
    QFETCH(QList<QByteArray>, gets);
    QFETCH(QList<QByteArray>, puts);
    QFETCH(QString, outcome);
    QFETCH(int, putsSent);
    QFETCH(QByteArray, ifMatch);
    QFETCH(int, retries);
    CannedServer server;
    server.get = gets;
    server.put = puts;
    const Saved saved = saveTo(server.url(), QStringLiteral("6"), QStringLiteral("Anna"));
    QCOMPARE(saved.saved() ? QStringLiteral("saved") : QString::number(serverProblem(saved.error)),
             outcome);
    QCOMPARE(saved.retries, retries);
    QList<QByteArray> sent;
    for (const QByteArray &head : std::as_const(server.asked)) {
        if (head.startsWith("PUT "))
            sent.append(head);
    }
    QVERIFY(!sent.isEmpty());
    if (putsSent >= 0)
        QCOMPARE(sent.size(), putsSent);
    QCOMPARE(header(sent.last(), "If-Match"), ifMatch);
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
