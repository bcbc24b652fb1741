#include <tern/decode/tss1Msg.h>
