// What the tests add to the driver: a failed test keeps its run's folder and prints its trace, and
// the one check made of every message box.
#pragma once
#include <gtest/gtest.h>
#include "driver.h"

namespace e2e {
inline const bool kFailedTestsKeepTheirFolder = (
    KeepFolder = [] { return ::testing::Test::HasFailure(); }, true);

// The next message box shows `text`, with the error icon or none, owned by `owner`; then closed
// with OK.
inline void ExpectMessageBox(const TzDebug &app, const std::string &text, bool icon, HWND owner)
{
    MessageBoxInfo box = app.WaitMessageBox();
    ASSERT_NE(box.hwnd, nullptr) << "no message box; expected " << text;
    EXPECT_EQ(Narrow(box.text), text);
    EXPECT_EQ(box.icon, icon) << text;
    EXPECT_EQ(box.owner, owner) << text;
    EXPECT_TRUE(app.PressOk(box)) << text;
}
}  // namespace e2e
