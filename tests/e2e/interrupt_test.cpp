// The interrupt counts as only the real program shows them: the simulated
// library calls the routine on a thread of its own, and the count reaches
// its box through the message the routine posts.
#include <windows.h>

#include <gtest/gtest.h>

#include "driver.h"
#include "resource.h"

namespace {

TEST(Interrupts, CountsPostedFromTheLibrarysThreadReachTheirBoxes)
{
    e2e::TzDebug app;
    ASSERT_TRUE(app.Launch("")) << app.Error();
    app.Click(IDC_OPEN);
    const struct {
        int button, box;
        const wchar_t *count;
    } presses[] = {{IDC_LEVEL_TEST, IDC_LEVEL_COUNT, L"1"}, {IDC_LEVEL_TEST, IDC_LEVEL_COUNT, L"2"},
                   {IDC_EDGE_TEST, IDC_EDGE_COUNT, L"1"}};
    for (const auto &p : presses) {
        app.Click(p.button);
        e2e::MessageBoxInfo notice = app.WaitMessageBox();
        ASSERT_TRUE(app.PressOk(notice));
        EXPECT_TRUE(e2e::WaitFor([&] { return app.Text(p.box) == p.count; }))
            << e2e::Narrow(app.Text(p.box)) << " instead of " << e2e::Narrow(p.count);
    }
    EXPECT_EQ(app.Text(IDC_LEVEL_COUNT), L"2");
}

} // namespace
