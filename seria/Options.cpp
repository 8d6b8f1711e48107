#include "seria/Options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>

#include "core/Container.h"
#include "core/Files.h"
#include "core/IoText.h"

namespace eks::seria {

namespace {

// A whole decimal number from lo to hi, digits only; nothing otherwise.
std::optional<int> NumberIn(std::string_view text, int lo, int hi) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lo || value > hi) return std::nullopt;
    return value;
}

std::string Quoted(std::string_view text) {
    return "„" + std::string(text) + "”";
}

namespace fs = std::filesystem;

// The file a name leads to: its device and inode when it exists, else the
// full path it would have, so that two names of one file compare equal.
std::string FileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    std::error_code ec;
    return fs::weakly_canonical(fs::absolute(SaveTargetPath(path), ec), ec).string();
}

// 0 when this process may use `path` so (W_OK, X_OK), else the system's cause.
int AccessError(const fs::path& path, int mode) {
    return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0 ? 0 : errno;
}

// Why a folder (to write in, or to make a folder in) will not do; empty when
// it will.
std::string FolderProblem(const fs::path& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return "nie ma katalogu " + Quoted(dir.string());
    if (!S_ISDIR(st.st_mode)) return Quoted(dir.string()) + " nie jest katalogiem";
    if (const int error = AccessError(dir, W_OK | X_OK); error != 0)
        return "nie można zapisywać w katalogu " + Quoted(dir.string()) + " (" +
               IoCauseText(error) + ")";
    return {};
}

// Why the report or the CSV could not be saved under `path`; empty when it
// could. A save puts a new file in place of the old one, so the folder must
// take a new file and an existing file must be one the user may write.
std::string OutputFileProblem(const std::string& path) {
    struct stat st {};
    fs::path dir = fs::path(path).parent_path();
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return "to katalog";
        if (!S_ISREG(st.st_mode)) return "to nie jest zwykły plik, lecz potok albo urządzenie";
        if (const int error = AccessError(path, W_OK); error != 0)
            return "nie można go nadpisać (" + IoCauseText(error) + ")";
        std::error_code ec;
        dir = fs::canonical(path, ec).parent_path();  // where a link leads
    } else if (errno != ENOENT && errno != ENOTDIR) {
        return IoCauseText(errno);
    } else {
        dir = fs::path(SaveTargetPath(path)).parent_path();  // where a dangling link leads
    }
    return FolderProblem(dir.empty() ? fs::path(".") : dir);
}

// Why the containers' folder will not do: it must be a folder that can be
// written, or be made in the nearest folder above it that exists.
std::string OutFolderProblem(const std::string& path) {
    fs::path dir = path;
    struct stat st {};
    while (::stat(dir.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        const fs::path up = dir.parent_path();
        if (up == dir) break;
        dir = up.empty() ? fs::path(".") : up;
    }
    return FolderProblem(dir);
}

}  // namespace

std::vector<int> ParseOrders(std::string_view text) {
    const UsageError bad("nieprawidłowe rzędy " + Quoted(text) +
                         " (rzędy od 1 do 9, na przykład 1-9, 3,5,9 albo 1-3,7)");
    std::set<int> orders;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string_view item = text.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        const auto first = NumberIn(item.substr(0, dash), 1, 9);
        const auto last =
            dash == std::string_view::npos ? first : NumberIn(item.substr(dash + 1), 1, 9);
        if (!first || !last || *last < *first) throw bad;
        for (int order = *first; order <= *last; ++order)
            orders.insert(order);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return {orders.begin(), orders.end()};
}

std::vector<BitOrder> ParseBitOrders(std::string_view text) {
    const bool valid = !text.empty() && text.find_first_not_of("BP") == std::string_view::npos;
    if (!valid)
        throw UsageError("nieprawidłowy porządek bitów " + Quoted(text) + " (B, P albo BP)");
    std::vector<BitOrder> orders;
    if (text.find('B') != std::string_view::npos) orders.push_back(BitOrder::PixelMajor);
    if (text.find('P') != std::string_view::npos) orders.push_back(BitOrder::PlaneMajor);
    return orders;
}

