// Linked into every user-level test program: where the driver cannot click a
// notification icon (Windows' own taskbar), every scenario skips with the reason
// instead of failing on a missing icon.
#include <gtest/gtest.h>

#include "session.h"

namespace {

class TrayEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const std::string reason = driver::trayUnavailableReason();
        if (!reason.empty())
            GTEST_SKIP() << reason;
    }
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new TrayEnvironment);

} // namespace
