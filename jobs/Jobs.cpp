#include "jobs/Jobs.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <span>

#include "coder/arith/engine/Crc32c.h"
#include "coder/arith/engine/StreamFormat.h"
#include "core/Error.h"
#include "core/Files.h"
#include "core/Memory.h"
#include "core/Paths.h"
#include "core/Reconstruction.h"
#include "core/ScopeExit.h"

namespace eks {

namespace {

// Runs a job's body; whatever escapes it ends the job with its text.
template <class Outcome, class Body>
Outcome Guarded(Body body) {
    using End = typename Outcome::End;
    Outcome outcome;
    try {
        body(outcome);
    } catch (const JobInterrupted& e) {
        outcome.end = End::Interrupted;
        outcome.error = e.what();
    } catch (const std::exception& e) {
        outcome.end = End::Failed;
        outcome.error = e.what();
    } catch (...) {
        outcome.end = End::Failed;
        outcome.error = "Nieznany błąd";
    }
    return outcome;
}

// The wait after a launch: the whole time-out, or until the program has
// ended; a program that fails ends it at once either way. Returns whether
// the program was still running at its end.
bool WaitAfterLaunch(CoderRunner& runner, JobHost& host, int timeoutSeconds) {
    runner.WaitForProgram(timeoutSeconds * 1000, host.EndWaitWhenProgramEnds());
    return runner.ProgramRunning();
}

// Stops the program and removes what it may have left half written under a
// temporary name of its own output.
void StopAndClearUp(CoderRunner& runner, const std::string& workDir, const char* output) {
    runner.StopProgram();
    RemoveSaveLeftovers(workDir, output);
}

// The length of the original that the coder's stream declares in its
// header, when the header can be read; the decoder itself names what is
// wrong with one that cannot.
std::optional<std::uint64_t> DeclaredLength(const ByteStream& payload) {
    if (payload.Size() < arith::kHeaderSize) return std::nullopt;
    try {
        return arith::ParseHeader(std::span<const std::uint8_t, arith::kHeaderSize>(
                                      payload.Data(), arith::kHeaderSize))
            .length;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void Launch(CoderRunner& runner, JobHost& host, const JobPlace& place, bool coder, int order) {
    const bool visible = host.ConsoleVisible();
    if (coder)
        runner.RunCoder(place.programDir, place.workDir, order, visible);
    else
        runner.RunDecoder(place.programDir, place.workDir, order, visible);
}

// The picture of a pixel-order container, built at once.
void ShowPixelMajor(ByteStream& decoded, const ContainerHeader& header, JobHost& host) {
    GreyPicture picture = GreyPicture::Make(header.width, header.height);
    host.ShowStep(kPixelMajorTitle);
    host.StartProgress(header.height);
    ReconstructPixelMajor(
        decoded, header.width, header.height, [&picture](int r) { return picture.Row(r); },
        [&host] { host.StepProgress(); });
    host.ClearPicture();
    host.ShowPicture(picture);
}

// The eight passes of a plane-order container: each shown as soon as it is
// built (the first) or after the pause (the later ones), each later one
// adding its plane to the pass on show.
void ShowPasses(ByteStream& decoded, const ContainerHeader& header, JobHost& host,
                CoderRunner& runner) {
    decoded.Seek(0);
    GreyPicture shown;
    for (int pass = 1; pass <= 8; ++pass) {
        host.ShowStep(PassTitle(pass));
        GreyPicture picture = GreyPicture::Make(header.width, header.height);
        host.StartProgress(header.height);
        ReconstructPass(
            decoded, pass, header.width, header.height,
            [&picture](int r) { return picture.Row(r); }, [&shown](int r) { return shown.Row(r); },
            [&host] { host.StepProgress(); });
        if (pass > 1) {
            runner.WaitMs(host.PassPauseMs());
            host.ClearPicture();
        }
        host.ShowPicture(picture);
        shown = std::move(picture);  // the previous pass is let go here
        host.ProcessEvents();
    }
}

}  // namespace

std::string CoderGaveNoOutputMessage(int seconds, const std::string& hint) {
    return std::string("Koder ") + kCoderProgram + " nie utworzył pliku " + kCoderOutput +
           " - nie zdążył w ciągu " + std::to_string(seconds) + " s (" + hint + ")";
}

std::string CoderOutputEmptyMessage() {
    return std::string("Koder ") + kCoderProgram + " zostawił pusty plik " + kCoderOutput +
           " - kontener nie został zapisany";
}

std::string CoderFailedMessage(const std::string& why) {
    return std::string("Koder ") + kCoderProgram + " nie utworzył pliku " + kCoderOutput + ": " +
           why;
}

std::string CoderEndedWithoutOutputMessage() {
    return std::string("Koder ") + kCoderProgram + " zakończył pracę, nie tworząc pliku " +
           kCoderOutput;
}

std::string CoderOutputNotThisJobsMessage(const std::string& what) {
    return std::string("Wynik kodera ") + kCoderProgram + " nie pochodzi z tego zadania: " + what +
           " - kontener nie został zapisany";
}

std::string CoderOutputDifference(const ByteStream& output, std::uint64_t length, std::uint32_t crc,
                                  int order) {
    const std::uint8_t* p = output.Data();
    if (output.Size() < arith::kMagic.size() ||
        !std::equal(arith::kMagic.begin(), arith::kMagic.end(), p))
        return {};
    arith::StreamHeader header;
    try {
        if (output.Size() < arith::kHeaderSize) {
            // The version is known from the first five bytes: an unknown one
            // is named as such, not as a cut header.
            if (output.Size() >= arith::kPrefixSize)
                arith::CheckPrefix(
                    std::span<const std::uint8_t, arith::kPrefixSize>(p, arith::kPrefixSize));
            return "nagłówek strumienia jest ucięty";
        }
        header = arith::ParseHeader(
            std::span<const std::uint8_t, arith::kHeaderSize>(p, arith::kHeaderSize));
    } catch (const std::exception& e) {
        return std::string("nagłówek strumienia jest błędny (") + e.what() + ")";
    }
    if (header.length != length)
        return "strumień opisuje " + std::to_string(header.length) +
               " bajtów, a ciąg bitów obrazu ma " + std::to_string(length);
    if (header.crc != crc)
        return "strumień opisuje inny obraz tej samej wielkości (suma CRC-32C się nie zgadza)";
    if (header.order != order)
        return "strumień ma rząd " + std::to_string(header.order) + " zamiast " +
               std::to_string(order);
    return {};
}

std::string DecoderFailedMessage(const std::string& why) {
    return std::string("Dekoder ") + kDecoderProgram + " nie utworzył pliku " + kDecoderOutput +
           ": " + why;
}

std::string DecodedTooLargeMessage(const std::string& path, std::uint64_t length) {
    return "Kontener " + path + " zapowiada " + std::to_string(length) +
           " bajtów po zdekodowaniu, więcej niż dopuszczalne " + std::to_string(MemoryBudget()) +
           " bajtów pamięci - nie został zdekodowany";
}

std::string DecoderGaveNoOutputMessage(int seconds, const std::string& hint) {
    return std::string("Dekoder ") + kDecoderProgram + " nie utworzył pliku " + kDecoderOutput +
           " w ciągu " + std::to_string(seconds) + " s - obraz nie został zdekodowany (" + hint +
           ")";
}

EncodeOutcome RunEncodeJob(const EncodeRequest& request, const ByteStream& file,
                           std::size_t pixelDataOffset, JobHost& host, CoderRunner& runner) {
    return Guarded<EncodeOutcome>([&](EncodeOutcome& outcome) {
        using End = EncodeOutcome::End;
        const std::string& workDir = request.place.workDir;
        ScopeExit cleanup{[&runner, &workDir] {
            StopAndClearUp(runner, workDir, kCoderOutput);
            DeleteTempFiles(workDir, {kCoderInput, kCoderOutput});
        }};
        std::optional<ByteStream> bits =
            ExpandBitSequence(file, pixelDataOffset, request.bitOrder, BitSequenceBudget());
        if (!bits) {
            outcome.end = End::OutOfMemory;
            outcome.error = kOutOfMemoryMessage;
            return;
        }
        // What the coder's stream must declare: the bytes it is given.
        const std::uint64_t inputLength = bits->Size();
        const std::uint32_t inputCrc = arith::Crc32c::Of(bits->Data(), bits->Size());
        bits->SaveToFile(workDir + kCoderInput, SafeSave::Links::Replace);
        host.SetBusyCursor(true);
        {
            ScopeExit cursor{[&host] { host.SetBusyCursor(false); }};
            Launch(runner, host, request.place, true, request.order);
        }
        const int timeoutSeconds = host.TimeoutSeconds();
        const bool running = WaitAfterLaunch(runner, host, timeoutSeconds);
        // The output replaces the bit sequence in memory: what is checked
        // below is what becomes the container.
        bool collected = false;
        try {
            collected = runner.CollectOutput(workDir + kCoderOutput, *bits);
        } catch (const OutputStaysEmpty&) {
            outcome.end = End::OutputEmpty;
            outcome.error = CoderOutputEmptyMessage();
            return;
        }
        if (!collected) {
            const std::string why = runner.ProgramFailure();
            outcome.end = why.empty() ? End::NoOutput : End::ProgramFailed;
            outcome.error = !why.empty() ? CoderFailedMessage(why)
                            : running ? CoderGaveNoOutputMessage(timeoutSeconds, host.TimeoutHint())
                                      : CoderEndedWithoutOutputMessage();
            return;
        }
        if (const std::string differs =
                CoderOutputDifference(*bits, inputLength, inputCrc, request.order);
            !differs.empty()) {
            outcome.end = End::OutputNotThisJobs;
            outcome.error = CoderOutputNotThisJobsMessage(differs);
            return;
        }
        const bool pixelMajor = request.bitOrder == BitOrder::PixelMajor;
        const auto order = static_cast<std::uint8_t>(request.order);
        // The image is coded at the size of the picture it makes, which an
        // image without pixels does not have.
        const bool hasPixels = request.width != 0 && request.height != 0;
        const ContainerHeader header{hasPixels ? request.width : std::uint16_t{0},
                                     hasPixels ? request.height : std::uint16_t{0},
                                     ContainerModeByte(order, pixelMajor)};
        std::int64_t size = 0;
        try {
            size = WriteContainer(*bits, request.containerPath, header);
        } catch (const ContainerNotCreatable& e) {
            outcome.end = End::ContainerNotCreatable;
            outcome.error = e.what();
            return;
        }
        outcome.row = {request.rowName, request.sourceSize,       size, request.width,
                       request.height,  EncodeOpCode(pixelMajor), order};
        outcome.end = End::ContainerWritten;
    });
}

DecodeOutcome RunDecodeJob(const DecodeRequest& request, JobHost& host, CoderRunner& runner) {
    return Guarded<DecodeOutcome>([&](DecodeOutcome& outcome) {
        const std::string& workDir = request.place.workDir;
        host.ClearPicture();
        ContainerHeader header;
        std::int64_t fileSize = 0;
        std::optional<std::uint64_t> declared;
        {
            ByteStream container;
            container.LoadUserFile(request.containerPath);
            header = ParseContainerHeader(container, request.containerPath);
            fileSize = static_cast<std::int64_t>(container.Size());
            host.HeaderRead(header, fileSize);
            // A header may ask for pictures that cannot be had: say so before
            // the decoder is started at all.
            if (request.rebuild)
                CheckDecodeMemory(header.width, header.height, ModeIsPlaneMajor(header.mode));
            container.Seek(kContainerHeaderSize);
            ByteStream payload;
            payload.Write(container.Data() + container.Position(), container.Remaining());
            // So may the stream: the decoder writes what its header declares.
            declared = DeclaredLength(payload);
            if (declared && *declared > request.allowance && !FitsMemoryBudget(*declared))
                throw Error(DecodedTooLargeMessage(request.containerPath, *declared));
            payload.SaveToFile(workDir + kDecoderInput, SafeSave::Links::Replace);
        }
        host.ShowStep("dekompresja");
        Launch(runner, host, request.place, false, ModeOrder(header.mode));
        host.ShowStep({});
        ScopeExit stop{[&runner, &workDir] { StopAndClearUp(runner, workDir, kDecoderOutput); }};
        const int timeoutSeconds = host.TimeoutSeconds();
        const bool running = WaitAfterLaunch(runner, host, timeoutSeconds);
        // Never more than the stream declared; an empty output is the whole
        // of a stream that declared nothing.
        const CollectLimit limit{declared.value_or(MemoryBudget()), declared == std::uint64_t{0}};
        if (!runner.CollectOutput(workDir + kDecoderOutput, outcome.decoded, limit)) {
            const std::string why = runner.ProgramFailure();
            outcome.end =
                why.empty() ? DecodeOutcome::End::NoOutput : DecodeOutcome::End::ProgramFailed;
            outcome.error = !why.empty() ? DecoderFailedMessage(why)
                            : running
                                ? DecoderGaveNoOutputMessage(timeoutSeconds, host.TimeoutHint())
                                : DecoderFailedMessage("zakończył pracę bez wyniku");
            return;
        }
        outcome.decoded.Seek(0);
        if (request.rebuild) {
            if (ModeIsPlaneMajor(header.mode))
                ShowPasses(outcome.decoded, header, host, runner);
            else
                ShowPixelMajor(outcome.decoded, header, host);
        }
        outcome.row = {
            request.rowName,       fileSize,      std::int64_t{header.width} * header.height,
            header.width,          header.height, 'D',
            ModeOrder(header.mode)};
        outcome.end = DecodeOutcome::End::Done;
    });
}

}  // namespace eks
