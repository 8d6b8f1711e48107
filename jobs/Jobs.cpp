#include "jobs/Jobs.h"

#include <exception>

#include "core/Error.h"
#include "core/Paths.h"
#include "core/Reconstruction.h"
#include "core/ScopeExit.h"

namespace eks {

namespace {

// Runs a job's body; whatever escapes it becomes the error text.
template <class Outcome, class Body>
Outcome Guarded(Body body) {
    Outcome outcome;
    try {
        body(outcome);
    } catch (const std::exception& e) {
        outcome.error = e.what();
    } catch (...) {
        outcome.error = "Nieznany błąd";
    }
    return outcome;
}

// The wait after a launch: the whole time-out, or until the program has ended.
void WaitAfterLaunch(CoderRunner& runner, JobHost& host, int timeoutSeconds) {
    if (host.EndWaitWhenProgramEnds())
        runner.WaitForProgram(timeoutSeconds * 1000);
    else
        runner.WaitMs(timeoutSeconds * 1000);
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

std::string DecoderGaveNoOutputMessage(int seconds) {
    return std::string("Dekoder ") + kDecoderProgram + " nie utworzył pliku " + kDecoderOutput +
           " w ciągu " + std::to_string(seconds) +
           " s - obraz nie został zdekodowany (można wydłużyć czas na stronie „Opcje”)";
}

EncodeOutcome RunEncodeJob(const EncodeRequest& request, const ByteStream& file,
                           std::size_t pixelDataOffset, JobHost& host, CoderRunner& runner) {
    return Guarded<EncodeOutcome>([&](EncodeOutcome& outcome) {
        using End = EncodeOutcome::End;
        outcome.end = End::Failed;
        const std::string& workDir = request.place.workDir;
        ScopeExit cleanup{[&runner, &workDir] {
            runner.StopProgram();
            DeleteTempFiles(workDir, {kCoderInput, kCoderOutput});
        }};
        std::optional<ByteStream> bits = ExpandBitSequence(file, pixelDataOffset, request.bitOrder);
        if (!bits) {
            outcome.end = End::OutOfMemory;
            return;
        }
        bits->SaveToFile(workDir + kCoderInput);
        host.SetBusyCursor(true);
        {
            ScopeExit cursor{[&host] { host.SetBusyCursor(false); }};
            Launch(runner, host, request.place, true, request.order);
        }
        WaitAfterLaunch(runner, host, host.TimeoutSeconds());
        if (!runner.CollectOutput(workDir + kCoderOutput, *bits)) {
            outcome.end = End::NoOutput;
            return;
        }
        const bool pixelMajor = request.bitOrder == BitOrder::PixelMajor;
        const auto order = static_cast<std::uint8_t>(request.order);
        const std::optional<std::int64_t> size = WriteContainerFile(
            workDir + kCoderOutput, request.containerPath,
            {request.width, request.height, ContainerModeByte(order, pixelMajor)});
        if (!size) {
            outcome.end = End::OutputEmpty;
            return;
        }
        outcome.row = {request.rowName, request.sourceSize,       *size, request.width,
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
        {
            ByteStream container;
            container.LoadFromFile(request.containerPath);
            header = ParseContainerHeader(container, request.containerPath);
            fileSize = static_cast<std::int64_t>(container.Size());
            host.HeaderRead(header, fileSize);
            // A header may ask for pictures that cannot be had: say so before
            // the decoder is started at all.
            CheckDecodeMemory(header.width, header.height, ModeIsPlaneMajor(header.mode));
            container.Seek(kContainerHeaderSize);
            ByteStream payload;
            payload.Write(container.Data() + container.Position(), container.Remaining());
            payload.SaveToFile(workDir + kDecoderInput);
        }
        host.ShowStep("dekompresja");
        Launch(runner, host, request.place, false, ModeOrder(header.mode));
        host.ShowStep({});
        ScopeExit stop{[&runner] { runner.StopProgram(); }};
        const int timeoutSeconds = host.TimeoutSeconds();
        WaitAfterLaunch(runner, host, timeoutSeconds);
        if (!runner.CollectOutput(workDir + kDecoderOutput, outcome.decoded))
            throw Error(DecoderGaveNoOutputMessage(timeoutSeconds));
        outcome.decoded.Seek(0);
        if (ModeIsPlaneMajor(header.mode))
            ShowPasses(outcome.decoded, header, host, runner);
        else
            ShowPixelMajor(outcome.decoded, header, host);
        outcome.row = {
            request.rowName,       fileSize,      std::int64_t{header.width} * header.height,
            header.width,          header.height, 'D',
            ModeOrder(header.mode)};
        outcome.done = true;
    });
}

}  // namespace eks
