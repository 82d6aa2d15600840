#pragma once

#include <QString>

namespace fotavi {

// The reason for a system error number, in Japanese whatever the locale
// (messages are Japanese, and strerror follows LANG). Numbers without a text
// of their own give "システムエラー (errno N)".
QString system_reason(int error);

}  // namespace fotavi
