#include "app/command_line.h"

#include <QCommandLineParser>

#include "app/messages.h"

namespace fotavi {

namespace {

// The toolkit's options that take a value, and those that take none. They
// are read by the toolkit itself, with one dash or two.
const QStringList kToolkitWithValue = {
    QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"), QStringLiteral("geometry"),
    QStringLiteral("qwindowtitle"),    QStringLiteral("title"),
    QStringLiteral("qwindowicon"),     QStringLiteral("icon"),
    QStringLiteral("display"),         QStringLiteral("name"),
    QStringLiteral("style"),           QStringLiteral("stylesheet"),
    QStringLiteral("session"),         QStringLiteral("qmljsdebugger"),
};
const QStringList kToolkitAlone = {
    QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
    QStringLiteral("dograb"),  QStringLiteral("sync"),
};

// The toolkit's own option an argument is, without its dashes and any
// "=value"; empty when it is none. "--title" is ours, "-title" the toolkit's.
QString toolkit_option(const QString& argument) {
    if (!argument.startsWith(u'-') || argument == QLatin1String("--")) return {};
    const bool two_dashes = argument.startsWith(QLatin1String("--"));
    QString name = argument.mid(two_dashes ? 2 : 1).section(u'=', 0, 0);
    if (two_dashes && name == QLatin1String("title")) return {};
    return kToolkitWithValue.contains(name) || kToolkitAlone.contains(name) ? name : QString();
}

// The arguments without the toolkit's options and their values.
QStringList without_toolkit_options(const QStringList& arguments) {
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString name = toolkit_option(arguments[i]);
        if (name.isEmpty()) {
            kept << arguments[i];
            continue;
        }
        if (kToolkitWithValue.contains(name) && !arguments[i].contains(u'=')) ++i;
    }
    return kept;
}

// The problem as one line of standard error, whatever the arguments held.
CommandLine one_line(CommandLine line) {
    for (QChar& c : line.problem)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    return line;
}

void read_diary_options(const QCommandLineParser& parser, CommandLine& line) {
    DiaryChoice& diary = line.diary;
    diary.html = diary.pdf = diary.csv = true;
    if (parser.isSet(QStringLiteral("format"))) {
        diary.html = diary.pdf = diary.csv = false;
        for (const QString& form : parser.value(QStringLiteral("format")).split(u',')) {
            const QString name = form.trimmed().toLower();
            if (name == QLatin1String("html"))
                diary.html = true;
            else if (name == QLatin1String("pdf"))
                diary.pdf = true;
            else if (name == QLatin1String("csv"))
                diary.csv = true;
            else
                line.problem = wrong_option_value_text(QStringLiteral("--format"), form,
                                                       QStringLiteral("html, pdf, csv"));
        }
    }
    if (parser.isSet(QStringLiteral("layout"))) {
        const QString name = parser.value(QStringLiteral("layout"));
        if (const std::optional<DiaryLayout> layout = diary_layout_named(name))
            diary.layout = *layout;
        else
            line.problem = wrong_option_value_text(QStringLiteral("--layout"), name,
                                                   diary_layout_names().join(QLatin1String(", ")));
    }
    if (!diary.html && !diary.pdf && !diary.csv && line.problem.isEmpty())
        line.problem = no_form_text();
    diary.title = parser.value(QStringLiteral("title"));
    diary.include_uncommented = parser.isSet(QStringLiteral("all"));
}

}  // namespace

CommandLine read_command_line(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QString folder = QStringLiteral("folder");
    parser.addOptions({
        {{QStringLiteral("h"), QStringLiteral("help")}, {}},
        {{QStringLiteral("v"), QStringLiteral("version")}, {}},
        {QStringLiteral("write-diary"), {}, folder},
        {QStringLiteral("export-pictures"), {}},
        {QStringLiteral("format"), {}, QStringLiteral("forms")},
        {QStringLiteral("title"), {}, QStringLiteral("text")},
        {QStringLiteral("layout"), {}, QStringLiteral("name")},
        {QStringLiteral("all"), {}},
    });
    CommandLine line;
    // The program's name first, as the parser expects.
    if (!parser.parse(QStringList{QStringLiteral("fotavi")} + without_toolkit_options(arguments))) {
        const QString unknown = parser.unknownOptionNames().value(0);
        // The parser's only other complaint: an option without its value.
        line.problem = unknown.isEmpty()
                           ? option_without_value_text(parser.errorText().section(u'\'', 1, 1))
                           : unknown_option_text(unknown);
        if (arguments.contains(QLatin1String("--write-diary")))
            line.action = CommandLine::Action::WriteDiary;
        else if (arguments.contains(QLatin1String("--export-pictures")))
            line.action = CommandLine::Action::ExportPictures;
        else
            line.path = parser.positionalArguments().value(0);
        return one_line(line);
    }
    if (parser.isSet(QStringLiteral("help"))) {
        line.action = CommandLine::Action::Help;
    } else if (parser.isSet(QStringLiteral("version"))) {
        line.action = CommandLine::Action::Version;
    } else if (parser.isSet(QStringLiteral("write-diary"))) {
        line.action = CommandLine::Action::WriteDiary;
        line.path = parser.value(QStringLiteral("write-diary"));
        read_diary_options(parser, line);
        if (!parser.positionalArguments().isEmpty())
            line.problem = extra_argument_text(parser.positionalArguments().first());
    } else if (parser.isSet(QStringLiteral("export-pictures"))) {
        // The folder of the pictures, then the folder the copies go into.
        line.action = CommandLine::Action::ExportPictures;
        const QStringList folders = parser.positionalArguments();
        line.path = folders.value(0);
        line.destination = folders.value(1);
        line.diary.include_uncommented = parser.isSet(QStringLiteral("all"));
        if (folders.size() != 2) line.problem = export_usage_text();
        for (const char* diary_only : {"format", "title", "layout"})
            if (parser.isSet(QLatin1String(diary_only)))
                line.problem = diary_option_alone_text(QLatin1String(diary_only));
    } else {
        // Only the first argument names what to open; any further ones are ignored.
        line.path = parser.positionalArguments().value(0);
        for (const char* diary_only : {"format", "title", "layout", "all"})
            if (parser.isSet(QLatin1String(diary_only)))
                line.problem = diary_option_alone_text(QLatin1String(diary_only));
    }
    return one_line(line);
}

QString version_line() { return QStringLiteral("fotavi %1").arg(QLatin1String(FOTAVI_VERSION)); }

}  // namespace fotavi
