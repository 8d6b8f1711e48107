#include "ui/RtfReader.h"

#include <QBrush>
#include <QColor>
#include <QFile>
#include <QFont>
#include <QList>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/ByteStream.h"
#include "core/Cp1250.h"
#include "core/Error.h"

namespace eks {

namespace {

// Groups nested deeper than this are read for their braces only; their
// content is dropped. Real documents stay far below it.
constexpr std::size_t kMaxDepth = 100;
// Control words are at most 32 letters long; a longer run of letters is
// consumed as one unknown word.
constexpr std::size_t kMaxWordLength = 32;
// Bounds that keep absurd parameters from producing absurd layouts.
constexpr int kMaxHalfPoints = 400;  // 200 pt
constexpr int kMaxTwips = 31680;     // 22 inches
constexpr int kMaxTabStops = 64;
constexpr int kMaxFallbackCount = 255;
// Twips (1/1440 inch) to the document's pixels at 96 dots per inch.
constexpr double kTwipsPerPixel = 15.0;

struct CharState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int halfPoints = 0;  // 0: the document's default size
    int colour = 0;      // index into the colour table (\cfN)
    bool operator==(const CharState&) const = default;
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int leftTwips = 0;
    int rightTwips = 0;
    int firstTwips = 0;
    int beforeTwips = 0;
    int afterTwips = 0;
    std::vector<int> tabTwips;
};

enum class Dest { Text, ColourTable, Skip };

struct GroupState {
    CharState chr;
    ParaState para;
    Dest dest = Dest::Text;
    int fallbackCount = 1;  // \ucN
};

// Destinations whose content is never shown.
constexpr std::string_view kSkippedDestinations[] = {
    "fonttbl",      "stylesheet", "info",     "pict",      "object",    "nonshppict",
    "header",       "headerl",    "headerr",  "headerf",   "footer",    "footerl",
    "footerr",      "footerf",    "footnote", "fldinst",   "listtable", "listoverridetable",
    "revtbl",       "rsidtbl",    "filetbl",  "generator", "themedata", "colorschememapping",
    "latentstyles", "datastore",  "xmlnstbl",
};

bool IsSkippedDestination(std::string_view word) {
    return std::find(std::begin(kSkippedDestinations), std::end(kSkippedDestinations), word) !=
           std::end(kSkippedDestinations);
}

int Clamp(int v, int lo, int hi) {
    return std::min(std::max(v, lo), hi);
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Makes a run of text safe for QTextDocument: unpaired surrogates become
// U+FFFD, control characters other than the tab and the characters that the
// document uses for its own structure are dropped.
QString Sanitized(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out += c;
            out += s[++i];
        } else if (c.isSurrogate()) {
            out += QChar(QChar::ReplacementCharacter);
        } else if (c == QChar::ParagraphSeparator) {
            out += QChar(QChar::LineSeparator);
        } else if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0xFDD0 ||
                   c.unicode() == 0xFDD1 || c == QChar::ObjectReplacementCharacter ||
                   c.unicode() >= 0xFFFE) {
            continue;
        } else {
            out += c;
        }
    }
    return out;
}

class Reader {
  public:
    Reader(const QByteArray& rtf, QTextDocument& doc)
        : p_(rtf.constData()), end_(rtf.constData() + rtf.size()), cursor_(&doc) {}

    void Run() {
        cursor_.beginEditBlock();
        const char* first = p_;
        while (first < end_ &&
               (*first == ' ' || *first == '\r' || *first == '\n' || *first == '\t'))
            ++first;
        const bool ends_with_root = first < end_ && *first == '{';
        while (p_ < end_) {
            const char c = *p_++;
            if (c == '{') {
                OpenGroup();
            } else if (c == '}') {
                if (CloseGroup() && ends_with_root) break;
            } else if (c == '\\') {
                ControlSequence();
            } else if (c == '\r' || c == '\n') {
                continue;
            } else if (c == ';' && st_.dest == Dest::ColourTable) {
                EndColourEntry();
            } else {
                RawByte(static_cast<std::uint8_t>(c));
            }
        }
        Flush();
        cursor_.setBlockFormat(BlockFormat(st_.para));
        if (blockEmpty_) cursor_.setBlockCharFormat(CharFormat(st_.chr));
        cursor_.endEditBlock();
    }