Options ParseOptions(const std::vector<std::string>& args) {
    Options options;
    std::string orders = "1-9", bitOrders = "BP";
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            options.images.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        // --name=value, --name value, -j N and -jN.
        std::string name = arg, value;
        bool hasValue = false;
        if (const std::size_t eq = arg.find('=');
            arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        } else if (arg.starts_with("-j") && arg.size() > 2) {
            name = "-j";
            value = arg.substr(2);
            hasValue = true;
        }
        const auto takeValue = [&]() -> std::string {
            if (!hasValue) {
                if (i + 1 >= args.size()) throw UsageError("opcja " + name + " wymaga wartości");
                value = args[++i];
            }
            if (value.empty()) throw UsageError("opcja " + name + " wymaga wartości");
            return value;
        };
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--check" || name == "--references" || name == "--plane-costs" ||
                   name == "--sort" || name == "--merge") {
            if (hasValue) throw UsageError("opcja " + name + " nie przyjmuje wartości");
            bool& flag = name == "--check"         ? options.check
                         : name == "--references"  ? options.references
                         : name == "--plane-costs" ? options.planeCosts
                         : name == "--sort"        ? options.sort
                                                   : options.merge;
            flag = true;
        } else if (name == "--shard") {
            const std::string text = takeValue();
            const std::size_t slash = text.find('/');
            const auto n = slash == std::string::npos
                               ? std::nullopt
                               : NumberIn(text.substr(slash + 1), 1, 1000000);
            const auto k = n ? NumberIn(text.substr(0, slash), 1, *n) : std::nullopt;
            if (!k)
                throw UsageError("nieprawidłowa część " + Quoted(text) +
                                 " (K/N, K od 1 do N, na przykład 2/8)");
            options.shard = {*k, *n};
        } else if (name == "--orders") {
            orders = takeValue();
        } else if (name == "--bit-orders") {
            bitOrders = takeValue();
        } else if (name == "--timeout") {
            const std::string text = takeValue();
            const auto seconds = NumberIn(text, 1, 2147483);
            if (!seconds)
                throw UsageError("nieprawidłowy czas " + Quoted(text) +
                                 " (liczba sekund od 1 do 2147483)");
            options.timeoutSeconds = *seconds;
        } else if (name == "-j") {
            const std::string text = takeValue();
            const auto jobs = NumberIn(text, 1, 1024);
            if (!jobs)
                throw UsageError("nieprawidłowa liczba zadań " + Quoted(text) + " (od 1 do 1024)");
            options.jobs = *jobs;
        } else if (name == "--report") {
            options.reportPath = takeValue();
        } else if (name == "--csv") {
            options.csvPath = takeValue();
        } else if (name == "--out") {
            options.outDir = takeValue();
        } else {
            throw UsageError("nieznana opcja " + Quoted(name));
        }
    }
    if (options.help) return options;
    options.orders = ParseOrders(orders);
    options.bitOrders = ParseBitOrders(bitOrders);
    if (options.merge) {
        if (options.shard.n > 0) throw UsageError("opcji --merge nie łączy się z --shard");
        if (options.csvPath.empty()) throw UsageError("--merge wymaga opcji --csv");
        if (options.images.empty()) throw UsageError("nie podano żadnego pliku CSV części");
        return options;
    }
    if (options.images.empty()) throw UsageError("nie podano żadnego obrazu");
    // Globs sort differently on different hosts: the plan must not.
    if (options.sort) std::sort(options.images.begin(), options.images.end());
    return options;
}

void CheckContainerNames(const std::vector<std::string>& images) {
    for (std::size_t i = 0; i < images.size(); ++i)
        for (std::size_t k = 0; k < i; ++k)
            if (ContainerName(images[k], true, 1) == ContainerName(images[i], true, 1))
                throw UsageError("obrazy " + Quoted(images[k]) + " i " + Quoted(images[i]) +
                                 " dałyby kontenery o tych samych nazwach (" +
                                 ContainerName(images[i], true, 1) + "...)");
}

