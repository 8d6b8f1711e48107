// A report saved over a pipe or over a file its user may not write.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "core/Error.h"
#include "core/TestFiles.h"
#include "core/Unprivileged.h"
#include "results/Report.h"

namespace eks {
namespace {

const ResultRow kExampleRow = {"1",     "obraz.pgm", "P/3",    "65,536",
                               "8.002", "3.663",     "65,551", "30,005"};

// The report's refusals carry the same text as its other creation failures,
// and what was there before keeps its bytes.
TEST(Report, ARefusedNameKeepsWhatIsThereAndIsNamed) {
    TempDir dir;
    std::filesystem::permissions(dir.Dir(), std::filesystem::perms::all);
    const auto writeText = [](const std::string& path) -> std::string {
        try {
            WriteReport(path, {kExampleRow}, "11:00:00");
            return "";
        } catch (const Error& e) {
            return e.what();
        }
    };

    const std::string pipe = dir.File("pipe.txt");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    EXPECT_EQ(writeText(pipe), "Cannot create file " + pipe);
    struct stat st {};
    ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    const std::string locked = dir.File("wyniki.txt");
    WriteFile(locked, "an earlier report");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    // 0 refused with the expected text, 1 written, 2 another text, 3 out of reach.
    const int status = RunUnprivileged([&] {
        if (::access(locked.c_str(), R_OK) != 0) return 3;
        const std::string text = writeText(locked);
        return text.empty() ? 1 : text == "Cannot create file " + locked ? 0 : 2;
    });
    EXPECT_EQ(status, 0) << UnprivilegedStatusText(status)
                         << " (1 written, 2 another text, 3 the test folder is out of reach)";
    EXPECT_EQ(ReadFile(locked), "an earlier report");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()), {}), 2);
}

}  // namespace
}  // namespace eks
