#pragma once

#include <QString>

namespace quellomir {

inline const QString ProductName = QStringLiteral("Quellomir");

// The title of every message box that has none of its own: the product name without its
// last word, shortened word by word while longer than 40 characters. A name without a
// blank has no last word to lose and stays whole.
QString applicationTitle(const QString& productName);

} // namespace quellomir
