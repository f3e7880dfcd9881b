// The school's web server for the tests: Debian's lighttpd, or Apache
// with mod_dav_fs, with the configuration a school puts in place
// (docs/segni-record.*.conf), on 127.0.0.1 and a free port, its record
// folder a temporary one. It is started by the helper the browser test uses too
// (tests/e2e/schoolserver.py), which picks the port, tries another when
// the first was taken, and ends the server when this end closes.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

namespace segni::testing {

class SchoolServer
{
public:
    // The helper, beside the docs folder the tests are given.
    static QString program()
    {
        return QDir::cleanPath(QStringLiteral(SEGNI_DOCS_DIR "/../tests/e2e/schoolserver.py"));
    }

    // kind: lighttpd or apache.
    explicit SchoolServer(QString kind = QStringLiteral("lighttpd"))
        : m_kind(std::move(kind))
    {
    }
    ~SchoolServer() { stop(); }

    // Empty when it serves; else why not. notInstalled() then tells a
    // server missing from this machine (a skip) from one that does not serve.
    QString start()
    {
        stop();
        m_port = 0;
        // The helper and the servers are Unix programs given Unix paths: a
        // Windows build's tests (under Wine) have no school server.
        m_missing = QSysInfo::kernelType() == QLatin1String("winnt");
        if (m_missing)
            return QStringLiteral("the school's server runs only beside a Unix build");
        m_helper.start(QStringLiteral("/usr/bin/python3"),
                       {program(), QStringLiteral("--kind"), m_kind, m_dir.path()});
        m_missing = !m_helper.waitForStarted(10000);
        if (m_missing)
            return QStringLiteral("python3 cannot run %1").arg(program());
        while (!m_helper.canReadLine() && m_helper.waitForReadyRead(30000)) {
        }
        m_port = m_helper.readLine().trimmed().toUShort();
        if (m_port)
            return QString();
        m_helper.closeWriteChannel();
        m_helper.waitForFinished(10000);
        m_missing = m_helper.exitStatus() == QProcess::NormalExit && m_helper.exitCode() == 77;
        const QString why = QString::fromUtf8(m_helper.readAllStandardError()).trimmed();
        return why.isEmpty() ? QStringLiteral("the school's server did not start") : why;
    }

    bool notInstalled() const { return m_missing; }

    void stop()
    {
        if (m_helper.state() == QProcess::NotRunning)
            return;
        // The helper ends the server when its input closes.
        m_helper.closeWriteChannel();
        if (!m_helper.waitForFinished(10000)) {
            m_helper.terminate();
            m_helper.waitForFinished(10000);
        }
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
    QString m_kind;
    QTemporaryDir m_dir;
    QProcess m_helper;
    quint16 m_port = 0;
    bool m_missing = false;
};

} // namespace segni::testing
