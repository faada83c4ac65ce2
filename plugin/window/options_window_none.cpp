// Where there is no Windows window system the options window cannot be
// created: showOptions hands back the record it was asked about (a new default
// one when asked for one) and reports that nothing was accepted.
#include <cstring>

#include "PelmoraConstants.h"
#include "PluginRecords.h"
#include "options_window.h"

namespace pelmora {

void prepareOptionsWindow() {}

std::int32_t runOptionsWindow(void* /*hostWindow*/, TOptionsAllocator allocate, bool newRecord,
                              PluginOptions** options, char** /*description*/) {
    if (options == nullptr) return 0;
    if (newRecord) {
        PluginOptions* record = allocate();
        if (record == nullptr) return 0;
        std::memset(record, 0, sizeof *record);
        std::memcpy(record->pattern, kDefaultPattern.data(), kDefaultPattern.size());
        record->tagSource = static_cast<std::int32_t>(TTagSource::ID3v2);
        *options = record;
    }
    return 0;
}

}  // namespace pelmora
