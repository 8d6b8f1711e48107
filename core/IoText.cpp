#include "core/IoText.h"

#include <cerrno>

namespace eks {

std::string IoCauseText(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
            return "brak dostępu";
        case ENOSPC:
            return "brak miejsca na dysku";
        case EFBIG:
            return "plik przekracza dozwolony rozmiar";
#ifdef EDQUOT
        case EDQUOT:
            return "przekroczony przydział dyskowy";
#endif
        case ENOENT:
            return "nie ma takiego pliku ani katalogu";
        case ENOTDIR:
            return "składnik ścieżki nie jest katalogiem";
        case ENAMETOOLONG:
            return "za długa nazwa pliku";
        case EROFS:
            return "nośnik tylko do odczytu";
        case EISDIR:
            return "to jest katalog";
        case EIO:
            return "błąd wejścia/wyjścia";
        case EEXIST:
            return "istnieje już plik o tej nazwie";
        case ELOOP:
            return "pętla dowiązań symbolicznych";
        case 0:
            return "nieznana przyczyna";
        default:
            return "błąd wejścia/wyjścia " + std::to_string(err);
    }
}

std::string ReadErrorMessage(const std::string& path, int err) {
    return "Błąd odczytu pliku " + path + " (" + IoCauseText(err) + ")";
}

std::string WriteErrorMessage(const std::string& path, int err) {
    return "Błąd zapisu pliku " + path + " (" + IoCauseText(err) + ")";
}

}  // namespace eks
