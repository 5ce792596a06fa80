// The dialog back ends of the environment set-up.
#include "platform/ui.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(UiTest, ConsoleChoosesNothingAndWritesMessagesToStandardError) {
    char name[16] = "left over";
    EXPECT_EQ(platform::SCH_OPENDLG(nullptr, "partlist", 0, 0, 1, name, sizeof name), 0);
    EXPECT_STREQ(name, "");

    testing::internal::CaptureStderr();
    platform::SCH_MSGBOX(nullptr, "partlist", 1, "No schematic file specified", 1, 1, 0);
    platform::SCH_MSGBOX(nullptr, "partlist", 1, "100% %s %n", 1, 1, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "partlist: No schematic file specified\npartlist: 100% %s %n\n");
}

struct Recorded {
    std::string caption, text;
    int context = -1;
};
Recorded seen;

int fakeopen(void *, const char *, int, int, int, char *name, int size) {
    std::snprintf(name, size, "%s", "chosen.dsn");
    return 1;
}

int fakebox(void *, const char *caption, int, const char *text, int, int, int context) {
    seen = {caption, text, context};
    return 1;
}

TEST(UiTest, InstalledBackEndReceivesTheCallsUntilReplaced) {
    static const platform::UiBackend fake{fakeopen, fakebox};
    const platform::UiBackend *old = platform::SetUiBackend(&fake);
    EXPECT_EQ(old, &platform::ConsoleUi());

    char name[256] = "";
    EXPECT_EQ(platform::SCH_OPENDLG(nullptr, "partlist", 0, 0, 1, name, sizeof name), 1);
    EXPECT_STREQ(name, "chosen.dsn");
    platform::SCH_MSGBOX(nullptr, "partlist", 1, "Failed to open log file", 1, 1, 1);
    EXPECT_EQ(seen.caption, "partlist");
    EXPECT_EQ(seen.text, "Failed to open log file");
    EXPECT_EQ(seen.context, 1);

    EXPECT_EQ(platform::SetUiBackend(nullptr), &fake);
    EXPECT_EQ(platform::SCH_OPENDLG(nullptr, "partlist", 0, 0, 1, name, sizeof name), 0);
}

} // namespace
