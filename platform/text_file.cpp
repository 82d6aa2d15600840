#include "platform/text_file.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include "platform/files.h"

namespace fotavi {

namespace {

// Linux input methods type the JIS forms of these characters; Japanese Windows
// keeps their code page 932 twins. Mapping them ourselves keeps the bytes the
// same whichever codec does the rest.
char32_t windows_twin(char32_t c) {
    switch (c) {
        case U'\u301C':
            return U'\uFF5E';  // WAVE DASH -> FULLWIDTH TILDE (0x8160)
        case U'\u2016':
            return U'\u2225';  // DOUBLE VERTICAL LINE -> PARALLEL TO (0x8161)
        case U'\u2212':
            return U'\uFF0D';  // MINUS SIGN -> FULLWIDTH HYPHEN-MINUS (0x817C)
        case U'\u00A2':
            return U'\uFFE0';  // CENT SIGN (0x8191)
        case U'\u00A3':
            return U'\uFFE1';  // POUND SIGN (0x8192)
        case U'\u00AC':
            return U'\uFFE2';  // NOT SIGN (0x81CA)
        case U'\u2014':
            return U'\u2015';  // EM DASH -> HORIZONTAL BAR (0x815C)
        case U'\u00A6':
            return U'\uFFE4';  // BROKEN BAR (0xFA55)
        case U'\u00A5':
            return U'\\';  // Japanese Windows shows 0x5C as the yen sign
        case U'\u203E':
            return U'~';  // ... and 0x7E as the overline
        default:
            return c;
    }
}

// One conversion descriptor for the length of one call.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (valid()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of [*in, *in + *in_left) as it can, appending to out.
    // Returns 0 when all input is consumed, otherwise the errno that stopped it
    // (EILSEQ: *in points at the bad sequence; EINVAL: input ends inside one).
    int convert(const char** in, size_t* in_left, std::vector<char>& out) {
        char buffer[4096];
        while (*in_left > 0) {
            char* dst = buffer;
            size_t dst_left = sizeof buffer;
            char* src = const_cast<char*>(*in);
            const size_t r = iconv(cd_, &src, in_left, &dst, &dst_left);
            const int err = errno;
            *in = src;
            out.insert(out.end(), buffer, dst);
            if (r == static_cast<size_t>(-1) && err != E2BIG) return err;
        }
        return 0;
    }

private:
    iconv_t cd_;
};

constexpr char32_t kReplacement = U'\uFFFD';

bool is_lead_byte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

}  // namespace

Encoded encode_cp932(const QString& text) {
    Encoded result;
    std::vector<char32_t> input;
    input.reserve(size_t(text.size()));
    for (const char32_t c : text.toUcs4()) input.push_back(windows_twin(c));

    Iconv cd("CP932", "UTF-32LE");
    if (!cd.valid()) {
        // Without the converter only ASCII can be written faithfully.
        for (const char32_t c : input) {
            if (c < 0x80) {
                result.bytes.append(char(c));
            } else {
                result.bytes.append('?');
                ++result.replaced;
            }
        }
        return result;
    }

    std::vector<char> out;
    out.reserve(input.size() * 2);
    const char* in = reinterpret_cast<const char*>(input.data());
    size_t in_left = input.size() * sizeof(char32_t);
    while (in_left > 0) {
        const int err = cd.convert(&in, &in_left, out);
        if (err == 0) break;
        // A character code page 932 cannot hold (or a broken one): write "?"
        // in its place and go on with the next character.
        out.push_back('?');
        ++result.replaced;
        const size_t skip = in_left < sizeof(char32_t) ? in_left : sizeof(char32_t);
        in += skip;
        in_left -= skip;
    }
    result.bytes = QByteArray(out.data(), qsizetype(out.size()));
    return result;
}

