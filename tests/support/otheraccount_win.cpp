#include "otheraccount.h"

namespace segni::testing {

QString whyNoOtherAccount()
{
    return QStringLiteral("another account is played on Unix only");
}

QStringList asOtherAccount(const QString &program, const QStringList &arguments)
{
    return QStringList{program} + arguments;
}

bool shareStickily(const QString &, const QString &)
{
    return false;
}

} // namespace segni::testing