void CheckImagesExist(const std::vector<std::string>& images) {
    for (const std::string& image : images) {
        struct stat st {};
        if (::stat(image.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
            throw UsageError("obraz " + Quoted(image) + " nie istnieje");
    }
}

void CheckOutputPaths(const Options& options) {
    const auto refuse = [](const char* option, const std::string& path, const std::string& why) {
        return UsageError(std::string(option) + " " + Quoted(path) + ": " + why);
    };
    const auto checkFile = [&](const char* option, const std::string& path) {
        if (path.empty()) return;
        if (const std::string why = OutputFileProblem(path); !why.empty())
            throw refuse(option, path, why);
        for (const std::string& image : options.images)
            if (FileIdentity(image) == FileIdentity(path))
                throw refuse(option, path, "to obraz wejściowy " + Quoted(image));
    };
    checkFile("--report", options.reportPath);
    checkFile("--csv", options.csvPath);
    if (!options.reportPath.empty() && !options.csvPath.empty() &&
        FileIdentity(options.reportPath) == FileIdentity(options.csvPath))
        throw UsageError("--report " + Quoted(options.reportPath) + " i --csv " +
                         Quoted(options.csvPath) + " to ten sam plik");
    if (options.outDir.empty()) return;
    if (const std::string why = OutFolderProblem(options.outDir); !why.empty())
        throw refuse("--out", options.outDir, why);
}

std::string HelpText() {
    return R"(Użycie: eksperymenty-seria [opcje] OBRAZ.pgm...
       eksperymenty-seria --merge --csv CAŁOŚĆ.csv [--report RAPORT] CZĘŚĆ.csv...

Koduje każdy podany obraz PGM koderem arith-n.exe we wszystkich wybranych
rzędach i porządkach bitów, tak jak przycisk „Koduj” w oknie, i zapisuje
kontenery .ybq. Programy arith-n.exe i earith-n.exe muszą stać w katalogu
tego programu.

Opcje:
  --orders RZĘDY      rzędy kodera: zakres 1-9, lista 3,5,9 albo oba razem
                      (1-3,7); domyślnie 1-9
  --bit-orders BP     porządek bitów: B (bez przeplotu, piksel po pikselu),
                      P (z przeplotem, płaszczyzna po płaszczyźnie) albo BP;
                      domyślnie BP
  --timeout S         najdłuższy czas jednego przebiegu kodera w sekundach;
                      domyślnie 120
  --check             dekoduje każdy kontener programem earith-n.exe
                      i porównuje wynik z ciągiem bitów obrazu
  -j N                liczba zadań wykonywanych równolegle; domyślnie tyle,
                      ile rdzeni ma komputer
  --report PLIK       raport w tej samej postaci co „Zapisz wyniki” w oknie
                      (Windows-1250, CR LF)
  --csv PLIK          wyniki w postaci CSV (UTF-8), jeden wiersz na zadanie:
                      image,bit_order,order,width,height,pixels,size_before,
                      size_after,bpp_before,bpp_after,check,error
  --references        dodaje do CSV kolumny kt_bpp,cond_entropy_bpp,h0_bpp:
                      długość kodu adaptacyjnego modelu KT i entropię
                      warunkową ciągu bitów przy rzędzie zadania oraz
                      entropię H0 pikseli, w bitach na piksel; liczone
                      z samych zliczeń, bez dodatkowego przebiegu modelu
  --plane-costs       dodaje do CSV kolumny plane7_bpp ... plane0_bpp: ile
                      bitów na piksel model kodera wydaje na każdą
                      płaszczyznę bitową (jeden dodatkowy przebieg modelu
                      na zadanie)
  --out KATALOG       katalog kontenerów; domyślnie wyniki/ obok programu
  --sort              porządkuje obrazy według ścieżki (bajt po bajcie)
                      przed planowaniem, tak by plan był ten sam na każdym
                      komputerze
  --shard K/N         wykonuje tylko zadania K, K+N, K+2N ... planu (K od 1
                      do N); wiersze CSV kończą się wtedy kolumnami
                      job,shard,plan (numer zadania, K/N, odcisk planu)
  --merge             łączy pliki CSV części jednego planu (podane zamiast
                      obrazów) w CSV (--csv) i raport (--report) takie, jakie
                      dałby jeden przebieg całego planu
  -h, --help          ten opis

Kolumny --references i --plane-costs idą po kolumnie error, w tej
kolejności, i są puste w wierszach zadań, które się nie udały; bez --csv
te opcje nic nie liczą.

Wiersze raportu i pliku CSV idą w kolejności podanych obrazów, w każdym
obrazie najpierw B, potem P, a w nich rosnąco według rzędu - niezależnie
od -j. Postęp i błędy trafiają na standardowe wyjście błędów.

Kod wyjścia: 0 - wszystkie zadania się udały; 1 - któreś się nie udało
(także nieudane sprawdzenie --check); 2 - błędne wywołanie.
)";
}

}  // namespace eks::seria
