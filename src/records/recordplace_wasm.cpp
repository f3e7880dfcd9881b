// Where a web page keeps the record: in the browser, unless the school put
// a segni.conf beside the page that names a record on its web server, as a
// desktop's administrator does.

#include "recordplace.h"

#include "serverstore.h"
#include "webexchange.h"

#include <QTemporaryFile>

namespace segni::records {

Task<RecordPlace> locateRecordPlace()
{
    const QString file = QStringLiteral("segni.conf");
    const WebRequest get{"GET", file, {}, false, {}};
    const WebReply setting = co_await exchange(get, kWebTimeoutMs, 16 * 1024);
    RecordPlace browser;
    if (setting.status == 200 && !setting.tooLarge) {
        QTemporaryFile copy;
        if (copy.open() && copy.write(setting.body) == setting.body.size() && copy.flush()) {
            const QSettings settings(copy.fileName(), QSettings::IniFormat);
            if (settings.status() != QSettings::NoError) {
                browser.shared = true;
                browser.problem = SettingError{file, SettingProblem::NotSettings};
                co_return browser;
            }
            if (auto server = serverSetting(settings, file))
                co_return *server;
        }
    } else if (setting.status != 404) {
        // Whether the school set a record on its server is unknown: the
        // browser's own is not used in its place.
        browser.shared = true;
        browser.problem = SettingError{file,
                                       setting.status == 0 ? SettingProblem::Unreachable
                                                           : SettingProblem::Status,
                                       setting.status};
    }
    co_return browser;
}

} // namespace segni::records
