#include "settings/settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <optional>

#include <sys/stat.h>

#include "platform/files.h"
#include "platform/text_file.h"

namespace fotavi {

using namespace Qt::StringLiterals;

namespace {

constexpr size_t kLines = 5;
// The sixth line, present only while the capture-time mode is on: the five
// lines keep their meaning for every reader of the five-line file, and any
// other sixth line (which such a reader may have left) means off.
const QByteArray kCaptureTimeLine = "CaptureTime";

// "True"/"False" in any letter case, or a number where zero is false.
std::optional<bool> parse_truth(const QString& text) {
    const QString word = text.trimmed();
    if (word.compare(u"true"_s, Qt::CaseInsensitive) == 0) return true;
    if (word.compare(u"false"_s, Qt::CaseInsensitive) == 0) return false;
    bool ok = false;
    const double number = word.toDouble(&ok);
    if (ok) return number != 0.0;
    return std::nullopt;
}

// A phrase holds no line break: one would split it over two lines of the file.
QString one_line(QString phrase) {
    phrase.replace(u"\r\n"_s, u" "_s);
    phrase.replace(u'\r', u' ');
    phrase.replace(u'\n', u' ');
    return phrase;
}

// "&" marks an accelerator in a caption; a literal one is doubled, so a
// phrase such as "&" shows as itself rather than underlining the letter
// after it.
QString escape_ampersands(QString text) { return text.replace(u'&', u"&&"_s); }

}  // namespace

ConfigRead parse_config(const QByteArray& bytes) {
    ConfigRead read;
    const std::vector<QByteArrayView> lines = split_lines(bytes, qsizetype(kLines) + 2);
    bool problem = lines.size() < kLines;
    // A sixth line "CaptureTime" turns the capture-time mode on; any other
    // line past the fifth is not the program's file: what it holds would be
    // lost at exit without a word.
    if (lines.size() > kLines) {
        const QByteArrayView sixth = lines[kLines].trimmed();
        read.settings.capture_time =
            QByteArrayView(kCaptureTimeLine).compare(sixth, Qt::CaseInsensitive) == 0;
        problem = problem || lines.size() > kLines + 1 ||
                  (!sixth.isEmpty() && !read.settings.capture_time);
    }
    for (size_t i = 0; i < lines.size() && i < kLines; ++i) {
        bool malformed = false;
        const QString text = decode_cp932(lines[i].toByteArray(), &malformed);
        problem = problem || malformed;
        if (i == 0) {
            const std::optional<bool> truth = parse_truth(text);
            if (truth) {
                read.settings.size_large = *truth;
            } else {
                problem = true;
            }
        } else {
            read.settings.phrases[static_cast<size_t>(i - 1)] = text;
        }
    }
    read.malformed = problem;
    return read;
}

QByteArray serialize_config(const Settings& settings) {
    QString text = settings.size_large ? u"True"_s : u"False"_s;
    text += u"\r\n"_s;
    for (const QString& phrase : settings.phrases) {
        text += one_line(phrase);
        text += u"\r\n"_s;
    }
    if (settings.capture_time) text += QString::fromLatin1(kCaptureTimeLine) + u"\r\n"_s;
    return encode_cp932(text).bytes;
}

ConfigRead read_settings_file(const QString& folder) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(kConfigName));
    const SmallFile file = read_small_file(path, kConfigLimit);
    if (file.error == ENOENT) return {};  // missing, or a link to nothing: the defaults, silently
    if (!file.ok()) {
        ConfigRead read;
        read.unread = file;
        return read;
    }
    return parse_config(file.bytes);
}

WriteProblem write_settings_file(const QString& folder, const Settings& settings) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(kConfigName));
    // The per-user folder may be missing still; the reason it cannot be made
    // is the one to give, not that the file's folder is not there.
    if (const int error = make_folders(folder); error != 0)
        return system_write_problem(path, error);
    return write_file_atomically(path, serialize_config(settings));
}

Aside keep_damaged_config(const QString& folder) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(kConfigName));
    // A copy would read a file that is no settings file at all: it is moved.
    const SmallFile file = read_small_file(path, kConfigLimit);
    if (S_ISDIR(file.kind)) return {QString::fromLatin1(kConfigName), EISDIR};
    return keep_aside(path, dated_stem(u"def_list_damaged-"_s, QDateTime::currentDateTime()),
                      u".txt"_s, file.ok() ? AsideHow::Copy : AsideHow::Move);
}

int unwritable_phrase_characters(const Settings& settings) {
    int count = 0;
    for (const QString& phrase : settings.phrases) count += encode_cp932(phrase).replaced;
    return count;
}

QString config_folder(const QString& program_folder) {
    const QDir program(program_folder);
    const bool installed =
        QFileInfo::exists(program.filePath(QString::fromLatin1(kInstalledMarker)));
    const QFileInfo folder(program_folder);
    if (!installed && folder.isDir() && folder.isWritable()) return folder.absoluteFilePath();

    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    // A folder that cannot be made is left to the write at exit, which
    // tries again and names the reason.
    if (make_folders(user) != 0 || !installed) return user;
    // Settings made before the program kept them per user are not lost. Only
    // a small regular file is copied: the program folder is read at start-up.
    const QString name = QString::fromLatin1(kConfigName);
    const QString own = QDir(user).filePath(name);
    struct stat st {};
    if (::lstat(QFile::encodeName(own).constData(), &st) == 0 || errno != ENOENT) return user;
    const SmallFile beside = read_small_file(program.filePath(name), kConfigLimit);
    if (beside.ok()) write_file_atomically(own, beside.bytes);
    return user;
}

QString preset_caption(int n, const QString& phrase) {
    static const char16_t kLetters[] = u"ZXCV";
    const QChar letter(kLetters[n & 3]);
    // Length in characters as def_list.txt holds the phrase, one for each
    // character of code page 932: a half-width ｶ and its separate voiced mark
    // ﾞ are two, a surrogate pair is one (written as "?"), and so is each
    // combining mark.
    const qsizetype first_end =
        phrase.size() >= 2 && phrase[0].isHighSurrogate() && phrase[1].isLowSurrogate() ? 2 : 1;
    const bool longer = phrase.size() > first_end;
    if (!longer) return escape_ampersands(phrase) + u"(&"_s + letter + u')';
    return escape_ampersands(phrase.left(first_end)) + u".(&"_s + letter + u')';
}

}  // namespace fotavi
