#include "seria/Options.h"

#include <optional>
#include <set>

#include "core/Container.h"

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
        } else if (name == "--check") {
            if (hasValue) throw UsageError("opcja --check nie przyjmuje wartości");
            options.check = true;
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
    if (options.images.empty()) throw UsageError("nie podano żadnego obrazu");
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

std::string HelpText() {
    return R"(Użycie: eksperymenty-seria [opcje] OBRAZ.pgm...

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
                      size_after,bpp_before,bpp_after,check
  --out KATALOG       katalog kontenerów; domyślnie wyniki/ obok programu
  -h, --help          ten opis

Wiersze raportu i pliku CSV idą w kolejności podanych obrazów, w każdym
obrazie najpierw B, potem P, a w nich rosnąco według rzędu - niezależnie
od -j. Postęp i błędy trafiają na standardowe wyjście błędów.

Kod wyjścia: 0 - wszystkie zadania się udały; 1 - któreś się nie udało
(także nieudane sprawdzenie --check); 2 - błędne wywołanie.
)";
}

}  // namespace eks::seria
