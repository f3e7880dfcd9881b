#include "recordplace.h"

#include <QUrl>

namespace segni::records {

std::optional<RecordPlace> serverSetting(const QSettings &settings, const QString &file)
{
    const QVariant value = settings.value(QStringLiteral("records/url"));
    if (!value.isValid())
        return std::nullopt;
    RecordPlace found;
    found.kind = RecordPlace::Kind::Server;
    found.shared = true;
    const QString url = value.toString().trimmed();
    const bool web = url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    if (!web || QUrl(url).host().isEmpty())
        found.problem = SettingError{file, SettingProblem::NotUrl};
    else
        found.where = url;
    return found;
}

} // namespace segni::records
