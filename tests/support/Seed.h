#pragma once

namespace tavoro::test {

// The seed of a test's random choices: TAVORO_TEST_SEED when it is set, a fresh one
// otherwise. It is printed and recorded in the test's report, so a failing run can be
// repeated exactly with TAVORO_TEST_SEED=<seed>.
unsigned TestSeed();

}  // namespace tavoro::test
