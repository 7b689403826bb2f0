#include "app/form1.h"
#include "handler/addresses.h"
#include "handler/numbered_handler.h"

namespace quellomir {

void Form1::PushButton13_Click() {
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.PushButton13_Click ");
    h.run(100, [&] {
        showMessage(
            QStringLiteral("Please follow steps 1 - 4 in order.") + QStringLiteral("\r\r") +
            QStringLiteral("Please make sure you have write access to both folders before pressing the "
                           "'Sync' button otherwise synchronization will not work because files can "
                           "not be copied (written).") +
            QStringLiteral("\r\r") + QStringLiteral("Questions? Please contact Team Venmarro at ") +
            QString::fromLatin1(addresses::ContactPage));
    });
}

} // namespace quellomir
