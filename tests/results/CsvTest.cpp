#include "results/Csv.h"
#include "results/CsvReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "core/Error.h"
#include "core/TestFiles.h"

namespace eks {
namespace {

ResultRecord Rec(const TItemRec& item, const std::string& path, CheckState check = {}) {
    ResultRecord record;
    record.path = path;
    record.item = item;
    record.check = check;
    return record;
}

TEST(Csv, HeaderAndRowsOfAnEncodeAndADecode) {
    EXPECT_EQ(CsvHeaderLine(),
              "image,bit_order,order,width,height,pixels,size_before,size_after,bpp_before,"
              "bpp_after,check,error\n");

    // The results table's worked example: obraz.pgm, plane order, order 3.
    const TItemRec encode{"obraz.pgm", 65551, 30005, 256, 256, 'P', 3};
    EXPECT_EQ(CsvLine(Rec(encode, "obrazy/obraz.pgm", CheckState::Passed)),
              "obrazy/obraz.pgm,P,3,256,256,65536,65551,30005,8.001831,3.662720,ok,\n");

    // A decode row, as the window's table holds it, with no check.
    const TItemRec decode{"obraz_P3.ybq", 30005, 65536, 256, 256, 'D', 3};
    EXPECT_EQ(CsvLine(Rec(decode, "obraz_P3.ybq")),
              "obraz_P3.ybq,D,3,256,256,65536,30005,65536,3.662720,8.000000,,\n");

    // Sizes and pixel counts beyond 32 bits stay whole.
    const TItemRec large{"duzy.pgm", 4294967296, 3000000000, 65535, 65535, 'B', 9};
    EXPECT_EQ(CsvLine(Rec(large, "duzy.pgm")),
              "duzy.pgm,B,9,65535,65535,4294836225,4294967296,3000000000,8.000244,5.588106,,\n");

    // Without pixels the two ratios are empty, never "inf" or "nan"; a
    // record before any job has no operation letter.
    EXPECT_EQ(CsvLine(Rec({"pusty.pgm", 15, 20, 0, 7, 'P', 1}, "pusty.pgm")),
              "pusty.pgm,P,1,0,7,0,15,20,,,,\n");
    EXPECT_EQ(CsvLine({}), ",,0,0,0,0,0,0,,,,\n");

    // A job of a series that failed: the values it does not have are empty,
    // its text is the last column; one that had its image keeps its values.
    ResultRecord failed = Rec({"brak.pgm", 0, 0, 0, 0, 'B', 2}, "a/brak.pgm");
    failed.hasImage = failed.hasContainer = false;
    failed.error = "Cannot open file a/brak.pgm";
    EXPECT_EQ(CsvLine(failed), "a/brak.pgm,B,2,,,,,,,,,Cannot open file a/brak.pgm\n");
    failed = Rec(encode, "obraz.pgm");
    failed.hasContainer = false;
    failed.error = "przerwano";
    EXPECT_EQ(CsvLine(failed), "obraz.pgm,P,3,256,256,65536,65551,,8.001831,,,przerwano\n");

    // The columns eksperymenty-seria adds when asked: rates of the record's
    // bits, planes from 7 down, empty without the figures or pixels.
    EXPECT_EQ(CsvHeaderLine({true, true}),
              CsvHeaderLine().substr(0, 97) +
                  ",kt_bpp,cond_entropy_bpp,h0_bpp,plane7_bpp,plane6_bpp,plane5_bpp,plane4_bpp,"
                  "plane3_bpp,plane2_bpp,plane1_bpp,plane0_bpp\n");
    ResultRecord figures = Rec(encode, "obraz.pgm");
    figures.references = ReferenceBits{65536 * 3.5, 0.5, -1e-12};  // a sum's rounding
    figures.planeBits = {0, 1, 2, 3, 4, 5, 65536.0 / 3, 65536 * 2.25};
    const std::string row = CsvLine(figures).substr(0, CsvLine(figures).size() - 1);
    EXPECT_EQ(CsvLine(figures, {true, true}),
              row +
                  ",3.500000,0.000008,0.000000,2.250000,0.333333,0.000076,0.000061,0.000046,"
                  "0.000031,0.000015,0.000000\n");
    EXPECT_EQ(CsvLine(figures, {false, true}).substr(row.size(), 10), ",2.250000,");
    figures.item.ResultWidth = 0;
    EXPECT_TRUE(CsvLine(figures, {true, true}).ends_with(",,,,,,,,,,,,\n"));
}

TEST(Csv, ImagesThatWouldSplitTheLineAreQuoted) {
    const TItemRec row{"a.pgm", 8, 8, 1, 1, 'B', 1};
    EXPECT_EQ(CsvLine(Rec(row, "dir,1/a.pgm")).substr(0, 14), "\"dir,1/a.pgm\",");
    EXPECT_EQ(CsvLine(Rec(row, "say \"x\".pgm")).substr(0, 16), "\"say \"\"x\"\".pgm\",");
    EXPECT_EQ(CsvLine(Rec(row, "two\nlines.pgm")).substr(0, 17), "\"two\nlines.pgm\",B");
    // UTF-8 names, spaces and semicolons pass as they are.
    EXPECT_TRUE(CsvLine(Rec(row, "żółw; ścieżka.pgm")).starts_with("żółw; ścieżka.pgm,B,"));
    // Bytes that are not UTF-8 (a name from another code page, a cut
    // sequence, a surrogate) become U+FFFD, one per maximal invalid part.
    const std::string bad = "\xEF\xBF\xBD";
    ResultRecord odd = Rec(row,
                           "\xB3\xF3"
                           "d\xE2\x82 \xED\xA0\x80\xF0\x9F\x98\x80.pgm");
    odd.error = "Cannot open file \xC0\xAF\xF4\x90";
    EXPECT_EQ(CsvLine(odd), bad + bad + "d" + bad + " " + bad + bad + bad +
                                "\xF0\x9F\x98\x80.pgm,B,1,1,1,1,8,8,64.000000,64.000000,,"
                                "Cannot open file " +
                                bad + bad + bad + bad + "\n");
}

TEST(Csv, BitsPerPixelRoundExactlyHalfAwayFromZero) {
    // 8 / 16,000,000 is exactly 0.0000005: a double would not round it up.
    EXPECT_EQ(CsvBitsPerPixel(1, 16000000), "0.000001");
    EXPECT_EQ(CsvBitsPerPixel(5, 16000000), "0.000003");  // not to the even 0.000002
    EXPECT_EQ(CsvBitsPerPixel(1, 16000001), "0.000000");  // just below the half
    EXPECT_EQ(CsvBitsPerPixel(-1, 16000000), "-0.000001");
    EXPECT_EQ(CsvBitsPerPixel(-1, 16000001), "0.000000");  // no negative zero
    EXPECT_EQ(CsvBitsPerPixel(0, 5), "0.000000");
    EXPECT_EQ(CsvBitsPerPixel(1, 3), "2.666667");
    EXPECT_EQ(CsvBitsPerPixel(1, 0), "");
    EXPECT_EQ(CsvBitsPerPixel(std::numeric_limits<std::int64_t>::max(), 1),
              "73786976294838206456.000000");
    EXPECT_EQ(CsvBitsPerPixel(std::numeric_limits<std::int64_t>::min(), 1),
              "-73786976294838206464.000000");
}

// CSVs written by the window, by a series with its figure columns, by two
// shards and by their merge (tests/results/data, written before the reader
// existed): every row reads back into a record that the writer turns into
// the same bytes, the shard's values included; the figure columns are not
// kept, so those rows are compared up to "error".
TEST(CsvReader, ReadsBackWhatTheWriterWroteByteForByte) {
    // The first `n` fields of a raw line, quotes and all.
    const auto firstFields = [](const std::string& text, std::size_t n) {
        bool quoted = false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '"') quoted = !quoted;
            if (text[i] == ',' && !quoted && --n == 0) return text.substr(0, i);
        }
        return text;
    };
    for (const char* name : {"okno.csv", "seria.csv", "shard1.csv", "shard2.csv", "merged.csv"}) {
        SCOPED_TRACE(name);
        const std::string path = std::string(EKS_CSV_DATA_DIR) + "/" + name;
        CsvReader reader(path, 16);  // a small buffer: rows cross its end
        CsvRow row;
        ASSERT_TRUE(reader.Next(row));
        std::string problem;
        const auto columns = CsvHeaderColumns(row.fields, problem);
        ASSERT_TRUE(columns) << problem;
        EXPECT_EQ(columns->shard, std::string(name).starts_with("shard"));
        EXPECT_EQ(columns->extra.references && columns->extra.planeCosts,
                  std::string(name) == "seria.csv");
        std::size_t rows = 0;
        while (reader.Next(row)) {
            ++rows;
            ASSERT_EQ(row.fields.size(), columns->count) << row.line;
            const ResultRecord record = CsvRecord(row.fields);
            if (columns->shard) {
                const auto shard = CsvShardOf(row.fields);
                ASSERT_TRUE(shard) << row.text;
                EXPECT_EQ(CsvShardLine(record, {}, shard->job, shard->k, shard->n, shard->plan),
                          row.text + "\n");
            } else {
                EXPECT_EQ(CsvLine(record), firstFields(row.text, 12) + "\n") << row.line;
            }
        }
        EXPECT_GT(rows, 3u);
    }

