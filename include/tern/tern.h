// Umbrella header: every public header of the library and its two platform libraries.
#pragma once

#include <tern/conn/buf.h>
#include <tern/msg/msg.h>
#include <tern/thread/refd.h>
