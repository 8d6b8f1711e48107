#include "coder/arith/cli/Cli.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <charconv>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <new>
#include <string_view>

#include "coder/arith/cli/FileIo.h"
#include "coder/arith/engine/Codec.h"
#include "core/Files.h"

namespace eks::arith {
namespace {

constexpr const char* kCompressorName = "arith-n.exe";
constexpr const char* kDecompressorName = "earith-n.exe";

void PrintUsage(std::ostream& err, bool compressor) {
    if (compressor) {
        err << "Użycie: arith-n.exe WEJŚCIE WYJŚCIE [-o RZĄD]\n"
               "Kompresuje plik WEJŚCIE do pliku WYJŚCIE adaptacyjnym binarnym koderem\n"
               "arytmetycznym rzędu RZĄD (od 0 do 15, bez -o: 0).\n";
    } else {
        err << "Użycie: earith-n.exe WEJŚCIE WYJŚCIE [-o RZĄD]\n"
               "Odtwarza do pliku WYJŚCIE plik skompresowany WEJŚCIE utworzony przez\n"
               "arith-n.exe. Rząd zapisany w pliku ma pierwszeństwo przed RZĄD.\n";
    }
}

std::optional<int> ParseOrder(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < 0 || value > kMaxOrder) {
        return std::nullopt;
    }
    return value;
}

std::string FormatDecimal(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string s = buf;
    for (char& c : s) {
        if (c == '.') c = ',';
    }
    return s;
}

void PrintSummary(std::ostream& out, const char* program, const CliArgs& args, uint64_t in_size,
                  uint64_t out_size, uint64_t original, uint64_t compressed, int order,
                  double seconds) {
    const double rate =
        original == 0 ? 0.0 : 8.0 * static_cast<double>(compressed) / static_cast<double>(original);
    out << program << ": " << args.input << " " << in_size << " B -> " << args.output << " "
        << out_size << " B, " << FormatDecimal(rate, 3) << " bit/B, rząd " << order << ", czas "
        << FormatDecimal(seconds, 3) << " s\n";
}

std::string CodecErrorText(const CodecError& e, const std::string& input) {
    const std::string file = "\u201E" + input + "\u201D";
    switch (e.kind()) {
        case CodecError::Kind::kCorruptStream:
            return "plik " + file + " jest uszkodzony lub niepełny: " + e.what();
        case CodecError::Kind::kUnknownVersion:
            return "pliku " + file + " nie można odtworzyć: " + e.what();
        case CodecError::Kind::kInputChanged:
            return e.what() + (" (" + file + ")");
        case CodecError::Kind::kOrderOutOfRange:
            break;
    }
    return e.what();
}

// Runs `body`, turning the errors of the engine and of the files into a message and status.
template <typename Body>
int Guard(const char* program, const CliArgs& args, std::ostream& err, Body body) {
    try {
        body();
        return kExitOk;
    } catch (const FileError& e) {
        err << program << ": " << e.what() << "\n";
    } catch (const CodecError& e) {
        err << program << ": " << CodecErrorText(e, args.input) << "\n";
    } catch (const std::bad_alloc&) {
        err << program << ": za mało pamięci\n";
    } catch (const std::exception& e) {
        err << program << ": błąd: " << e.what() << "\n";
    }
    return kExitFailure;
}

std::vector<std::string> ToArgs(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

bool StdoutIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

int Main(bool compressor, const std::vector<std::string>& args) {
    IgnoreFileSizeSignal();
#ifdef _WIN32
    // The messages' bytes are the same on every system: "\n" ends a line, as the workbench
    // reads it.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
    std::ostream* summary = StdoutIsTerminal() ? &std::cout : nullptr;
    return compressor ? RunCompressor(args, std::cerr, summary)
                      : RunDecompressor(args, std::cerr, summary);
}

}  // namespace

std::optional<CliArgs> ParseCliArgs(const std::vector<std::string>& args) {
    CliArgs parsed;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o") {
            if (parsed.order_given || i + 1 >= args.size()) return std::nullopt;
            const auto order = ParseOrder(args[++i]);
            if (!order) return std::nullopt;
            parsed.order = *order;
            parsed.order_given = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return std::nullopt;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2 || positional[0].empty() || positional[1].empty()) {
        return std::nullopt;
    }
    parsed.input = positional[0];
    parsed.output = positional[1];
    return parsed;
}

int RunCompressor(const std::vector<std::string>& args, std::ostream& err, std::ostream* summary) {
    const auto parsed = ParseCliArgs(args);
    if (!parsed) {
        PrintUsage(err, true);
        return kExitUsage;
    }
    return Guard(kCompressorName, *parsed, err, [&] {
        const auto start = std::chrono::steady_clock::now();
        FileSource input(parsed->input);
        OutputFile output(parsed->output);
        const StreamHeader header = Encode(input, parsed->order, output);
        output.Commit();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (summary) {
            PrintSummary(*summary, kCompressorName, *parsed, header.length, output.BytesWritten(),
                         header.length, output.BytesWritten(), header.order, elapsed.count());
        }
    });
}

int RunDecompressor(const std::vector<std::string>& args, std::ostream& err,
                    std::ostream* summary) {
    const auto parsed = ParseCliArgs(args);
    if (!parsed) {
        PrintUsage(err, false);
        return kExitUsage;
    }
    return Guard(kDecompressorName, *parsed, err, [&] {
        const auto start = std::chrono::steady_clock::now();
        FileSource input(parsed->input);
        OutputFile output(parsed->output);
        DecodeOptions options;
        options.on_header = [&](const StreamHeader& header) {
            if (parsed->order_given && parsed->order != header.order) {
                err << kDecompressorName << ": uwaga: plik \u201E" << parsed->input
                    << "\u201D zakodowano z rzędem " << header.order << ", podany rząd "
                    << parsed->order << " pominięto\n";
            }
        };
        const StreamHeader header = Decode(input, output, options);
        output.Commit();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (summary) {
            PrintSummary(*summary, kDecompressorName, *parsed, input.BytesRead(),
                         output.BytesWritten(), header.length, input.BytesRead(), header.order,
                         elapsed.count());
        }
    });
}

int CompressorMain(int argc, char** argv) {
    return Main(true, ToArgs(argc, argv));
}

int DecompressorMain(int argc, char** argv) {
    return Main(false, ToArgs(argc, argv));
}

#ifdef _WIN32

namespace {

// The wide arguments in UTF-8: every name the user can type survives, whatever the system's
// code page.
std::vector<std::string> ToArgs(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(Utf8String(std::filesystem::path(argv[i])));
    return args;
}

}  // namespace

int CompressorMain(int argc, wchar_t** argv) {
    return Main(true, ToArgs(argc, argv));
}

int DecompressorMain(int argc, wchar_t** argv) {
    return Main(false, ToArgs(argc, argv));
}

#endif

}  // namespace eks::arith
