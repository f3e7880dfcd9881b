// The school's web server for the tests: Debian's lighttpd with the
// configuration a school puts in place (docs/segni-record.lighttpd.conf),
// one process on 127.0.0.1 and a free port, its record folder a temporary
// one.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

namespace segni::testing {

class SchoolServer
{
public:
    static QString program() { return QStringLiteral("/usr/sbin/lighttpd"); }

    ~SchoolServer() { stop(); }

    // Empty when it serves; else why not.
    QString start()
    {
        if (!QFile::exists(program()))
            return QStringLiteral("lighttpd is not installed (Debian: lighttpd lighttpd-mod-webdav)");
        // A port free a moment ago may be taken by another test before
        // lighttpd binds it: lighttpd then ends, and another port is tried.
        QString why;
        for (int attempt = 0; attempt < 5; ++attempt) {
            why = startOnce();
            if (why.isEmpty() || m_server.state() != QProcess::NotRunning)
                return why;
            m_port = 0;
        }
        return why;
    }

    void stop()
    {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.terminate();
        m_server.waitForFinished(10000);
    }

    QString url() const
    {
        return QStringLiteral("http://127.0.0.1:%1/segni-record/record.txt").arg(m_port);
    }
    // The record as the server keeps it on disk.
    QString recordFile() const { return m_dir.filePath(QStringLiteral("record/record.txt")); }
    QString errorLog() const
    {
        QFile log(m_dir.filePath(QStringLiteral("error.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

private:
    QString startOnce()
    {
        if (!m_port) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            m_port = probe.serverPort();
        }
        QDir(m_dir.path()).mkpath(QStringLiteral("www"));
        QDir(m_dir.path()).mkpath(QStringLiteral("record"));
        QFile config(m_dir.filePath(QStringLiteral("lighttpd.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write the server's configuration");
        config.write(QStringLiteral(
            "server.document-root = \"%1/www\"\n"
            "server.bind = \"127.0.0.1\"\n"
            "server.port = %2\n"
            "server.errorlog = \"%1/error.log\"\n"
            "server.modules += ( \"mod_staticfile\" )\n"
            "include \"%3/segni-record.lighttpd.conf\"\n"
            "alias.url := ( \"/segni-record/\" => \"%1/record/\" )\n")
                         .arg(m_dir.path())
                         .arg(m_port)
                         .arg(QStringLiteral(SEGNI_DOCS_DIR))
                         .toUtf8());
        config.close();
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(program(), {QStringLiteral("-D"), QStringLiteral("-f"), config.fileName()});
        if (!m_server.waitForStarted(10000))
            return QStringLiteral("lighttpd did not start");
        for (int tries = 0; tries < 200; ++tries) {
            QTcpSocket socket;
            // Only a lighttpd still running after the connection is the
            // one that listens there.
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            const bool connected = socket.waitForConnected(100);
            if (m_server.waitForFinished(connected ? 200 : 0)
                || m_server.state() == QProcess::NotRunning)
                return QStringLiteral("lighttpd ended: %1").arg(errorLog());
            if (connected)
                return QString();
            QThread::msleep(25);
        }
        return QStringLiteral("lighttpd does not listen on port %1").arg(m_port);
    }

    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_port = 0;
};

} // namespace segni::testing
