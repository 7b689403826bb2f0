#include "app/application_title.h"

namespace quellomir {

QString applicationTitle(const QString& productName) {
    QString title = productName;
    do {
        const qsizetype lastBlank = title.lastIndexOf(QLatin1Char(' '));
        if (lastBlank < 0) break;
        title.truncate(lastBlank);
    } while (title.size() > 40);
    return title;
}

} // namespace quellomir
