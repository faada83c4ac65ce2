// Where there is no Windows window system the options window cannot be
// created: showOptions hands back the record it was asked about and reports
// that nothing was accepted.
#include "Pelmora.h"
#include "options_window.h"

namespace pelmora {

void* placeholderMenu = nullptr;

bool registerOptionsClass() { return false; }

void* buildPlaceholderMenu() { return nullptr; }

std::int32_t runOptionsWindow(bool newRecord, PluginOptions** options, char** /*description*/) {
    if (options == nullptr) return 0;
    if (newRecord) {
        PluginOptions* record = AllocateOptions();
        if (record == nullptr) return 0;
        FillDefaultOptions(*record);
        *options = record;
    }
    return 0;
}

}  // namespace pelmora
