#pragma once

#include <QCursor>
#include <QString>

namespace quellomir {

// The hand cursor from a Windows .cur file, with the hot spot its header gives; Qt's
// pointing hand when the file cannot be read.
QCursor loadHandCursor(const QString& curFile);

} // namespace quellomir
