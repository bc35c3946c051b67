#include "support/Seed.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

namespace tavoro::test {

unsigned TestSeed() {
    unsigned seed;
    if (const char* given = std::getenv("TAVORO_TEST_SEED"); given && *given) {
        seed = static_cast<unsigned>(std::stoul(given));
    } else {
        seed = std::random_device{}();
    }
    std::cout << "[   SEED   ] " << seed << " (repeat with TAVORO_TEST_SEED=" << seed << ")\n";
    ::testing::Test::RecordProperty("seed", std::to_string(seed));
    return seed;
}

}  // namespace tavoro::test
