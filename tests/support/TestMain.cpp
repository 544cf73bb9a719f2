#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "CoreProcess.h"
#include "support/TestEnvironment.h"
#include "support/WrappedAccounts.h"

// Every test process runs with a throw-away HOME and XDG folders and a fixed zone, so a
// test that forgets its own TestHome still never touches the real home.
int main(int argc, char** argv) {
    if (const auto status = quillfen::test::runChildStepIfAsked(argc, argv)) return *status;
    quillfen::CoreProcess::ignoreBrokenPipes();
    ::testing::InitGoogleMock(&argc, argv);
    quillfen::test::ScopedTimeZone zone("UTC");
    auto home = std::make_unique<quillfen::test::TestHome>();
    int result = RUN_ALL_TESTS();
    home.reset();
    return result;
}
