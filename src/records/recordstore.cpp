#include "recordstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <vector>
#endif

namespace segni::records {

namespace {

QString lockFileName()
{
    return QStringLiteral("segni.lock");
}

// Windows-1252 differs from Latin-1 in 0x80..0x9f only.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

[[maybe_unused]] QString decodeCp1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text.append(b >= 0x80 && b < 0xa0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

std::optional<FileError> writeWhole(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return FileError{path, file.errorString()};
    const QByteArray bytes = encodeLine(text);
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return FileError{path, reason};
    }
    if (!file.commit())
        return FileError{path, file.errorString()};
    return std::nullopt;
}

} // namespace

QString systemRecordFolder()
{
#ifdef Q_OS_WIN
    // Ask for the length first, so that no path is cut short.
    UINT length = GetWindowsDirectoryW(nullptr, 0);
    std::vector<wchar_t> buffer(length + 1);
    length = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
    return QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(length));
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/segni");
#endif
}

QString withTrailingSeparator(const QString &folder)
{
#ifdef Q_OS_WIN
    const QChar separator = QLatin1Char('\\');
    if (folder.endsWith(separator) || folder.endsWith(QLatin1Char('/')))
        return folder;
#else
    const QChar separator = QLatin1Char('/');
    if (folder.endsWith(separator))
        return folder;
#endif
    return folder + separator;
}

std::optional<FileError> ensureFiles(const QString &cartella)
{
    QDir dir(cartella);
    if (!dir.exists() && !QDir().mkpath(cartella)) {
        // mkpath gives no reason of its own; name the usual ones.
        QString reason = QStringLiteral("impossibile creare la cartella");
        for (QFileInfo up(QDir::cleanPath(cartella)); !up.filePath().isEmpty();
             up = QFileInfo(up.path())) {
            if (up.exists()) {
                if (!up.isDir())
                    reason = QStringLiteral("%1 non è una cartella").arg(up.filePath());
                else if (!up.isWritable())
                    reason = QStringLiteral("permesso negato in %1").arg(up.filePath());
                break;
            }
            if (up.filePath() == up.path())
                break;
        }
        return FileError{cartella, reason};
    }
    for (const QString &name : {scoreFileName(), holderFileName()}) {
        QFile file(cartella + name);
        const QFileInfo info(file.fileName());
        if (info.isDir())
            return FileError{file.fileName(), QStringLiteral("al suo posto c'è una cartella")};
        // A pipe or a device would block or never end: only plain files.
        if (info.exists() && !info.isFile())
            return FileError{file.fileName(), QStringLiteral("non è un file normale")};
        if (!file.open(QIODevice::Append))
            return FileError{file.fileName(), file.errorString()};
        file.close();
    }
    return std::nullopt;
}

QString readRecordFile(const QString &path)
{
    QFile file(path);
    // Only a plain file can be a record file; a pipe would block the game.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QString();
    // A record file is a few bytes; anything much larger is not one, and
    // must not be read whole into a label.
    const QByteArray bytes = file.read(kMaxRecordFileBytes + 1);
    if (bytes.size() > kMaxRecordFileBytes)
        return QString();
    return decodeFile(bytes);
}

std::optional<FileError> saveRecord(const QString &cartella, const QString &score,
                                    const QString &holder)
{
    if (!QDir(cartella).exists() && !QDir().mkpath(cartella))
        return FileError{cartella, QStringLiteral("impossibile creare la cartella")};
    QLockFile lock(cartella + lockFileName());
    lock.setStaleLockTime(30 * 1000);
    if (!lock.tryLock(10 * 1000)) {
        const QString reason = lock.error() == QLockFile::LockFailedError
            ? QStringLiteral("un'altra copia del gioco sta registrando un record")
            : QStringLiteral("impossibile creare il file di blocco %1")
                  .arg(cartella + lockFileName());
        return FileError{cartella + scoreFileName(), reason};
    }
    if (auto error = writeWhole(cartella + scoreFileName(), score))
        return error;
    return writeWhole(cartella + holderFileName(), holder);
}

QByteArray encodeLine(const QString &text)
{
#ifdef Q_OS_WIN
    QByteArray bytes = text.toLocal8Bit();
#else
    QByteArray bytes = text.toUtf8();
#endif
    bytes.append("\r\n", 2);
    return bytes;
}

QString decodeFile(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    return QString::fromLocal8Bit(bytes);
#else
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeCp1252(bytes);
#endif
}

} // namespace segni::records
