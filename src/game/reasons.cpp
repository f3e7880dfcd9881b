// Why the record cannot be used or saved, as the pupil's boxes say it.

#include "tavola.h"

#include <QUrl>

namespace segni {

namespace {

using namespace records;

// Calls the overload that takes the error's kind.
template <typename... Kinds>
struct Each : Kinds...
{
    using Kinds::operator()...;
};
template <typename... Kinds>
Each(Kinds...) -> Each<Kinds...>;

// The browser's storage has the one item a web page keeps, where a
// desktop keeps its folder.
const QString kBrowserPlace = QStringLiteral("localStorage/");
const QString kBrowserItem = QStringLiteral("localStorage/segni/record");

QString fileReason(const FileError &error)
{
    switch (error.problem) {
    case FileProblem::None:
        return QString();
    case FileProblem::Missing:
        return QStringLiteral("non esiste");
    case FileProblem::Exists:
        return QStringLiteral("esiste già");
    case FileProblem::Denied:
        return QStringLiteral("permesso negato");
    case FileProblem::NoSpace:
        return QStringLiteral("spazio su disco esaurito");
    case FileProblem::ReadOnlyFileSystem:
        return QStringLiteral("il disco è di sola lettura");
    case FileProblem::IsFolder:
        return QStringLiteral("al suo posto c'è una cartella");
    case FileProblem::NotFolder:
        return QStringLiteral("non è una cartella");
    case FileProblem::IsLink:
        return QStringLiteral("è un collegamento simbolico, che il gioco non segue");
    case FileProblem::NotPlainFile:
        return QStringLiteral("non è un file normale");
    case FileProblem::TooLarge:
        return QStringLiteral("è troppo grande per essere un file dei record");
    case FileProblem::Busy:
        return QStringLiteral("un'altra copia del gioco sta registrando un record");
    case FileProblem::Other:
        break;
    }
    return QStringLiteral("errore del sistema (codice %1)").arg(error.code);
}

// Where a redirect points, as a whole address: a Location may be relative
// to the record's. A whole one is shown as the server sent it.
QString movedTo(const ServerError &error)
{
    const QString location = QString::fromUtf8(error.location);
    const QUrl relative(location);
    if (!relative.isRelative())
        return location.left(300);
    return QUrl(error.url).resolved(relative).toString().left(300);
}

QString serverReason(const ServerError &error)
{
    switch (error.problem) {
    case ServerProblem::Unreachable:
        return QStringLiteral("il server non risponde");
    case ServerProblem::Status:
        return QStringLiteral("il server ha risposto con il codice %1").arg(error.status);
    case ServerProblem::Moved:
        return QStringLiteral("il server dice che il record si trova ora all'indirizzo %1 "
                              "(codice %2): va scritto quell'indirizzo nella chiave url di "
                              "segni.conf")
            .arg(movedTo(error), QString::number(error.status));
    case ServerProblem::NeedsPassword:
        return QStringLiteral("il server chiede una password (codice %1), ma il gioco non ne "
                              "invia: il record deve poter essere letto e scritto senza")
            .arg(error.status);
    case ServerProblem::WriteRefused:
        return QStringLiteral("il server non permette di scriverlo (codice %1)").arg(error.status);
    case ServerProblem::NoStrongEtag:
        return QStringLiteral("il server non invia ETag forti, senza i quali due giochi "
                              "potrebbero registrare il record nello stesso momento");
    case ServerProblem::IgnoresConditions:
        return QStringLiteral("il server non rispetta If-Match, quindi due giochi potrebbero "
                              "sovrascriversi il record a vicenda");
    case ServerProblem::CheckRefused:
        return QStringLiteral("il server non lascia verificare che rispetti If-Match: la prova, "
                              "all'indirizzo %1, ha avuto il codice %2, e la sua configurazione "
                              "deve permetterla")
            .arg(QString::fromUtf8(error.location), QString::number(error.status));
    case ServerProblem::TooManySaves:
        return QStringLiteral("troppi salvataggi nello stesso momento, riprova");
    case ServerProblem::NotARecord:
        return QStringLiteral("è troppo grande per essere un file dei record");
    }
    return QString();
}

QString browserReason(const BrowserError &error)
{
    switch (error.problem) {
    case BrowserProblem::StorageRefused:
        return QStringLiteral("il browser non permette di conservare dati per questa pagina");
    case BrowserProblem::Busy:
        return QStringLiteral("un'altra copia del gioco sta registrando un record");
    }
    return QString();
}

} // namespace

QString reasonText(const StoreError &error)
{
    return std::visit(Each{[](const FileError &e) { return fileReason(e); },
                           [](const ServerError &e) { return serverReason(e); },
                           [](const BrowserError &e) { return browserReason(e); }},
                      error);
}

QString reasonText(const SettingError &error)
{
    switch (error.problem) {
    case SettingProblem::Unreadable:
        return QStringLiteral("permesso negato");
    case SettingProblem::IsFolder:
        return QStringLiteral("al suo posto c'è una cartella");
    case SettingProblem::NotSettings:
        return QStringLiteral("non è scritto come un file di impostazioni");
    case SettingProblem::NotFullPath:
        return QStringLiteral("la chiave folder del gruppo [records] non indica un percorso "
                              "completo di una cartella");
    case SettingProblem::DriveRelative:
        // "C:\Classe" reads as "C:lasse": \C is an escape there.
        return QStringLiteral("la chiave folder del gruppo [records] non indica un percorso "
                              "completo di una cartella; si scrive C:/Classe oppure C:\\\\Classe");
    case SettingProblem::NotUrl:
        return QStringLiteral("la chiave url del gruppo [records] non indica un indirizzo "
                              "http:// o https://");
    case SettingProblem::Unreachable:
        return QStringLiteral("il server non risponde");
    case SettingProblem::Status:
        return QStringLiteral("il server ha risposto con il codice %1").arg(error.status);
    }
    return QString();
}

namespace {

// A start-up box's first line: a folder's (the folder, then the file and
// why), or a server's (its address once, then why).
QString placeText(const StoreError &error, const QString &folderText, const QString &serverText)
{
    const QString reason = reasonText(error);
    return std::visit(
        Each{[&](const FileError &e) { return folderText.arg(e.folder, e.path, reason); },
             [&](const ServerError &e) { return serverText.arg(e.url, reason); },
             [&](const BrowserError &) {
                 return folderText.arg(kBrowserPlace, kBrowserItem, reason);
             }},
        error);
}

} // namespace

QString unusableText(const StoreError &error)
{
    return placeText(error, QStringLiteral("Non riesco a usare la cartella dei record %1\n(%2: %3)."),
                     QStringLiteral("Non riesco a usare il record sul server %1\n(%2)."));
}

QString readOnlyText(const StoreError &error)
{
    return placeText(error,
                     QStringLiteral("Nella cartella dei record %1 non si può scrivere\n(%2: %3)."),
                     QStringLiteral("Sul server %1 non si può scrivere il record\n(%2)."));
}

QString unsafeText(const StoreError &error)
{
    const auto *file = std::get_if<FileError>(&error);
    return QStringLiteral("La cartella dei record %1 non permette ai giochi di registrare il "
                          "record uno alla volta\n(%2: %3).")
        .arg(file ? file->folder : QString(), file ? file->path : QString(), reasonText(error));
}

QString saveFailedText(const StoreError &error)
{
    const QString where = std::visit(
        Each{[](const FileError &e) { return QStringLiteral("nel file %1").arg(e.path); },
             [](const ServerError &e) { return QStringLiteral("sul server %1").arg(e.url); },
             [](const BrowserError &) { return QStringLiteral("nel file %1").arg(kBrowserItem); }},
        error);
    return QStringLiteral("Non sono riuscito a registrare il record %1\n(%2).")
        .arg(where, reasonText(error));
}

QString unusableName(const StoreError &error)
{
    return std::visit(Each{[](const FileError &e) { return e.path; },
                           [](const ServerError &e) { return e.url; },
                           [](const BrowserError &) { return kBrowserItem; }},
                      error);
}

} // namespace segni
