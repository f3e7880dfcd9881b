#include "otheraccount.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace segni::testing {

namespace {
// Accounts of the machine as the system sees them: no user need exist.
constexpr uid_t kPlayer = 4002;
constexpr uid_t kAnotherPupil = 4001;
} // namespace

QString whyNoOtherAccount()
{
    return ::geteuid() == 0 ? QString()
                            : QStringLiteral("playing another account needs root (CI runs as root)");
}

QStringList asOtherAccount(const QString &program, const QStringList &arguments)
{
    return QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(kPlayer),
                       QStringLiteral("--regid=%1").arg(kPlayer), QStringLiteral("--clear-groups"),
                       program}
        + arguments;
}

bool shareStickily(const QString &folder, const QString &givenAway)
{
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        if (::chmod(QFile::encodeName(folder + QLatin1Char('/') + name), 0666) != 0)
            return false;
    }
    return ::chown(QFile::encodeName(folder + QLatin1Char('/') + givenAway), kAnotherPupil,
                   kAnotherPupil)
        == 0
        && ::chmod(QFile::encodeName(folder), 01777) == 0;
}

} // namespace segni::testing
