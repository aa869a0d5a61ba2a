#include "error.h"

#include <zip.h>

#include <cerrno>
#include <cstring>

namespace transit {

std::string systemReason(int code)
{
    switch (code) {
    case ENOSPC:
        return "auf dem Datenträger ist kein Platz mehr";
    case EDQUOT:
        return "das Speicherkontingent ist erschöpft";
    case EFBIG:
        return "die Datei würde zu groß";
    case EROFS:
        return "das Dateisystem ist nur lesbar eingehängt";
    case EACCES:
    case EPERM:
        return "keine Berechtigung";
    case ENOENT:
        return "den Ordner oder die Datei gibt es nicht";
    case ENOTDIR:
        return "ein Teil des Pfads ist kein Ordner";
    case EISDIR:
        return "das ist ein Ordner";
    case ENAMETOOLONG:
        return "der Name ist zu lang";
    case ELOOP:
        return "zu viele symbolische Verknüpfungen";
    case EIO:
        return "Ein-/Ausgabefehler des Datenträgers";
    case EPIPE:
        return "der Empfänger hat die Leitung geschlossen";
    case ENXIO:
        return "das Gerät gibt es nicht";
    case ENOMEM:
        return "der Arbeitsspeicher reicht nicht";
    case EMFILE:
    case ENFILE:
        return "zu viele offene Dateien";
    case ETXTBSY:
        return "die Datei wird gerade ausgeführt";
    case EBUSY:
        return "die Datei ist belegt";
    default: {
        const char* name = strerrorname_np(code);
        return "Systemfehler " + (name ? std::string(name) : std::to_string(code));
    }
    }
}

std::string zipReason(int zipCode, int systemCode)
{
    switch (zipCode) {
    case ZIP_ER_ZLIB:
        return "die gepackten Daten sind beschädigt";
    case ZIP_ER_COMPNOTSUPP:
        return "sie ist mit einem Verfahren gepackt, das hier nicht gelesen wird";
    case ZIP_ER_CRC:
        return "die Prüfsumme stimmt nicht, die Datei ist beschädigt";
    case ZIP_ER_EOF:
        return "das Zip ist abgeschnitten";
    case ZIP_ER_INCONS:
    case ZIP_ER_NOZIP:
#ifdef ZIP_ER_TRUNCATED_ZIP
    case ZIP_ER_TRUNCATED_ZIP:
#endif
        return "das Zip ist beschädigt oder abgeschnitten";
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return "sie ist verschlüsselt";
    case ZIP_ER_MEMORY:
        return systemReason(ENOMEM);
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_OPEN:
        return systemReason(systemCode);
    default:
        return "Fehler " + std::to_string(zipCode) + " der Zip-Bibliothek";
    }
}

} // namespace transit
