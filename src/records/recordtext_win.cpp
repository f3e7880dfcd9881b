// Record files on Windows: the system's ANSI code page, as the game has
// always written them.

#include "recordtext.h"

namespace segni::records {

QByteArray encodeLine(const QString &text)
{
    return text.toLocal8Bit() + QByteArrayLiteral("\r\n");
}

QString decodeFile(const QByteArray &bytes)
{
    return QString::fromLocal8Bit(bytes);
}

} // namespace segni::records
