#pragma once

// The encode and decode jobs: from a loaded PGM image to a container file
// with its row, and from a container back to a picture, pass by pass in
// plane order, with its row.
//
// A job knows files and the coder programs, not widgets. Its inputs are
// captured once in a request; what the window reads live while a job runs
// (the time-out at each retry wait, the visible console at the launch, the
// pause before each pass) and what it shows (the step label, the progress,
// the pictures, its own events) go through JobHost, which the window
// implements and a headless caller gives its own. A job changes no
// process-wide state: the programs run in the job's working directory, so
// that jobs in different working directories can run side by side.
//
// A job never throws: what fails ends up as the outcome's error text, which
// the caller shows or records.

#include <cstdint>
#include <string>

#include "coder/Runner.h"
#include "core/BitSequence.h"
#include "core/ByteStream.h"
#include "core/Container.h"
#include "core/ExperimentState.h"
#include "core/Picture.h"

namespace eks {

// Where a job runs. Both directories end in a separator.
struct JobPlace {
    std::string programDir;  // holds arith-n.exe and earith-n.exe
    std::string workDir;     // the temporary files; the programs run here
};

// What a job reads and shows through its caller.
class JobHost : public RunnerHost {
  public:
    // Whether the coder's console is shown, read at each launch.
    virtual bool ConsoleVisible() = 0;
    // The pause before each later pass of a plane-order decode, in ms, read
    // before each pause.
    virtual int PassPauseMs() = 0;
    // Whether the wait after a launch ends as soon as the program has ended
    // (still bounded by the time-out) rather than after the whole time-out;
    // read right before the wait.
    virtual bool EndWaitWhenProgramEnds() = 0;
    // The header of the container being decoded, as soon as it has been read.
    virtual void HeaderRead(const ContainerHeader& header, std::int64_t fileSize) = 0;
    // The step of a decode: "dekompresja", "dekodowanie", "pasaż 1" ... or empty.
    virtual void ShowStep(const std::string& title) = 0;
    // The progress over the rows of one picture: range 0 to rows, position 0.
    virtual void StartProgress(int rows) = 0;
    virtual void StepProgress() = 0;
    virtual void ClearPicture() = 0;
    // A decoded picture (linear grey); the host may keep it, which shares its
    // bytes rather than copying them.
    virtual void ShowPicture(const GreyPicture& picture) = 0;
};

// A host that shows nothing, for a job without a window or a check that is
// not to be seen: no pauses, every wait ends with the program, the display
// steps do nothing. What it reads live is left to the one who uses it.
class ShowNothingHost : public JobHost {
  public:
    int PassPauseMs() override { return 0; }
    bool EndWaitWhenProgramEnds() override { return true; }
    void HeaderRead(const ContainerHeader&, std::int64_t) override {}
    void ShowStep(const std::string&) override {}
    void StartProgress(int) override {}
    void StepProgress() override {}
    void ClearPicture() override {}
    void ShowPicture(const GreyPicture&) override {}
};

struct EncodeRequest {
    JobPlace place;
    std::string containerPath;    // where the container goes, replacing what is there
    std::string rowName;          // the PGM file's name, for the row
    std::int64_t sourceSize = 0;  // the PGM file's size, for the row
    std::uint16_t width = 0;      // the image's size, for the header and the row
    std::uint16_t height = 0;
    int order = 1;  // 1 to 9
    BitOrder bitOrder = BitOrder::PlaneMajor;
};

struct EncodeOutcome {
    enum class End {
        ContainerWritten,  // the row is `row`
        OutputEmpty,       // the coder's output was empty when read again: nothing written
        NoOutput,          // the coder wrote no output in time (or did not start)
        OutOfMemory,       // the bit sequence could not be had; nothing was started
        Failed,            // `error` says why
    };
    End end = End::NoOutput;
    std::string error;
    TItemRec row;
};

// Codes the pixel bytes of `file` from pixelDataOffset to its end: the bit
// sequence into the coder's input, the coder started and waited for, its
// output collected and written into the container. The temporary files are
// gone and the coder stopped on every way out.
EncodeOutcome RunEncodeJob(const EncodeRequest& request, const ByteStream& file,
                           std::size_t pixelDataOffset, JobHost& host, CoderRunner& runner);

struct DecodeRequest {
    JobPlace place;
    std::string containerPath;
    std::string rowName;  // the name the row carries
};

struct DecodeOutcome {
    bool done = false;  // the picture was rebuilt and shown; else `error`
    std::string error;
    TItemRec row;
    ByteStream decoded;  // the decoder's output
};

// Decodes a container: its header read (HeaderRead), its payload handed to
// the decoder, the decoder waited for, its output rebuilt into a picture at
// once (pixel order) or in eight passes shown one after the other with a
// pause before each later one (plane order). The decoder's input and output
// files stay in the working directory.
DecodeOutcome RunDecodeJob(const DecodeRequest& request, JobHost& host, CoderRunner& runner);

std::string DecoderGaveNoOutputMessage(int seconds);

}  // namespace eks
