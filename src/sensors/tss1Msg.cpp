#include <tern/sensors/tss1Msg.h>

#include "sensors/tss1Msg_priv.h"

namespace tern {

bool decodeTss(const char* data, unsigned len, double time, std::list<msg_t*>& out) {
    return tss1DataMsgs(tss1Msg_t(data, len), time, out);
}

} // namespace tern
