#include "scan/folder_picker.h"

namespace quellomir {

QString ChooseFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& initialFolder) {
    return dialogs.chooseFolder(owner, title, initialFolder);
}

} // namespace quellomir
