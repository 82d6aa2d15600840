// The program's arguments (read_command_line), NUL-separated in the input:
// any arguments give one action; a problem is one line; the diary's options
// are read only with --write-diary, and a diary without a problem has at
// least one form.
#include <QStringList>

#include "app/command_line.h"
#include "fuzz.h"

using namespace fotavi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QStringList arguments;
    for (const QByteArray& part : fuzz_bytes(data, size).split('\0'))
        arguments << QString::fromLocal8Bit(part);
    const CommandLine line = read_command_line(arguments);
    FUZZ_CHECK(!line.problem.contains(u'\n') && !line.problem.contains(u'\r'));
    if (line.action == CommandLine::Action::WriteDiary && line.problem.isEmpty())
        FUZZ_CHECK(line.diary.html || line.diary.pdf || line.diary.csv);
    if (line.action == CommandLine::Action::Open)
        FUZZ_CHECK(line.diary.title.isEmpty() && !line.diary.include_uncommented);
    if (line.action == CommandLine::Action::Help || line.action == CommandLine::Action::Version)
        FUZZ_CHECK(line.problem.isEmpty());
    return 0;
}
