#include <gtest/gtest.h>
#include "nvec.h"
TEST(Placeholder, Loads) {}