    // Another layout is refused naming what is missing; a row that cannot be
    // read is named by its line.
    std::string problem;
    EXPECT_FALSE(CsvHeaderColumns({"image", "bit_order", "order", "width"}, problem));
    EXPECT_EQ(problem, "brak kolumny height");
    EXPECT_FALSE(CsvHeaderColumns(
        {"image", "bit_order", "order", "width", "height", "pixels", "size_before", "size_after",
         "bpp_before", "bpp_after", "check", "error", "kt_bpp", "h0_bpp"},
        problem));
    EXPECT_EQ(problem, "brak kolumny cond_entropy_bpp");
    TempDir dir;
    WriteFile(dir.File("zly.csv"), CsvHeaderLine() + "a.pgm,B,1\n\"b.pgm,P,2\n");
    CsvReader bad(dir.File("zly.csv"));
    CsvRow row;
    ASSERT_TRUE(bad.Next(row));
    ASSERT_TRUE(bad.Next(row));
    EXPECT_EQ(row.line, 2u);
    try {
        bad.Next(row);
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Plik " + dir.File("zly.csv") +
                      ", wiersz 3: to nie jest wiersz pliku CSV wyników (niezamknięty "
                      "cudzysłów albo wiersz dłuższy niż 1048576 bajtów)");
    }
}

}  // namespace
}  // namespace eks
