// Where the record lives on Windows when nobody chose: the Windows
// directory, as the game has always kept it, where this account may make
// files in it; else the pupil's own folder, which is where Windows itself
// redirected the original program's files for an ordinary account.

#include "folderplace.h"

#include "recordfile.h"

#include <QDir>

#include <qt_windows.h>

#include <vector>

namespace segni::records {

namespace {

QString windowsDirectory()
{
    // Ask for the length first, so that no path is cut short.
    UINT length = GetWindowsDirectoryW(nullptr, 0);
    std::vector<wchar_t> buffer(length + 1);
    length = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
    return QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(length));
}

} // namespace

QString systemRecordFolder()
{
    const QString windows = windowsDirectory();
    fs::Folder folder;
    if (folder.open(windows).ok() && folder.takesNewFiles())
        return windows;
    return QDir::toNativeSeparators(ownRecordFolder());
}

bool isFullPath(const QString &path)
{
    const bool drive = path.size() >= 3 && path.at(0).isLetter() && path.at(1) == QLatin1Char(':')
        && path.at(2) == QLatin1Char('/');
    return drive || path.startsWith(QLatin1String("//"));
}

} // namespace segni::records
