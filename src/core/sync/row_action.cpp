#include "sync/row_action.h"

namespace quellomir {

RowAction rowAction(std::string_view actionText) {
    if (actionText.find("copied") != std::string_view::npos) return RowAction::Copy;
    if (actionText.find("overwrite") != std::string_view::npos) return RowAction::Overwrite;
    return RowAction::Neither;
}

} // namespace quellomir