  private:
    // --- groups ---

    void OpenGroup() {
        pendingFallback_ = 0;
        if (overflow_ > 0 || stack_.size() >= kMaxDepth) {
            ++overflow_;
            return;
        }
        stack_.push_back(st_);
    }

    // Returns true when the outermost group has just closed.
    bool CloseGroup() {
        pendingFallback_ = 0;
        if (overflow_ > 0) {
            --overflow_;
            return false;
        }
        if (stack_.empty()) return false;  // a stray closing brace
        st_ = std::move(stack_.back());
        stack_.pop_back();
        return stack_.empty();
    }

    // --- control words and symbols ---

    void ControlSequence() {
        if (p_ >= end_) return;
        const char c = *p_;
        if (IsLetter(c)) {
            ControlWord();
            return;
        }
        ++p_;
        if (c == '\'') {
            int value = -1;
            if (p_ < end_ && HexValue(*p_) >= 0) {
                const int high = HexValue(*p_++);
                if (p_ < end_ && HexValue(*p_) >= 0) value = high * 16 + HexValue(*p_++);
            }
            if (value < 0 || ConsumedAsFallback()) return;
            const char32_t u = Cp1250ToUnicode(static_cast<std::uint8_t>(value));
            Emit(u != 0 ? u : U'?');
            return;
        }
        if (c == '*') {
            if (overflow_ == 0) st_.dest = Dest::Skip;
            return;
        }
        if (ConsumedAsFallback()) return;
        switch (c) {
            case '\\':
            case '{':
            case '}':
                Emit(static_cast<char32_t>(c));
                break;
            case '~':
                Emit(U'\u00A0');
                break;
            case '-':
                Emit(U'\u00AD');
                break;
            case '_':
                Emit(U'\u2011');
                break;
            case '\r':
            case '\n':
                Paragraph();
                break;
            default:
                break;  // an unknown symbol
        }
    }

    void ControlWord() {
        std::string word;
        while (p_ < end_ && IsLetter(*p_)) {
            if (word.size() <= kMaxWordLength) word += *p_;
            ++p_;
        }
        bool has_param = false;
        bool negative = false;
        std::int64_t value = 0;
        if (p_ + 1 < end_ && *p_ == '-' && IsDigit(p_[1])) {
            negative = true;
            ++p_;
        }
        while (p_ < end_ && IsDigit(*p_)) {
            has_param = true;
            if (value <= INT32_MAX) value = value * 10 + (*p_ - '0');
            ++p_;
        }
        if (p_ < end_ && *p_ == ' ') ++p_;
        value = std::min<std::int64_t>(value, INT32_MAX);
        const int param = static_cast<int>(negative ? -value : value);

        if (word == "bin") {
            // Binary data: skipped whatever the state, since it may hold any byte.
            if (has_param && param > 0) p_ += std::min<std::int64_t>(param, end_ - p_);
            ConsumedAsFallback();
            return;
        }
        if (overflow_ > 0 || ConsumedAsFallback()) return;
        if (word.size() > kMaxWordLength) return;
        switch (st_.dest) {
            case Dest::Skip:
                return;
            case Dest::ColourTable:
                ColourWord(word, has_param ? param : 0);
                return;
            case Dest::Text:
                TextWord(word, has_param, param);
                return;
        }
    }

