#pragma once

#include "app/dialogs.h"

#include <QString>

class QWidget;

namespace quellomir {

// Lets the user pick one folder in a modal dialog. The path comes back as the dialog gives
// it: "/" for the root, no trailing separator for any other folder; the empty text when
// the user cancels or closes the dialog. An empty initial folder opens it in the user's
// home folder.
QString ChooseFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& initialFolder);

} // namespace quellomir
