#include <keelconfig/KeelConfig.h>
