#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace fotavi {

// Text in code page 932 (Shift_JIS as Windows has it).
struct Encoded {
    QByteArray bytes;
    int replaced = 0;  // characters code page 932 cannot hold, written as "?"
};

// Encodes text; the JIS forms Linux input methods type (U+301C WAVE DASH and
// the like) become their Windows twins first.
Encoded encode_cp932(const QString& text);
// Decodes bytes; a sequence that is not code page 932 becomes U+FFFD and sets *malformed.
QString decode_cp932(const QByteArray& bytes, bool* malformed = nullptr);

// Every line break of text (CR LF, a lone CR) as one LF, the form the
// comment box and the log's entries hold.
QString fold_line_breaks(QString text);

// The lines of text, split at CR LF, at a lone CR and at a lone LF. A last
// line without a line end counts; the empty rest after a final line end does
// not. At most max lines when max is not negative.
std::vector<QStringView> split_lines(QStringView text, qsizetype max = -1);
std::vector<QByteArrayView> split_lines(QByteArrayView bytes, qsizetype max = -1);

// Why a file was not written, in plain values: the sentence the person reads
// is made from it where they are told (app/messages).
struct WriteProblem {
    enum class Kind {
        None,     // written
        Link,     // a symbolic link stands at path: left as it is
        System,   // the system refused: error holds its errno (EISDIR: a folder at path)
        Drawing,  // the bytes could not be made: detail holds what the library said
    };
    Kind kind = Kind::None;
    QString path;    // the file not written
    int error = 0;   // System: the errno of the step that failed
    QString detail;  // Link: where the link points; Drawing: the library's own words
    bool ok() const { return kind == Kind::None; }
};
WriteProblem system_write_problem(const QString& path, int error);

struct TextWrite {
    WriteProblem problem;
    int replaced = 0;  // characters written as "?"
    bool ok() const { return problem.ok(); }
};

// The bytes of a text file of lines: code page 932, each line followed by
// CR LF; a line break inside a line (LF, CR or CR LF) becomes CR LF as well.
Encoded encode_lines(const QStringList& lines);

// Writes encode_lines(lines) to path atomically: on any failure an earlier
// file stays whole.
TextWrite write_text_file(const QString& path, const QStringList& lines);

// Writes bytes to path atomically, durably. A symbolic link or a folder at
// path is never written through or replaced: that is refused.
WriteProblem write_file_atomically(const QString& path, const QByteArray& bytes);
// Why path must not be written (a symbolic link, a folder), or nothing.
WriteProblem refuse_to_write(const QString& path);

}  // namespace fotavi
