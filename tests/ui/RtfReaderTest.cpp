#include "ui/RtfReader.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>

#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/Error.h"
#include "core/Unprivileged.h"

namespace eks {
namespace {

struct TextRun {
    QString text;
    QTextCharFormat format;
};

// The document's text runs in order, one per fragment of equal format.
std::vector<TextRun> Runs(const QTextDocument& doc) {
    std::vector<TextRun> runs;
    for (QTextBlock b = doc.begin(); b != doc.end(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            runs.push_back({it.fragment().text(), it.fragment().charFormat()});
    return runs;
}

const TextRun* FindRun(const std::vector<TextRun>& runs, const QString& text) {
    for (const TextRun& r : runs)
        if (r.text.contains(text)) return &r;
    return nullptr;
}

// The document's text as stored, paragraphs joined by "\n" (unlike
// toPlainText, which turns no-break spaces into plain ones).
QString Text(const char* rtf) {
    QTextDocument doc;
    ReadRtf(QByteArray(rtf), doc);
    QStringList blocks;
    for (QTextBlock b = doc.begin(); b != doc.end(); b = b.next())
        blocks << b.text();
    return blocks.join(u'\n');
}

// --- text and characters ---

TEST(RtfText, ParagraphsLineBreaksTabsAndLiterals) {
    QTextDocument doc;
    ReadRtf("{\\rtf1\\ansi a\\par b\\line c\\tab d\r\ne\\{\\}\\\\f}", doc);
    ASSERT_EQ(doc.blockCount(), 2);
    EXPECT_EQ(doc.begin().text(), "a");
    EXPECT_EQ(doc.begin().next().text(), QString::fromUtf16(u"b\u2028c\tde{}\\f"));
}

TEST(RtfText, SpecialSymbols) {
    EXPECT_EQ(Text("{\\rtf1 a\\~b\\-c\\_d}"), QString::fromUtf16(u"a\u00A0b\u00ADc\u2011d"));
    EXPECT_EQ(Text("{\\rtf1 \\bullet\\endash\\emdash\\ldblquote x\\rdblquote}"),
              QString::fromUtf16(u"\u2022\u2013\u2014\u201Cx\u201D"));
    // A backslash before a line end is a paragraph mark.
    EXPECT_EQ(Text("{\\rtf1 a\\\nb}"), "a\nb");
}

TEST(RtfText, HexEscapesAreWindows1250) {
    // Every Polish letter, lower and upper case.
    EXPECT_EQ(Text("{\\rtf1\\ansi\\ansicpg1250 \\'b9\\'e6\\'ea\\'b3\\'f1\\'f3\\'9c\\'9f\\'bf "
                   "\\'a5\\'c6\\'ca\\'a3\\'d1\\'d3\\'8c\\'8f\\'af}"),
              QString::fromUtf16(u"ąćęłńóśźż ĄĆĘŁŃÓŚŹŻ"));
    EXPECT_EQ(Text("{\\rtf1 \\'84cudzys\\'b3\\'f3w\\'94 \\'d7 \\'96}"),
              QString::fromUtf16(u"„cudzysłów” × –"));
    // Upper-case hex digits, and a byte the code page leaves unused.
    EXPECT_EQ(Text("{\\rtf1 \\'B3\\'98}"), QString::fromUtf16(u"ł?"));
}

TEST(RtfText, UnicodeEscapesAndFallbackCharacters) {
    EXPECT_EQ(Text("{\\rtf1 \\u321?\\u243?d\\u378?}"), QString::fromUtf16(u"Łódź"));
    // The fallback may be a hex escape; it counts as one character.
    EXPECT_EQ(Text("{\\rtf1 \\u261\\'b9x}"), QString::fromUtf16(u"ąx"));
    // \uc2: two fallback characters; \uc0: none.
    EXPECT_EQ(Text("{\\rtf1\\uc2 \\u281 ??x\\uc0 \\u281 y}"), QString::fromUtf16(u"ęxęy"));
    // Negative values stand for code units above 32767; two of them make a pair.
    EXPECT_EQ(Text("{\\rtf1 \\u-10179?\\u-8694?}"), QString::fromUcs4(U"\U0001F60A"));
    EXPECT_EQ(Text("{\\rtf1 a\\u-1?b}"), "ab");  // U+FFFF is no character
    // The end of a group ends the fallback; \uc belongs to the group.
    EXPECT_EQ(Text("{\\rtf1 {\\uc3 \\u261}xyz\\u261?w}"), QString::fromUtf16(u"ąxyząw"));
    // A lone surrogate becomes the replacement character.
    EXPECT_EQ(Text("{\\rtf1 \\u-10179?a}"), QString::fromUtf16(u"\uFFFDa"));
}

TEST(RtfText, SourceLineEndsAndRawBytes) {
    EXPECT_EQ(Text("{\\rtf1 ab\r\ncd\ne}"), "abcde");
    // An 8-bit byte outside an escape is read in the same code page.
    EXPECT_EQ(Text("{\\rtf1 \xb3\xf3"
                   "d\x9f}"),
              QString::fromUtf16(u"łódź"));
    // Text without any RTF markup is shown as it is.
    EXPECT_EQ(Text("zwykly tekst"), "zwykly tekst");
}

// --- what is skipped ---

TEST(RtfSkip, DestinationsAndUnknownWords) {
    const char* rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Courier;}}"
        "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Tytul}{\\author Ktos}}"
        "{\\*\\generator Edytor 1.0;}{\\*\\unknowndest zagniezdzone {\\b bold} tekst}"
        "{\\header naglowek}{\\footer stopka}"
        "{\\pict\\wmetafile8\\picw100 0102ff}"
        "\\viewkind4\\foo123 \\bar-5 A{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt B}}C}";
    EXPECT_EQ(Text(rtf), "ABC");
}

TEST(RtfSkip, BinaryDataIsSkippedWhateverItHolds) {
    EXPECT_EQ(Text("{\\rtf1 a{\\*\\blob\\bin4 }}{\\}b\\bin2 {}c}"), "abc");
    // A length beyond the end of the input stops at the end.
    EXPECT_EQ(Text("{\\rtf1 a\\bin99999 xyz"), "a");
}

TEST(RtfSkip, TextAfterTheOuterGroupIsIgnored) {
    EXPECT_EQ(Text("{\\rtf1 inside}outside"), "inside");
    // A stray closing brace in text that is no group is ignored.
    EXPECT_EQ(Text("a}b"), "ab");
}

// --- character and paragraph formats ---

TEST(RtfFormat, BoldItalicUnderlineAndGroups) {
    QTextDocument doc;
    ReadRtf("{\\rtf1 n{\\b B{\\i BI\\ul BIU\\ulnone BI2}B2}n2\\b x\\b0 y\\i\\strike z\\plain w}",
            doc);
    const auto runs = Runs(doc);
    auto check = [&](const char* text, bool b, bool i, bool u) {
        const TextRun* r = FindRun(runs, text);
        ASSERT_NE(r, nullptr) << text;
        EXPECT_EQ(r->format.fontWeight() == QFont::Bold, b) << text;
        EXPECT_EQ(r->format.fontItalic(), i) << text;
        EXPECT_EQ(r->format.fontUnderline(), u) << text;
    };
    check("n", false, false, false);
    check("BIU", true, true, true);
    check("BI2", true, true, false);
    check("B2", true, false, false);
    check("n2", false, false, false);
    check("x", true, false, false);
    check("y", false, false, false);
    check("w", false, false, false);
    EXPECT_TRUE(FindRun(runs, "z")->format.fontStrikeOut());
    EXPECT_FALSE(FindRun(runs, "w")->format.fontStrikeOut());
    EXPECT_EQ(doc.toPlainText(), "nBBIBIUBI2B2n2xyzw");
}

TEST(RtfFormat, FontSizesInHalfPoints) {
    QTextDocument doc;
    ReadRtf("{\\rtf1 d\\fs32 a{\\fs17 b}c\\plain e\\fs99999999999999999999 f\\fs0 g}", doc);
    const auto runs = Runs(doc);
    EXPECT_FALSE(FindRun(runs, "d")->format.hasProperty(QTextFormat::FontPointSize));
    EXPECT_DOUBLE_EQ(FindRun(runs, "a")->format.fontPointSize(), 16.0);
    EXPECT_DOUBLE_EQ(FindRun(runs, "b")->format.fontPointSize(), 8.5);
    EXPECT_DOUBLE_EQ(FindRun(runs, "c")->format.fontPointSize(), 16.0);
    EXPECT_FALSE(FindRun(runs, "e")->format.hasProperty(QTextFormat::FontPointSize));
    EXPECT_DOUBLE_EQ(FindRun(runs, "f")->format.fontPointSize(), 200.0);  // capped
    EXPECT_DOUBLE_EQ(FindRun(runs, "g")->format.fontPointSize(), 200.0);  // \fs0 ignored
}

TEST(RtfFormat, ColoursFromTheColourTable) {
    QTextDocument doc;
    ReadRtf(
        "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green128\\blue255;}"
        "a\\cf1 b\\cf2 c\\cf0 d\\cf7 e{\\cf1 f}g\\cf2\\plain h}",
        doc);
    const auto runs = Runs(doc);
    auto colour = [&](const char* text) {
        const QTextCharFormat f = FindRun(runs, text)->format;
        return f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : QColor();
    };
    EXPECT_FALSE(colour("a").isValid());
    EXPECT_EQ(colour("b"), QColor(255, 0, 0));
    EXPECT_EQ(colour("c"), QColor(0, 128, 255));
    EXPECT_FALSE(colour("d").isValid());  // entry 0 is the automatic colour
    EXPECT_FALSE(colour("e").isValid());  // no such entry
    EXPECT_EQ(colour("f"), QColor(255, 0, 0));
    EXPECT_FALSE(colour("g").isValid());
    EXPECT_FALSE(colour("h").isValid());
    EXPECT_EQ(doc.toPlainText(), "abcdefgh");
}

TEST(RtfFormat, ParagraphFormatsAndPard) {
    QTextDocument doc;
    ReadRtf(
        "{\\rtf1\\qc\\sb300\\sa150 centre\\par\\pard\\fi-360\\li720\\ri1440\\tx720 "
        "hang\\tab x\\par\\qr right\\par\\pard plain}",
        doc);
    ASSERT_EQ(doc.blockCount(), 4);
    const QTextBlockFormat b0 = doc.findBlockByNumber(0).blockFormat();
    const QTextBlockFormat b1 = doc.findBlockByNumber(1).blockFormat();
    const QTextBlockFormat b2 = doc.findBlockByNumber(2).blockFormat();
    const QTextBlockFormat b3 = doc.findBlockByNumber(3).blockFormat();
    EXPECT_EQ(b0.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(b0.topMargin(), 20.0);  // 300 twips at 96 dots per inch
    EXPECT_DOUBLE_EQ(b0.bottomMargin(), 10.0);
    EXPECT_EQ(b1.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_DOUBLE_EQ(b1.leftMargin(), 48.0);
    EXPECT_DOUBLE_EQ(b1.rightMargin(), 96.0);
    EXPECT_DOUBLE_EQ(b1.textIndent(), -24.0);
    ASSERT_EQ(b1.tabPositions().size(), 1);
    EXPECT_DOUBLE_EQ(b1.tabPositions()[0].position, 48.0);
    EXPECT_EQ(b2.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_DOUBLE_EQ(b2.leftMargin(), 48.0);  // kept until \pard
    EXPECT_DOUBLE_EQ(b3.leftMargin(), 0.0);
    EXPECT_EQ(b3.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_TRUE(b3.tabPositions().isEmpty());
}

TEST(RtfFormat, ReadingAgainReplacesTheContent) {
    QTextDocument doc;
    ReadRtf("{\\rtf1\\b stary\\par tekst}", doc);
    ReadRtf("{\\rtf1 nowy}", doc);
    EXPECT_EQ(doc.toPlainText(), "nowy");
    EXPECT_NE(Runs(doc).at(0).format.fontWeight(), QFont::Bold);
    ReadRtf("", doc);
    EXPECT_TRUE(doc.isEmpty());
}

// --- malformed input ---

TEST(RtfMalformed, CutOffAndUnbalancedInput) {
    EXPECT_EQ(Text("{\\rtf1 a{\\b b"), "ab");  // groups never closed
    EXPECT_EQ(Text("{\\rtf1 a\\"), "a");
    EXPECT_EQ(Text("{\\rtf1 a\\'"), "a");
    EXPECT_EQ(Text("{\\rtf1 a\\'b"), "a");
    EXPECT_EQ(Text("{\\rtf1 a\\'zzb}"), "azzb");  // not hex: the escape is dropped
    EXPECT_EQ(Text("{\\rtf1 a\\u"), "a");
    EXPECT_EQ(Text("{\\rtf1 a\\u-"), "a-");  // no parameter: the minus is text
    EXPECT_EQ(Text("{\\rtf1 a\\u99999999999999999999 ?b}"), QString::fromUtf16(u"a\uFFFDb"));
    EXPECT_EQ(Text("{\\rtf1 a\\uc99999999999 \\u261 bcd}"), QString::fromUtf16(u"aą"));
    EXPECT_EQ(Text("{\\rtf1 {\\colortbl;\\red999\\green-5\\blue"), "");
    // A control word of far more than 32 letters is one unknown word.
    EXPECT_EQ(Text(("{\\rtf1 \\" + std::string(100000, 'p') + "ar x}").c_str()), "x");
}

TEST(RtfMalformed, DeepNestingIsCapped) {
    // Shallow nesting keeps its text; content nested beyond the cap is dropped
    // and the text after the deep groups is read again.
    std::string shallow = "{\\rtf1 " + std::string(50, '{') + "a" + std::string(50, '}') + "b}";
    EXPECT_EQ(Text(shallow.c_str()), "ab");
    const int n = 200000;
    std::string deep = "{\\rtf1 x" + std::string(n, '{') + "\\b a" + std::string(n, '}') + "b}";
    QTextDocument doc;
    ReadRtf(QByteArray::fromStdString(deep), doc);
    EXPECT_EQ(doc.toPlainText(), "xb");
    EXPECT_NE(Runs(doc).back().format.fontWeight(), QFont::Bold);
    // Never closed at all.
    EXPECT_EQ(Text(("{\\rtf1 x" + std::string(n, '{') + "y").c_str()), "x");
}

// Random bytes drawn mostly from RTF's own syntax, and random mutations of a
// real document: every one must give a document that can be laid out.
TEST(RtfMalformed, FuzzedInputNeverBreaksTheReader) {
    std::mt19937 rng(20240611);
    const std::string alphabet = "{}\\\\\\'*;-0123456789abfuclsparinqdtx \r\n\xb3\xff";
    const std::vector<std::string> words = {"\\par",  "\\u",  "\\uc", "\\bin",        "\\'",
                                            "\\*",    "\\fs", "\\cf", "{\\colortbl;", "\\red",
                                            "\\pard", "\\tx", "\\li", "{\\fonttbl"};
    QFile opis(QStringLiteral(EKS_OPIS_RTF));
    ASSERT_TRUE(opis.open(QIODevice::ReadOnly));
    const QByteArray seed = opis.readAll();
    ASSERT_FALSE(seed.isEmpty());

    for (int round = 0; round < 1500; ++round) {
        QByteArray input;
        if (round % 2 == 0) {
            const int len = std::uniform_int_distribution<int>(0, 400)(rng);
            for (int k = 0; k < len; ++k) {
                if (rng() % 8 == 0) {
                    input += QByteArray::fromStdString(words[rng() % words.size()]);
                } else {
                    input += alphabet[rng() % alphabet.size()];
                }
            }
        } else {
            input = seed;
            const int edits = std::uniform_int_distribution<int>(1, 20)(rng);
            for (int e = 0; e < edits && !input.isEmpty(); ++e) {
                const qsizetype at = rng() % input.size();
                switch (rng() % 4) {
                    case 0:
                        input[at] = static_cast<char>(rng() % 256);
                        break;
                    case 1:
                        input.remove(at, std::min<qsizetype>(rng() % 16, input.size() - at));
                        break;
                    case 2:
                        input.insert(at, QByteArray::fromStdString(words[rng() % words.size()]));
                        break;
                    default:
                        input.truncate(at);
                        break;
                }
            }
        }
        QTextDocument doc;
        ReadRtf(input, doc);
        doc.setTextWidth(333);
        EXPECT_GE(doc.documentLayout()->documentSize().height(), 0.0) << input.toStdString();
        EXPECT_FALSE(doc.toPlainText().contains(QChar(0))) << input.toStdString();
    }
}

// --- loading a file ---

class RtfFile : public testing::Test {
  protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QTemporaryDir dir_;
};

TEST_F(RtfFile, LoadsAnExistingFile) {
    QTextDocument doc;
    EXPECT_TRUE(LoadRtfFile(Write("a.rtf", "{\\rtf1 za\\'bf\\'f3\\'b3\\'e6}"), doc));
    EXPECT_EQ(doc.toPlainText(), QString::fromUtf16(u"zażółć"));
}

TEST_F(RtfFile, MissingFileReportsFalseAndLeavesTheDocument) {
    QTextDocument doc;
    doc.setPlainText("bez zmian");
    EXPECT_FALSE(LoadRtfFile(dir_.filePath("brak.rtf"), doc));
    EXPECT_EQ(doc.toPlainText(), "bez zmian");
}

TEST_F(RtfFile, UnreadableFileThrowsCannotOpen) {
    const QString asDir = dir_.filePath("opis.rtf");
    ASSERT_TRUE(QDir().mkdir(asDir));
    QTextDocument doc;
    try {
        LoadRtfFile(asDir, doc);
        ADD_FAILURE() << "no error for a directory";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + asDir.toStdString());
    }

    // As a user without privileges, for whom a file without read permission
    // cannot be opened (root reads it regardless).
    const QString locked = Write("zamkniety.rtf", "{\\rtf1 x}");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    ASSERT_TRUE(
        QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ExeOther));
    const std::string expected = "Cannot open file " + locked.toStdString();
    const int status = RunUnprivileged([&] {
        QTextDocument lockedDoc;
        try {
            LoadRtfFile(locked, lockedDoc);
            return 1;  // read although it may not be
        } catch (const Error& e) {
            return std::string(e.what()) == expected ? 0 : 2;
        }
    });
    EXPECT_EQ(status, 0) << UnprivilegedStatusText(status);
}

// --- the description page itself ---

TEST(OpisRtf, ReadsAsPolishTextWithHeadings) {
    QTextDocument doc;
    ASSERT_TRUE(LoadRtfFile(QStringLiteral(EKS_OPIS_RTF), doc));
    const QString text = doc.toPlainText();
    for (const char16_t* phrase : {u"Eksperymenty z arytmetycznym koderem binarnym",
                                   u"bez przeplotu",
                                   u"z przeplotem",
                                   u"pasaż 1",
                                   u"pasaż 8",
                                   u"płaszczyzn",
                                   u"Zapisz wyniki",
                                   u"Usuń wpis",
                                   u"Koduj",
                                   u"Dekoduj",
                                   u"Koniec",
                                   u"obraz_P3.ybq",
                                   u"Podgląd podczas pracy w trybie DOS",
                                   u"Max czas przetwarzania",
                                   u"„Obraz”",
                                   u"Wybór pliku",
                                   u"W × H",
                                   u"Pos.",
                                   u"File Name",
                                   u"Op/R",
                                   u"Pixels",
                                   u"S BitRatio",
                                   u"F BitRatio",
                                   u"FS Before",
                                   u"FS After",
                                   u"arith-n.exe",
                                   u"earith-n.exe",
                                   u"Wczytaj wyniki",
                                   u"Uruchom serię",
                                   u"każdy obraz",
                                   u"średnia",
                                   u"--merge"})
        EXPECT_TRUE(text.contains(QString::fromUtf16(phrase)))
            << QString::fromUtf16(phrase).toStdString();
    // Nothing of the markup, the font table or the information group shows;
    // the one question mark is the question asked on closing.
    QString rest = text;
    rest.remove(QString::fromUtf8("Zapisać wyniki przed zamknięciem?"));
    for (const char* leak : {"\\", "{", "}", "Arial", "Opis programu", "?", "\xef\xbf\xbd"})
        EXPECT_FALSE(rest.contains(QString::fromUtf8(leak))) << leak;

    // The headings are paragraphs of their own, bold, larger and coloured.
    const auto runs = Runs(doc);
    for (const char16_t* heading :
         {u"Wybór obrazu", u"Kodowanie", u"Dekodowanie", u"Wyniki", u"Opcje", u"Seria", u"Wykres",
          u"Analiza", u"Program eksperymenty-seria"}) {
        const QString h = QString::fromUtf16(heading);
        bool found = false;
        for (QTextBlock b = doc.begin(); b != doc.end(); b = b.next()) {
            if (b.text() != h) continue;
            found = true;
            const QTextCharFormat f = b.begin().fragment().charFormat();
            EXPECT_EQ(f.fontWeight(), QFont::Bold) << h.toStdString();
            EXPECT_GE(f.fontPointSize(), 12.0) << h.toStdString();
            EXPECT_TRUE(f.hasProperty(QTextFormat::ForegroundBrush)) << h.toStdString();
        }
        EXPECT_TRUE(found) << h.toStdString();
    }
    const QTextCharFormat title = doc.begin().begin().fragment().charFormat();
    EXPECT_EQ(doc.begin().text(), "Eksperymenty z arytmetycznym koderem binarnym");
    EXPECT_GT(title.fontPointSize(), 12.0);
    // Body text is smaller than the headings and not bold.
    const TextRun* body = FindRun(runs, QString::fromUtf16(u"Program służy"));
    ASSERT_NE(body, nullptr);
    EXPECT_NE(body->format.fontWeight(), QFont::Bold);
    EXPECT_LT(body->format.fontPointSize(), 12.0);
}

}  // namespace
}  // namespace eks

// The layout of the fuzzed documents needs fonts, so the tests run under a
// QGuiApplication (on the offscreen platform unless another one is chosen).
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
