#include "transfer/paste.h"

namespace vellor {

void PasteText(AppState&, Host&, const std::string&) {}

}  // namespace vellor
