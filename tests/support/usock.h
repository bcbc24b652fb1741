// A plain Unix stream socket to a name as the library's transports address it.
#pragma once

#include <string>

namespace tern_test {

// Connects to NAME ("@name" in the abstract namespace); -1 when nobody listens.
int raw_connect(const std::string& name);

} // namespace tern_test
