#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace eks {

// A small RTF reader for the description page: enough of the format for a
// page of formatted text written by hand or saved by a word processor.
//
// Understood: groups (which save and restore the character and paragraph
// state), \par, \line, \tab, \page, \pard, \plain, \b, \i, \ul, \ulnone,
// \strike, \fsN (half-points), \cfN with the \colortbl, \ql \qc \qr \qj,
// \liN \riN \fiN \sbN \saN and \txN (twips), \'hh in the Windows-1250 code
// page, \uN with the \ucN count of fallback characters, the symbols \{, \},
// \\, \~, \-, \_ and the words \bullet, \endash, \emdash and the quotes.
//
// Skipped: the font table, style sheet, information group, pictures, objects,
// headers and footers, every {\* ...} group and the data of \binN. Unknown
// control words are ignored together with their numeric parameter; CR and LF
// of the source are ignored. The text of a document that starts with "{" ends
// where that group closes.
//
// Any byte sequence is accepted: unbalanced braces, cut-off escapes, huge
// numbers and deep nesting give some document, never a crash or a hang.
// The document is cleared first and then filled through a QTextCursor.
void ReadRtf(const QByteArray& rtf, QTextDocument& doc);

// Loads the RTF file at path into doc. Returns false, leaving doc untouched,
// when no file exists there; throws Error "Cannot open file <path>" when it
// exists but cannot be read (a directory, no read permission).
bool LoadRtfFile(const QString& path, QTextDocument& doc);

}  // namespace eks
