#pragma once

#include <QString>

#include "platform/failure.h"
#include "platform/files.h"
#include "settings/settings.h"

namespace fotavi {

// The reasons in the person's sentences, made from the plain values the rooms
// below give back: an errno, a Failure, a file read whole or not.

// The reason for a system error number, in Japanese whatever the locale
// (messages are Japanese, and strerror follows LANG). Numbers without a text
// of their own give "システムエラー (errno N)".
QString system_reason(int error);

// Why file was not read: the kind of file found, its size against limit, or
// the system's reason.
QString small_file_reason(const SmallFile& file, qint64 limit);

// Why something failed (a picture that cannot be shown, above all); empty
// when nothing did.
QString failure_text(const Failure& failure);

// What reading def_list.txt from folder found wrong; empty when nothing.
QString config_problem_text(const QString& folder, const ConfigRead& read);
// What became of a def_list.txt that was not read as written: kept aside, or
// why it could not be and so is never written over.
QString config_kept_text(const Aside& kept);

}  // namespace fotavi
