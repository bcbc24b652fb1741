// Precompiled for every test program: GoogleTest, GLib and the standard library are most of what
// a test file compiles, and they never differ between files. (The library's own headers are
// cheaper to read where they are used than to load whole with every file.)
#pragma once

#include <gtest/gtest.h>

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>