    void TextWord(const std::string& w, bool has_param, int param) {
        const bool on = !has_param || param != 0;
        CharState& chr = st_.chr;
        ParaState& para = st_.para;
        if (w == "par" || w == "page" || w == "sect" || w == "row") {
            Paragraph();
        } else if (w == "line") {
            Emit(U'\u2028');
        } else if (w == "tab" || w == "cell") {
            Emit(U'\t');
        } else if (w == "b") {
            chr.bold = on;
        } else if (w == "i") {
            chr.italic = on;
        } else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw") {
            chr.underline = on;
        } else if (w == "ulnone") {
            chr.underline = false;
        } else if (w == "strike") {
            chr.strike = on;
        } else if (w == "fs") {
            if (has_param && param > 0) chr.halfPoints = Clamp(param, 2, kMaxHalfPoints);
        } else if (w == "cf") {
            chr.colour = has_param ? std::max(param, 0) : 0;
        } else if (w == "plain") {
            chr = CharState{};
        } else if (w == "pard") {
            para = ParaState{};
        } else if (w == "ql") {
            para.align = Qt::AlignLeft;
        } else if (w == "qc") {
            para.align = Qt::AlignHCenter;
        } else if (w == "qr") {
            para.align = Qt::AlignRight;
        } else if (w == "qj") {
            para.align = Qt::AlignJustify;
        } else if (w == "li") {
            para.leftTwips = Clamp(param, -kMaxTwips, kMaxTwips);
        } else if (w == "ri") {
            para.rightTwips = Clamp(param, -kMaxTwips, kMaxTwips);
        } else if (w == "fi") {
            para.firstTwips = Clamp(param, -kMaxTwips, kMaxTwips);
        } else if (w == "sb") {
            para.beforeTwips = Clamp(param, 0, kMaxTwips);
        } else if (w == "sa") {
            para.afterTwips = Clamp(param, 0, kMaxTwips);
        } else if (w == "tx") {
            if (param > 0 && static_cast<int>(para.tabTwips.size()) < kMaxTabStops)
                para.tabTwips.push_back(std::min(param, kMaxTwips));
        } else if (w == "uc") {
            st_.fallbackCount = Clamp(param, 0, kMaxFallbackCount);
        } else if (w == "u") {
            if (!has_param) return;
            int code = param;
            if (code < 0) code += 65536;
            Emit(code >= 0 && code <= 0x10FFFF ? static_cast<char32_t>(code) : U'\uFFFD');
            pendingFallback_ = st_.fallbackCount;
        } else if (w == "bullet") {
            Emit(U'\u2022');
        } else if (w == "endash") {
            Emit(U'\u2013');
        } else if (w == "emdash") {
            Emit(U'\u2014');
        } else if (w == "lquote") {
            Emit(U'\u2018');
        } else if (w == "rquote") {
            Emit(U'\u2019');
        } else if (w == "ldblquote") {
            Emit(U'\u201C');
        } else if (w == "rdblquote") {
            Emit(U'\u201D');
        } else if (w == "colortbl") {
            st_.dest = Dest::ColourTable;
            colours_.clear();
            StartColourEntry();
        } else if (IsSkippedDestination(w)) {
            st_.dest = Dest::Skip;
        }
        // Every other word is ignored.
    }

    // --- colour table ---

    void StartColourEntry() {
        red_ = green_ = blue_ = 0;
        entryHasComponent_ = false;
    }

    void ColourWord(const std::string& w, int param) {
        int* target = w == "red" ? &red_ : w == "green" ? &green_ : w == "blue" ? &blue_ : nullptr;
        if (target == nullptr) return;
        *target = Clamp(param, 0, 255);
        entryHasComponent_ = true;
    }

    void EndColourEntry() {
        if (entryHasComponent_)
            colours_.emplace_back(QColor(red_, green_, blue_));
        else
            colours_.emplace_back(std::nullopt);  // the automatic colour
        StartColourEntry();
    }

    // --- text ---

    // The fallback characters after \uN are consumed here; true when the
    // current character or control was one of them.
    bool ConsumedAsFallback() {
        if (pendingFallback_ == 0) return false;
        --pendingFallback_;
        return true;
    }

    void RawByte(std::uint8_t b) {
        if (b < 0x20 && b != '\t') return;
        if (overflow_ > 0 || ConsumedAsFallback()) return;
        const char32_t u = Cp1250ToUnicode(b);
        Emit(u != 0 ? u : U'?');
    }

    void Emit(char32_t u) {
        if (overflow_ > 0 || st_.dest != Dest::Text) return;
        if (!pending_.isEmpty() && pendingChr_ != st_.chr) Flush();
        pendingChr_ = st_.chr;
        if (u > 0xFFFF) {
            const char32_t v = u - 0x10000;
            pending_ += QChar(static_cast<char16_t>(0xD800 + (v >> 10)));
            pending_ += QChar(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            pending_ += QChar(static_cast<char16_t>(u));
        }
    }

    void Flush() {
        if (pending_.isEmpty()) return;
        const QString text = Sanitized(pending_);
        pending_.clear();
        if (text.isEmpty()) return;
        cursor_.insertText(text, CharFormat(pendingChr_));
        blockEmpty_ = false;
    }

    void Paragraph() {
        if (overflow_ > 0 || st_.dest != Dest::Text) return;
        Flush();
        cursor_.setBlockFormat(BlockFormat(st_.para));
        // An empty paragraph takes its height from the format in force.
        if (blockEmpty_) cursor_.setBlockCharFormat(CharFormat(st_.chr));
        cursor_.insertBlock();
        blockEmpty_ = true;
    }

    // --- formats ---

    QTextCharFormat CharFormat(const CharState& s) const {
        QTextCharFormat f;
        f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(s.italic);
        f.setFontUnderline(s.underline);
        f.setFontStrikeOut(s.strike);
        if (s.halfPoints > 0) f.setFontPointSize(s.halfPoints / 2.0);
        if (s.colour >= 0 && static_cast<std::size_t>(s.colour) < colours_.size() &&
            colours_[s.colour].has_value())
            f.setForeground(QBrush(*colours_[s.colour]));
        return f;
    }

    static QTextBlockFormat BlockFormat(const ParaState& s) {
        QTextBlockFormat f;
        f.setAlignment(s.align);
        f.setLeftMargin(s.leftTwips / kTwipsPerPixel);
        f.setRightMargin(s.rightTwips / kTwipsPerPixel);
        f.setTextIndent(s.firstTwips / kTwipsPerPixel);
        f.setTopMargin(s.beforeTwips / kTwipsPerPixel);
        f.setBottomMargin(s.afterTwips / kTwipsPerPixel);
        if (!s.tabTwips.empty()) {
            QList<QTextOption::Tab> tabs;
            for (int t : s.tabTwips)
                tabs.append(QTextOption::Tab(t / kTwipsPerPixel, QTextOption::LeftTab));
            f.setTabPositions(tabs);
        }
        return f;
    }

    const char* p_;
    const char* const end_;
    QTextCursor cursor_;

    GroupState st_;
    std::vector<GroupState> stack_;
    std::size_t overflow_ = 0;  // groups opened beyond kMaxDepth and not yet closed
    int pendingFallback_ = 0;   // fallback characters still to drop after \uN

    std::vector<std::optional<QColor>> colours_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool entryHasComponent_ = false;

    QString pending_;  // text not yet inserted, all in the format pendingChr_
    CharState pendingChr_;
    bool blockEmpty_ = true;
};

}  // namespace

void ReadRtf(const QByteArray& rtf, QTextDocument& doc) {
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    doc.clear();
    Reader(rtf, doc).Run();
    doc.setUndoRedoEnabled(undo);
}

bool LoadRtfFile(const QString& path, QTextDocument& doc) {
    const std::string native = QFile::encodeName(path).toStdString();
    std::error_code ec;
    const auto status = std::filesystem::status(native, ec);
    if (status.type() == std::filesystem::file_type::not_found) return false;
    if (ec) throw Error(CannotOpenFileMessage(path.toStdString()));
    ByteStream file;
    try {
        file.LoadFromFile(native);
    } catch (const Error&) {
        // A directory, a file without read permission or a failed read.
        throw Error(CannotOpenFileMessage(path.toStdString()));
    }
    ReadRtf(
        QByteArray(reinterpret_cast<const char*>(file.Data()), static_cast<qsizetype>(file.Size())),
        doc);
    return true;
}

}  // namespace eks