QString decode_cp932(const QByteArray& bytes, bool* malformed) {
    if (malformed) *malformed = false;
    auto mark = [&] {
        if (malformed) *malformed = true;
    };

    Iconv cd("UTF-32LE", "CP932");
    std::vector<char> out;
    out.reserve(size_t(bytes.size()) * 4);
    auto push = [&out](char32_t c) {
        const char* p = reinterpret_cast<const char*>(&c);
        out.insert(out.end(), p, p + sizeof c);
    };

    const char* in = bytes.constData();
    size_t in_left = size_t(bytes.size());
    if (!cd.valid()) {
        for (; in_left > 0; ++in, --in_left) {
            const auto b = static_cast<unsigned char>(*in);
            if (b < 0x80) {
                push(b);
            } else {
                push(kReplacement);
                mark();
            }
        }
    }
    while (in_left > 0) {
        const int err = cd.convert(&in, &in_left, out);
        if (err == 0) break;
        push(kReplacement);
        mark();
        if (err == EINVAL) break;  // the text ends inside a character
        // A lead byte with a trail byte that maps to nothing is one bad
        // character; a lead byte followed by ASCII loses only itself, so the
        // ASCII character is still read.
        const auto b = static_cast<unsigned char>(in[0]);
        const bool pair = in_left >= 2 && is_lead_byte(b) &&
                          static_cast<unsigned char>(in[1]) >= 0x80 &&
                          static_cast<unsigned char>(in[1]) <= 0xFC;
        const size_t skip = pair ? 2 : 1;
        in += skip;
        in_left -= skip;
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(out.data()),
                             qsizetype(out.size() / sizeof(char32_t)));
}

QString fold_line_breaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

namespace {

template <typename View>
std::vector<View> split(View text, qsizetype max) {
    std::vector<View> lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size && (max < 0 || qsizetype(lines.size()) < max); ++i) {
        const auto c = text[i];
        if (c != u'\r' && c != u'\n') continue;
        lines.push_back(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < size && (max < 0 || qsizetype(lines.size()) < max))
        lines.push_back(text.sliced(start));
    return lines;
}

}  // namespace

std::vector<QStringView> split_lines(QStringView text, qsizetype max) { return split(text, max); }

std::vector<QByteArrayView> split_lines(QByteArrayView bytes, qsizetype max) {
    return split(bytes, max);
}

Encoded encode_lines(const QStringList& lines) {
    // A line break inside a line (a multi-line comment) is written as CR LF
    // too, whether it came as LF, CR or CR LF, so the whole file has one kind.
    QString text;
    for (const QString& line : lines) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line.at(i);
            if (c == u'\r') {
                if (i + 1 < line.size() && line.at(i + 1) == u'\n') ++i;
                text += u"\r\n";
            } else if (c == u'\n') {
                text += u"\r\n";
            } else {
                text += c;
            }
        }
        text += u"\r\n";
    }
    return encode_cp932(text);
}

TextWrite write_text_file(const QString& path, const QStringList& lines) {
    const Encoded encoded = encode_lines(lines);
    TextWrite result;
    result.replaced = encoded.replaced;
    result.problem = write_file_atomically(path, encoded.bytes);
    return result;
}

WriteProblem system_write_problem(const QString& path, int error) {
    WriteProblem problem;
    if (error == 0) return problem;
    problem.kind = WriteProblem::Kind::System;
    problem.path = path;
    problem.error = error;
    return problem;
}

WriteProblem refuse_to_write(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return {};
    if (S_ISLNK(st.st_mode)) {
        // Writing would replace the file the link points to, which may be
        // anything; the link and its target are left as they are.
        return {WriteProblem::Kind::Link, path, 0, QFileInfo(path).symLinkTarget()};
    }
    if (S_ISDIR(st.st_mode)) return system_write_problem(path, EISDIR);
    return {};
}

WriteProblem write_file_atomically(const QString& path, const QByteArray& bytes) {
    if (const WriteProblem refused = refuse_to_write(path); !refused.ok()) return refused;
    return system_write_problem(path, write_atomically(path, bytes, Durability::Durable));
}

}  // namespace fotavi
