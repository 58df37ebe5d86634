// The fixture every scenario builds on: a fresh profile, one session of
// orvane.exe, and the program ended through Exit, with code 0, when the
// scenario is over. Scenarios extend it with what they show on the screen.
#pragma once

#include <gtest/gtest.h>

#include "pictures.h"
#include "session.h"

class OrvaneScenario : public ::testing::Test {
protected:
    void SetUp() override { driver::resetProfile(); }

    void TearDown() override {
        if (orvane.running()) {
            EXPECT_EQ(orvane.stop(), 0u) << orvane.failure();
        }
    }

    void start(const std::string& exe = driver::orvanePath()) { ASSERT_TRUE(orvane.start(exe)) << orvane.failure(); }
    // Settings are read at start-up: Exit, and start again.
    void restart() {
        ASSERT_EQ(orvane.stop(), 0u) << orvane.failure();
        start();
    }
    // The new screenshot window over `rect`, or null with the step that did not happen.
    HWND pin(const RECT& rect) {
        const HWND made = orvane.pin(rect);
        if (!made)
            ADD_FAILURE() << orvane.failure();
        return made;
    }
    void chooseShotItem(HWND shot, int item) {
        ASSERT_TRUE(orvane.chooseScreenshotItem(shot, item)) << orvane.failure();
    }

    driver::Session orvane;
};
