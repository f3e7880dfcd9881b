// Why the record files could not be used, as the pupil's boxes say it.

#include "tavola.h"

namespace segni {

QString reasonText(const records::FileError &error)
{
    using records::Problem;
    switch (error.problem) {
    case Problem::None:
        return QString();
    case Problem::Missing:
        return QStringLiteral("non esiste");
    case Problem::Exists:
        return QStringLiteral("esiste già");
    case Problem::Denied:
        return QStringLiteral("permesso negato");
    case Problem::NoSpace:
        return QStringLiteral("spazio su disco esaurito");
    case Problem::ReadOnlyFileSystem:
        return QStringLiteral("il disco è di sola lettura");
    case Problem::IsFolder:
        return QStringLiteral("al suo posto c'è una cartella");
    case Problem::NotFolder:
        return QStringLiteral("non è una cartella");
    case Problem::IsLink:
        return QStringLiteral("è un collegamento simbolico, che il gioco non segue");
    case Problem::NotPlainFile:
        return QStringLiteral("non è un file normale");
    case Problem::TooLarge:
        return QStringLiteral("è troppo grande per essere un file dei record");
    case Problem::Busy:
        return QStringLiteral("un'altra copia del gioco sta registrando un record");
    case Problem::NotSettings:
        return QStringLiteral("non è scritto come un file di impostazioni");
    case Problem::NotFullPath:
        return QStringLiteral("la chiave folder del gruppo [records] non indica un percorso "
                              "completo di una cartella");
    case Problem::DriveRelative:
        // "C:\Classe" reads as "C:lasse": \C is an escape there.
        return QStringLiteral("la chiave folder del gruppo [records] non indica un percorso "
                              "completo di una cartella; si scrive C:/Classe oppure C:\\\\Classe");
    case Problem::StorageRefused:
        return QStringLiteral("il browser non permette di conservare dati per questa pagina");
    case Problem::NotUrl:
        return QStringLiteral("la chiave url del gruppo [records] non indica un indirizzo "
                              "http:// o https://");
    case Problem::Unreachable:
        return QStringLiteral("il server non risponde");
    case Problem::HttpStatus:
        if (error.code == 412)
            return QStringLiteral("troppi salvataggi nello stesso momento, riprova");
        return QStringLiteral("il server ha risposto con il codice %1").arg(error.code);
    case Problem::WriteRefused:
        return QStringLiteral("il server non permette di scriverlo (codice %1)").arg(error.code);
    case Problem::NoStrongEtag:
        return QStringLiteral("il server non invia ETag forti, senza i quali due giochi "
                              "potrebbero registrare il record nello stesso momento");
    case Problem::IgnoresConditions:
        return QStringLiteral("il server non rispetta If-Match, quindi due giochi potrebbero "
                              "sovrascriversi il record a vicenda");
    case Problem::Other:
        break;
    }
    return QStringLiteral("errore del sistema (codice %1)").arg(error.code);
}

} // namespace segni
