#include <gtest/gtest.h>
TEST(Smoke, Runs) { SUCCEED(); }
