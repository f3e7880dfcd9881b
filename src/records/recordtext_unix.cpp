// Record files elsewhere than on Windows: UTF-8, and Windows-1252 for the
// files the Windows program wrote.

#include "recordtext.h"

#include <QStringDecoder>

namespace segni::records {

QByteArray encodeLine(const QString &text)
{
    return text.toUtf8() + QByteArrayLiteral("\r\n");
}

QString decodeFile(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? decodeWindows1252(bytes) : text;
}

} // namespace segni::records
