// The fixture every end-to-end test starts from: a fresh user, a free port, and the program
// ended and forgotten afterwards, whatever happened.
#pragma once

#include "e2e/app_harness.h"
#include "support/test_client.h"

#include <gtest/gtest.h>

class ProgramTest : public ::testing::Test {
protected:
    App app;
    uint16_t port = 0;

    void SetUp() override {
        SocketLibraryStart();
        ResetUserState();
        port = FreeTcpPort();
    }

    void TearDown() override {
        Kill(app);
        SocketLibraryStop();
    }
};
