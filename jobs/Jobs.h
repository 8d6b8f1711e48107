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
// A job never throws: what fails ends up as the outcome's end and its error
// text, which the caller shows or records.

#include <cstdint>
#include <string>

#include "coder/Runner.h"
#include "core/BitSequence.h"
#include "core/ByteStream.h"
#include "core/Container.h"
#include "core/Error.h"
#include "core/ExperimentState.h"
#include "core/Picture.h"

namespace eks {

// Where a job runs. Both directories end in a separator.
struct JobPlace {
    std::string programDir;  // holds arith-n.exe and earith-n.exe
    std::string workDir;     // the temporary files; the programs run here
};

// Thrown by a host's ProcessEvents to stop the job that is waiting: the job
// ends as interrupted, its program stopped and its temporary files gone.
class JobInterrupted : public Error {
  public:
    JobInterrupted() : Error("przerwano") {}
};

// What a job reads and shows through its caller.
class JobHost : public RunnerHost {
  public:
    // How the user can give the programs more time, for the texts of a
    // program that gave no output in time: the window points at its page
    // "Opcje", the command line at its option.
    virtual std::string TimeoutHint() = 0;
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

// Another host's events and live reads, with nothing shown: the steps of a
// series and their checks. `endWait` makes every wait end with the program.
class QuietHost : public ShowNothingHost {
  public:
    QuietHost(JobHost& host, bool endWait) : host_(host), endWait_(endWait) {}
    void ProcessEvents() override { host_.ProcessEvents(); }
    int TimeoutSeconds() override { return host_.TimeoutSeconds(); }
    void SetBusyCursor(bool busy) override { host_.SetBusyCursor(busy); }
    bool ConsoleVisible() override { return host_.ConsoleVisible(); }
    std::string TimeoutHint() override { return host_.TimeoutHint(); }
    bool EndWaitWhenProgramEnds() override { return endWait_ || host_.EndWaitWhenProgramEnds(); }

  private:
    JobHost& host_;
    bool endWait_;
};

struct EncodeRequest {
    JobPlace place;
    std::string containerPath;    // where the container goes, replacing what is there
    std::string rowName;          // the PGM file's name, for the row
    std::int64_t sourceSize = 0;  // the PGM file's size, for the row
    // The image's size as its header gives it, for the row; the container's
    // header holds it too, or 0 × 0 for an image without pixels.
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    int order = 1;  // 1 to 9
    BitOrder bitOrder = BitOrder::PlaneMajor;
};

struct EncodeOutcome {
    enum class End {
        ContainerWritten,       // the row is `row`
        OutputEmpty,            // the coder's output was empty when read again: nothing written
        NoOutput,               // the coder wrote no output in time
        OutOfMemory,            // the bit sequence could not be had; nothing was started
        ContainerNotCreatable,  // the container's file could not be written
        ProgramFailed,          // the coder did not start or ended with an error: it says why
        OutputNotThisJobs,      // our stream, but not of this job's input: nothing written
        Interrupted,            // the host stopped the job while it waited
        Failed,                 // anything else
    };
    End end = End::NoOutput;
    std::string error;  // the text of every end but ContainerWritten
    TItemRec row;
};

// Codes the pixel bytes of `file` from pixelDataOffset to its end: the bit
// sequence into the coder's input, the coder started and waited for, its
// output collected, checked against the job (an output in our stream format
// must declare this job's input: its length, its CRC-32C and the order) and
// written into the container. The temporary files are
// gone and the coder stopped on every way out.
EncodeOutcome RunEncodeJob(const EncodeRequest& request, const ByteStream& file,
                           std::size_t pixelDataOffset, JobHost& host, CoderRunner& runner);

struct DecodeRequest {
    JobPlace place;
    std::string containerPath;
    std::string rowName;  // the name the row carries
    // Whether the picture is rebuilt and shown; a check wants only the
    // decoder's output, which needs no picture of the image's size.
    bool rebuild = true;
    // Decoded bytes the caller can hold whatever the memory budget: a check
    // expects the bit sequence it has just coded.
    std::uint64_t allowance = 0;
};

struct DecodeOutcome {
    enum class End {
        Done,           // the picture was rebuilt and shown
        NoOutput,       // the decoder wrote no output in time
        ProgramFailed,  // the decoder did not start or ended with an error: it says why
        Interrupted,    // the host stopped the job while it waited
        Failed,         // anything else
    };
    End end = End::Failed;
    std::string error;  // the text of every end but Done
    bool Done() const { return end == End::Done; }
    TItemRec row;
    ByteStream decoded;  // the decoder's output
};

// Decodes a container: its header read (HeaderRead), its payload handed to
// the decoder, the decoder waited for, its output rebuilt into a picture at
// once (pixel order) or in eight passes shown one after the other with a
// pause before each later one (plane order). A stream that declares more
// bytes than the memory budget (or the request's allowance) allows is
// refused before the decoder starts,
// and no more of the decoder's output is read than the stream declared. The
// decoder's input and output files stay in the working directory.
DecodeOutcome RunDecodeJob(const DecodeRequest& request, JobHost& host, CoderRunner& runner);

// The texts of the programs' failures; `hint` is the host's TimeoutHint.
std::string CoderGaveNoOutputMessage(int seconds, const std::string& hint);
std::string CoderOutputEmptyMessage();
std::string CoderEndedWithoutOutputMessage();
// `why`: the program's own reason (CoderRunner::ProgramFailure).
std::string CoderFailedMessage(const std::string& why);
// The coder's output is a stream of ours that does not declare this job's
// input; `what` says what differs.
std::string CoderOutputNotThisJobsMessage(const std::string& what);
// What differs between a coder's output and the job that asked for it: the
// bit sequence's length and CRC-32C, and the order. Empty when the output is
// this job's stream, or when it does not begin with our stream's magic (a
// coder program of the user's own, taken as it is).
std::string CoderOutputDifference(const ByteStream& output, std::uint64_t length, std::uint32_t crc,
                                  int order);
std::string DecoderFailedMessage(const std::string& why);
// A container whose stream declares more decoded bytes than the memory
// budget allows.
std::string DecodedTooLargeMessage(const std::string& path, std::uint64_t length);
std::string DecoderGaveNoOutputMessage(int seconds, const std::string& hint);

}  // namespace eks
