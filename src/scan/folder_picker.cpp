#include "scan/folder_picker.h"

#include <QDir>

namespace quellomir {

QString ChooseFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& initialFolder) {
    // With nothing to preselect, the dialog opens where desktops start their pickers, the
    // user's home folder, rather than in whatever folder the program was started from.
    return dialogs.chooseFolder(owner, title, initialFolder.isEmpty() ? QDir::homePath() : initialFolder);
}

} // namespace quellomir
